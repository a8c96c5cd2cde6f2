// The camera of an interpreter: a 2-D offset that glides from where it is to a target over a
// number of milliseconds along one of seven curves. The object manager moves every object below
// the overlay layer by it. Its whole state is one fixed record, saved with the game.
//
// Record (161 bytes, little-endian): x, y, start x, start y, target x, target y, elapsed ms,
// duration ms (signed 32-bit each), the curve type (byte), 128 reserved bytes.
#pragma once

#include <cstdint>

#include "foundation/uMisc_Math.h"
#include "platform/ClassLib.h"
#include "script/KelScriptSeams.h"

// The curves of camera moves; p runs 0..1024 over the move.
enum TCameraCurve : uint8_t {
    ccJump = 0,        // the start until the move's end, then the target
    ccLinear = 1,      // 1, 2, 5 and every type above 6 move in a straight line
    ccDecelerate = 3,  // weight 1024 - (1024 - p)^2.4 / 16384: fast, then slow
    ccAccelerate = 4,  // weight p^2.4 / 16384: slow, then fast
    ccShake = 6,       // decelerating, plus a shake from the random table that dies out
};

class TCamera final : public IScriptCamera {
public:
    static constexpr int32_t kRecordSize = 161;

    // Shakes draw from the random state (the game's), which outlives the camera.
    explicit TCamera(uMisc_Math::TRandomState& random) : Random(&random) {}

    // The record zeroed; Reset also starts a move to (0, 0) in 0 ms.
    void Reset() override;
    // A move from where the camera is now; a duration of 0 lands on the next Advance.
    void MoveTo(int32_t x, int32_t y, int32_t ms);
    void Advance(int32_t elapsed) override;
    void SetCurve(uint8_t type) { Curve = type; }
    int32_t GetOffsetX() const { return static_cast<int32_t>(0u - static_cast<uint32_t>(X)); }
    int32_t GetOffsetY() const { return static_cast<int32_t>(0u - static_cast<uint32_t>(Y)); }
    int32_t OffsetX() override { return GetOffsetX(); }
    int32_t OffsetY() override { return GetOffsetY(); }

    void SaveToStream(TStream& stream) const;
    // False, nothing changed, when fewer than 161 bytes remain.
    bool LoadFromStream(TStream& stream);

    // Where a curve of the type stands at progress p (0..1024). Type 6 draws from random's table.
    static int32_t CurveValue(int32_t start, int32_t target, uint8_t type, int32_t p, uMisc_Math::TRandomState& random);

    int32_t X = 0, Y = 0;
    int32_t StartX = 0, StartY = 0;
    int32_t TargetX = 0, TargetY = 0;
    int32_t Elapsed = 0;
    int32_t Duration = 0;
    uint8_t Curve = 0;
    uint8_t Reserved[128] = {};

private:
    uMisc_Math::TRandomState* Random;  // not owned; never none
};
