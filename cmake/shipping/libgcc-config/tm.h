// See tconfig.h. The one target macro the unwinder reads that -fbuilding-libgcc does not give:
// on i386 a DWARF register number is its column in the unwind tables (GCC's defaults.h).
#define DWARF_REG_TO_UNWIND_COLUMN(REGNO) (REGNO)
