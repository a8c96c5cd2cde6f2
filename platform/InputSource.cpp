#include "platform/InputSource.h"

void TInputState::InjectKey(uint8_t vk, bool down) {
    if (vk != 0) Queue.push_back({false, vk, down, 0});
}

void TInputState::InjectWheel(int32_t delta) {
    Queue.push_back({true, 0, false, delta});
}

void TInputState::ApplyInjected() {
    std::array<bool, 256> changed{};
    while (!Queue.empty()) {
        const TEvent e = Queue.front();
        if (!e.IsWheel && changed[e.Vk]) break;  // a second change of one key belongs to the next frame
        Queue.pop_front();
        if (e.IsWheel) {
            Wheel(e.Delta);
        } else {
            Keys[e.Vk] = e.Down;
            changed[e.Vk] = true;
        }
    }
}

IInputSource::TWheelHandler TInputState::SetWheelHandler(IInputSource::TWheelHandler handler) {
    IInputSource::TWheelHandler previous = std::move(Handler);
    Handler = std::move(handler);
    return previous;
}
