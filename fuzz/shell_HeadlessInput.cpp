// The headless runner's input script over arbitrary text. A script that parses must give events
// within their ranges, and written out again in the script's own form it must parse to the same
// events; a script that does not parse must say which line is wrong.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "shell/HeadlessRunner.h"

namespace {

// The events in the script form: taps and clicks come back as their downs, ups and moves.
std::string Written(const std::vector<THeadlessEvent>& events) {
    std::string out;
    for (const auto& e : events) {
        out.append(std::to_string(e.Frame)).append(1, ' ').append(e.Action).append(1, ' ');
        if (e.Action == "save" || e.Action == "load") {
            out.append(Encoding::SjisToUtf8(e.Name)).append(1, '\n');
            continue;
        }
        out.append(std::to_string(e.A));
        if (e.Action == "move") out.append(1, ' ').append(std::to_string(e.B));
        out.append(1, '\n');
    }
    return out;
}

bool Same(const THeadlessEvent& a, const THeadlessEvent& b) {
    return a.Frame == b.Frame && a.Action == b.Action && a.A == b.A && (a.Action != "move" || a.B == b.B) &&
           a.Name == b.Name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<THeadlessEvent> events;
    std::string error;
    if (!HeadlessRunner::ParseInputScript(text, events, error)) {
        if (error.rfind("line ", 0) != 0) std::abort();
        return 0;
    }
    for (const auto& e : events) {
        if (e.Frame < 0 || e.Frame == INT64_MAX) std::abort();
        if ((e.Action == "down" || e.Action == "up") && (e.A < 0 || e.A > 255)) std::abort();
        if (e.Action == "active" && e.A != 0 && e.A != 1) std::abort();
    }
    std::vector<THeadlessEvent> again;
    if (!HeadlessRunner::ParseInputScript(Written(events), again, error) || again.size() != events.size()) std::abort();
    for (size_t i = 0; i < events.size(); ++i)
        if (!Same(events[i], again[i])) std::abort();
    return 0;
}
