// Stand-ins for the headers that GCC's own build generates for libgcc (tconfig.h, tm.h,
// coretypes.h, libgcc_tm.h, gthr-default.h, md-unwind-support.h), for building its unwinder and
// emutls alone (cmake/shipping/runtime.cmake). GCC itself passes what the unwinder needs of the
// target (frame registers, stack pointer, ...) as __LIBGCC_* macros under -fbuilding-libgcc.
