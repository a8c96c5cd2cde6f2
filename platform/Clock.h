// Milliseconds on one monotonic clock. The engine never reads any other time source, so tests
// can run a game frame by frame on a fake clock.
#pragma once

#include <cstdint>

class IClock {
public:
    virtual ~IClock() = default;
    virtual uint32_t NowMs() = 0;  // wraps after 49.7 days, as the frame limiter expects
    virtual void SleepMs(uint32_t ms) = 0;
};

// The host's monotonic clock.
class TSystemClock final : public IClock {
public:
    uint32_t NowMs() override;
    void SleepMs(uint32_t ms) override;
};

class TFakeClock final : public IClock {
public:
    uint32_t NowMs() override { return Now; }
    void SleepMs(uint32_t ms) override { Now += ms; }  // sleeping is how time passes
    uint32_t Now = 0;
};
