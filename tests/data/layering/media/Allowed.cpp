// Its own folder and the foundation below are fine.
#include "foundation/PackLib.h"
#include "media/ARGB8888Lib.h"
