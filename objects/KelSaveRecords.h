// The records of a saved game that belong to the services above the script engine: the back-log,
// the sound library, the compositor with its captures, the camera and the movie object, each in its
// owner's own format; and the header's newest back-log text and thumbnail. The interpreter writes
// the body and asks this service for these places (IScriptSaveRecords).
//
// The thumbnail is the compositor's finished screen after a draw of the whole scene, shrunk by area
// averaging to the size asked for; the save file keeps it as a BMP file of 15-bit pixels. The save
// and load screens read it back from there.
#pragma once

#include <cstdint>
#include <memory>

#include "script/KelScriptSeams.h"

class TARGB8888;
class TKelScript;

namespace KelSaveRecords {

// The scene drawn (cursors on, every layer), then the screen shrunk into a new image of
// width x height; nullptr without a compositor or for a size no picture may have.
std::unique_ptr<TARGB8888> CaptureThumbnail(TKelScript& script, int32_t width, int32_t height);

// Makes every interpreter set up with the registry save and load these records.
void Register(TObjectKindRegistry& registry);

}  // namespace KelSaveRecords
