// The game context: the services one running game shares, owned by the main window and handed
// to the engine core and from it to both interpreters. Units below the engine core that have no
// link to an interpreter get the service they use from their owner, never from a global.
//
// Each service of this folder is a member here, made with the context and gone with it: the error
// log, the pack set, the configuration and the random state now. Those of the higher folders have
// holders of their own there, since nothing here may include a higher folder: the picture and
// sound caches are in media/MediaContext.
#pragma once

#include <memory>

#include "foundation/ErrorLogLib.h"
#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "foundation/uMisc_Math.h"

class TDllSystemInfo;  // foundation/uDllSystemInfo.h

class TGameContext {
public:
    TGameContext();
    ~TGameContext();
    TGameContext(const TGameContext&) = delete;
    TGameContext& operator=(const TGameContext&) = delete;

    TErrorLog Log;
    // Every data file of the game is read through it; the main window links the game folder.
    TPackSet Packs;
    TSystemConfig Config;
    // The random numbers every part of the game draws from, in one order: seeded by the main
    // window, its table replaced by the game's own file if the game has one.
    uMisc_Math::TRandomState Random;
    // The system-information library, bound at start-up; null before, and in a context that
    // never binds it: every question then has no answer.
    std::unique_ptr<TDllSystemInfo> SystemInfo;
};
