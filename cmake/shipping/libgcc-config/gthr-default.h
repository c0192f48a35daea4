// See tconfig.h: the thread model of the shipping compiler (win32).
#include "gthr-win32.h"
