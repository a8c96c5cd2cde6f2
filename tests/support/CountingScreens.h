// Stand-ins for the engine core's system screens and quick saves that only count what the engine
// core asked of them: a screen that opens and is left at once, quick saves without files.
#pragma once

#include <cstdint>
#include <string>

#include "shell/KelSystemSeams.h"

class TCountingScreen final : public IKelScreen {
public:
    void Reset() override {}
    void Open(int32_t) override { ++Opened; }
    int32_t Update(int32_t) override { return 1; }
    void Draw() override {}
    void Close() override {}
    int Opened = 0;
};

class TCountingQuickSaves final : public IKelQuickSaves {
public:
    std::string NextQuickSaveFile() override {
        ++Saves;
        return "";
    }
    std::string ChooseQuickLoadFile() override {
        ++Loads;
        return "";
    }
    int Saves = 0, Loads = 0;
};
