// The screenshot lock: a thread that looks at the clipboard at an interval and, while it is
// enabled, replaces a picture found there with a text, so that a screenshot of the game cannot be
// pasted elsewhere.
//
// It works only where the clipboard can be watched for pictures and have them taken away
// (ClipboardProbe). On Linux it cannot: the program's clipboard is SDL's, which holds text only,
// so the probe answers false there, no thread is started and the lock does nothing.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class IClipboard;

namespace uPrintScreenLock {

// Whether this platform's clipboard lets the lock do its work.
bool ClipboardProbe();

}  // namespace uPrintScreenLock

class TPrintScreenLock {
public:
    // Starts the thread when there is a clipboard and watching works (by default what the probe
    // says); otherwise nothing runs.
    TPrintScreenLock(int32_t interval, IClipboard* clipboard, bool watch = uPrintScreenLock::ClipboardProbe());
    // Asks the thread to end and waits for it.
    ~TPrintScreenLock();
    TPrintScreenLock(const TPrintScreenLock&) = delete;
    TPrintScreenLock& operator=(const TPrintScreenLock&) = delete;

    void SetText(const std::string& text);  // Shift-JIS
    void SetEnabled(bool enabled) { Enabled = enabled; }
    bool Running() const { return Thread.joinable(); }

    const int32_t Interval;  // ms

private:
    // The thread's body: sleep the interval, then replace a picture with the text while enabled.
    void Execute();

    IClipboard* Clipboard;
    std::mutex Lock;  // guards Text and Terminated
    std::condition_variable Wake;
    std::string Text = "Lock ScreenShot !!";
    std::atomic<bool> Enabled{true};
    bool Terminated = false;
    std::thread Thread;
};
