// The game context: the services one running game shares, owned by the main window and handed
// to the engine core and from it to both interpreters. Units below the engine core that have no
// link to an interpreter get the service they use from their owner, never from a global.
//
// Each service of this folder is a member here, made with the context and gone with it: the error
// log now, the configuration and the pack set later. Those of the higher folders (the picture and
// sound caches, the fonts) need an arrangement of their own in their folders, since nothing here
// may include a higher folder.
#pragma once

#include <memory>

#include "foundation/ErrorLogLib.h"

class TDllSystemInfo;  // foundation/uDllSystemInfo.h

class TGameContext {
public:
    TGameContext();
    ~TGameContext();
    TGameContext(const TGameContext&) = delete;
    TGameContext& operator=(const TGameContext&) = delete;

    TErrorLog Log;
    // The system-information library, bound at start-up; null before, and in a context that
    // never binds it: every question then has no answer.
    std::unique_ptr<TDllSystemInfo> SystemInfo;
};
