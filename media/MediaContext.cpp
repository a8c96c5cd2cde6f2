#include "media/MediaContext.h"

TMediaContext::TMediaContext() = default;
TMediaContext::~TMediaContext() = default;
