// Whether the real-window tests can run here: a window on an X server must open.
#pragma once

#include <string>

#include "platform/sdl/SdlMainWindow.h"
#include "tests/real/XServer.h"

namespace RealWindow {

// True when no window on an X server can be opened; why not, when it cannot.
inline bool NoDisplay(std::string& why) {
    TSdlMainWindow probe("probe", 16, 16);
    why = probe.Error();
    return probe.Failed() || !XServer::Available(probe.Handle());
}

}  // namespace RealWindow
