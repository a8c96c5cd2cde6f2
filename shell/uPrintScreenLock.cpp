#include "shell/uPrintScreenLock.h"

#include <chrono>

#include "platform/Clipboard.h"

namespace uPrintScreenLock {

bool ClipboardProbe() {
    return false;
}

}  // namespace uPrintScreenLock

TPrintScreenLock::TPrintScreenLock(int32_t interval, IClipboard* clipboard, bool watch)
    : Interval(interval), Clipboard(clipboard) {
    if (Clipboard && watch) Thread = std::thread([this] { Execute(); });
}

TPrintScreenLock::~TPrintScreenLock() {
    {
        std::lock_guard<std::mutex> hold(Lock);
        Terminated = true;
    }
    Wake.notify_all();
    if (Thread.joinable()) Thread.join();
}

void TPrintScreenLock::SetText(const std::string& text) {
    std::lock_guard<std::mutex> hold(Lock);
    Text = text;
}

void TPrintScreenLock::Execute() {
    std::unique_lock<std::mutex> hold(Lock);
    for (;;) {
        // The wait ends early only when the thread is asked to end.
        if (Wake.wait_for(hold, std::chrono::milliseconds(Interval > 0 ? Interval : 0), [this] { return Terminated; }))
            return;
        if (!Enabled) continue;
        const std::string text = Text;
        hold.unlock();
        if (Clipboard->HasPicture()) Clipboard->SetText(text);
        hold.lock();
    }
}
