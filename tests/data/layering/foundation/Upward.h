// Reaches up a layer: the layering check must refuse it.
#include "shell/KelSystemLib.h"
