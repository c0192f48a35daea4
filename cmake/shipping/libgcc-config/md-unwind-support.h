// See tconfig.h: what GCC's configuration picks for i686 MinGW with DWARF-2 unwinding.
#include "w32-unwind.h"
