// The game context: the services one running game shares, owned by the main window and handed
// to the engine core and from it to both interpreters. Units below the engine core that have no
// link to an interpreter get the service they use from their owner, never from a global.
//
// Each service is a member here, made with the context and gone with it. The services of the
// lower folders (the error log, and later the configuration, the pack set and the caches) live
// in this object; those that only the higher folders know (screens, fonts of the objects folder)
// will need their own holder above it rather than an include of a higher folder here.
#pragma once

#include "foundation/ErrorLogLib.h"

class TGameContext {
public:
    TGameContext();
    ~TGameContext();
    TGameContext(const TGameContext&) = delete;
    TGameContext& operator=(const TGameContext&) = delete;

    TErrorLog Log;
};
