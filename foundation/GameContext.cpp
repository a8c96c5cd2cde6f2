#include "foundation/GameContext.h"

#include "foundation/uDllSystemInfo.h"

TGameContext::TGameContext() = default;
TGameContext::~TGameContext() = default;
