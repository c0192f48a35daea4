// See tconfig.h: the results of libgcc's configure script that the unwinder reads (HAVE_GETIPINFO) are passed on the command line.
