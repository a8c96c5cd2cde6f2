// What the tests of save games share: a game folder of their own, and the host's side of saving as
// the interpreter sees it, recording what it is asked to do.
#pragma once

#include <string>
#include <vector>

#include "platform/FileRoot.h"
#include "script/KelScriptLib.h"
#include "tests/support/TestData.h"

// A game's folder of a new scratch folder holding "SaveData".
struct TSaveFolder {
    TSaveFolder() { Files.ForceDirectories("SaveData"); }
    TSaveFolder(const TSaveFolder&) = delete;
    TSaveFolder& operator=(const TSaveFolder&) = delete;
    // The host path of a file of the save folder.
    std::string Host(const std::string& name) const { return Root + "/SaveData/" + name; }

    std::string Root = TestData::ScratchDir();
    TFileRoot Files{Root};
};

// The engine core's side: a failed load resets the interpreter, as the whole game's reset would.
class TRecordingSaveData final : public IScriptSaveData {
public:
    explicit TRecordingSaveData(const TFileRoot& files) : Files(files) {}
    bool CheckSaveDirectory() override { return TKelScript::CheckSaveDirectory(Files, "SaveData\\"); }
    void ResetAfterFailedLoad(TKelScript& script) override {
        ++Resets;
        script.Reset();
    }
    int Resets = 0;
    const TFileRoot& Files;
};

// The one-button dialogs the interpreter shows, by message key.
class TRecordingDialogs final : public IScriptDialogs {
public:
    void ShowMessage(const std::string& messageKey, const std::string&) override { Shown.push_back(messageKey); }
    std::vector<std::string> Shown;
};
