#include "objects/KelSaveRecords.h"

#include "media/ARGB8888Lib.h"
#include "media/ImageCodecLib.h"
#include "media/KelDirectShow.h"
#include "media/uSoundLib.h"
#include "objects/KelCameraLib.h"
#include "objects/KelGraphicLib.h"
#include "objects/KelLogdataLib.h"
#include "script/KelScriptLib.h"

namespace {

class TSaveRecords final : public IScriptSaveRecords {
public:
    bool Save(TKelScript& script, TSaveRecord record, TStream& s) override {
        switch (record) {
            case TSaveRecord::BackLog:
                if (TKelLogData* log = script.Links.BackLog) log->SaveToStream(s);
                return true;
            case TSaveRecord::Sound:
                if (TSound* sound = script.Links.SoundLibrary) sound->SaveToStream(s);
                return true;
            case TSaveRecord::Compositor:
                if (TKelGraphic* graphic = KelGraphicLib::GraphicOf(script)) return graphic->SaveToStream(s);
                return true;
            case TSaveRecord::Camera:
                if (TCamera* camera = KelGraphicLib::CameraOf(script)) camera->SaveToStream(s);
                return true;
            case TSaveRecord::Movie:
                if (TKelDirectShowPlayer* movie = script.Links.Movie) movie->SaveToStream(s);
                return true;
        }
        return false;
    }

    bool Load(TKelScript& script, TSaveRecord record, TStream& s) override {
        switch (record) {
            case TSaveRecord::BackLog: {
                TKelLogData* log = script.Links.BackLog;
                return !log || log->LoadFromStream(s);
            }
            case TSaveRecord::Sound: {
                TSound* sound = script.Links.SoundLibrary;
                return !sound || sound->LoadFromStream(&s);
            }
            case TSaveRecord::Compositor: {
                TKelGraphic* graphic = KelGraphicLib::GraphicOf(script);
                return !graphic || graphic->LoadFromStream(s);
            }
            case TSaveRecord::Camera: {
                TCamera* camera = KelGraphicLib::CameraOf(script);
                return !camera || camera->LoadFromStream(s);
            }
            case TSaveRecord::Movie: {
                TKelDirectShowPlayer* movie = script.Links.Movie;
                return !movie || movie->LoadFromStream(s);
            }
        }
        return false;
    }

    std::string NewestLogText(TKelScript& script) override {
        const TKelLogData* log = script.Links.BackLog;
        return log ? log->GetPlainText(0) : std::string();
    }

    std::string Thumbnail(TKelScript& script, int32_t width, int32_t height) override {
        std::unique_ptr<TARGB8888> image = KelSaveRecords::CaptureThumbnail(script, width, height);
        return image && image->Active ? ImageCodecLib::EncodeBmp15(*image->Active) : std::string();
    }
};

}  // namespace

namespace KelSaveRecords {

std::unique_ptr<TARGB8888> CaptureThumbnail(TKelScript& script, int32_t width, int32_t height) {
    TKelGraphic* graphic = KelGraphicLib::GraphicOf(script);
    if (!graphic || width < 1 || height < 1 || !ImageCodecLib::SizeAllowed(width, height)) return nullptr;
    auto image = std::make_unique<TARGB8888>();
    image->SetSize(width, height);
    script.Draw(0, true, 0xFFFF);
    if (const TARGB8888* screen = graphic->GetScreenSurface(); screen && screen->Width() > 0)
        screen->ShrinkDraw(image.get(), 0, 0, width, height, 0, 0, screen->Width(), screen->Height());
    return image;
}

void Register(TObjectKindRegistry& registry) {
    registry.RegisterSaveRecords(std::make_unique<TSaveRecords>());
}

}  // namespace KelSaveRecords
