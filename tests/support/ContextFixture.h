// A fresh game context for one test, in place of clearing and restoring process-wide state: the
// services the main window owns in the program, with the error log written into a scratch folder
// of the context's own. A test (or its fixture) holds one and links what it tests to it.
#pragma once

#include <string>
#include <vector>

#include "foundation/GameContext.h"

class TContextFixture {
public:
    TContextFixture();

    // The error log's lines in UTF-8.
    std::vector<std::string> ErrorLines() const;

    TGameContext Context;
    TErrorLog& Log = Context.Log;
    TSystemData& Settings = Context.Config.Config;  // the live configuration
    TPackSet& Packs = Context.Packs;
};
