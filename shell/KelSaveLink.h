// The engine core's side of save games. TKelSaveLink is the save folder of the interpreters: it
// makes "SaveData\" at their set-up (which is what makes the game interpreter read the system data
// then and write it when it goes) and ends the game as a reset request does when a load fails
// after the game had begun to be restored. TKelGameState answers the engine core's questions about
// save files and permissions with the interpreter's own routines (TKelScript::SaveGame, LoadGame,
// the permission tests); the system screens and quick saves use it.
//
// The engine core makes both at set-up unless it was given its own before:
//     engine.SaveFolder = std::make_unique<TKelSaveLink>(engine);
//     engine.GameState = std::make_unique<TKelGameState>();
#pragma once

#include <string>

#include "script/KelScriptSeams.h"
#include "shell/KelSystemSeams.h"

class TKelSystem;

class TKelSaveLink final : public IScriptSaveData {
public:
    explicit TKelSaveLink(TKelSystem& engine) : Engine(engine) {}
    bool CheckSaveDirectory() override;
    // The whole game back to "@@reset" of "startup.s", as after a reset request.
    void ResetAfterFailedLoad(TKelScript& script) override;

private:
    TKelSystem& Engine;
};

class TKelGameState final : public IKelGameState {
public:
    // flag: the body is compressed; the engine core always asks for it.
    bool SaveGame(TKelScript& script, const std::string& name, bool flag) override;
    bool LoadGame(TKelScript& script, const std::string& name) override;
    bool SaveFileExists(TKelScript& script, const std::string& name) override;
    bool DeleteSaveFile(TKelScript& script, const std::string& name) override;
    bool CanSceneReturn(TKelScript& script) override;
    void SceneReturn(TKelScript& script) override;
    bool IsViewAllowed(TKelScript& script) override;
    bool IsSkipAllowed(TKelScript& script) override;
    bool IsAutoAllowed(TKelScript& script) override;
    bool IsSceneLabelSkipAllowed(TKelScript& script) override;
};
