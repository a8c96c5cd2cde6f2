#include "shell/KelSaveLink.h"

#include "script/KelSaveData.h"
#include "script/KelScriptLib.h"
#include "shell/KelSystemLib.h"

bool TKelSaveLink::CheckSaveDirectory() {
    return Engine.Files && TKelScript::CheckSaveDirectory(*Engine.Files, KelSaveData::kSaveFolder);
}

void TKelSaveLink::ResetAfterFailedLoad(TKelScript&) {
    Engine.Reset("", "");
}

bool TKelGameState::SaveGame(TKelScript& script, const std::string& name, bool flag) {
    return script.SaveGame(name, flag);
}

bool TKelGameState::LoadGame(TKelScript& script, const std::string& name) {
    return script.LoadGame(name);
}

bool TKelGameState::SaveFileExists(TKelScript& script, const std::string& name) {
    return script.Links.Files && TKelScript::SaveFileExists(*script.Links.Files, name);
}

bool TKelGameState::DeleteSaveFile(TKelScript& script, const std::string& name) {
    return script.Links.Files && TKelScript::DeleteSaveFile(*script.Links.Files, name);
}

bool TKelGameState::CanSceneReturn(TKelScript& script) {
    return script.CanSceneReturn();
}

void TKelGameState::SceneReturn(TKelScript& script) {
    script.SceneReturn();
}

bool TKelGameState::IsViewAllowed(TKelScript& script) {
    return script.IsViewAllowed();
}

bool TKelGameState::IsSkipAllowed(TKelScript& script) {
    return script.IsSkipAllowed();
}

bool TKelGameState::IsAutoAllowed(TKelScript& script) {
    return script.IsAutoAllowed();
}

bool TKelGameState::IsSceneLabelSkipAllowed(TKelScript& script) {
    return script.IsSceneLabelSkipAllowed();
}
