// See tconfig.h: nothing of GCC's own types is needed here.
