#include "foundation/GameContext.h"

TGameContext::TGameContext() = default;
TGameContext::~TGameContext() = default;
