// A lower folder is fine: the layering check must let it through.
#include "platform/Clock.h"
