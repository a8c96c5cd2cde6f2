// Reaches sideways from media into script: refused as well.
#include "script/KelScriptLib.h"
