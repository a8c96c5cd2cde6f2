#include "media/AnimationBmpLib.h"

#include "media/uARGB8888Manager.h"
#include "media/uWaveDataManager.h"

namespace AnimationBmpLib {

void CreateManagers() {
    uARGB8888Manager::CreateARGB8888Manager(0);
    uWaveDataManager::CreateWaveDataManager(0);
}

void FreeManagers() {
    uARGB8888Manager::FreeARGB8888Manager();
    uWaveDataManager::FreeWaveDataManager();
}

}  // namespace AnimationBmpLib
