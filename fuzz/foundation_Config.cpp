// The configuration readers over arbitrary bytes: the system and user settings, the speaker and
// font lists, and the merging writer. A user file read, merged and read again must give back the
// same settings.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"

namespace {

bool SameUserSettings(const TSystemData& a, const TSystemData& b) {
    bool same = a.FullScreen == b.FullScreen && a.SurfaceMemory == b.SurfaceMemory && a.ColorMode == b.ColorMode &&
                a.UseGamePad == b.UseGamePad && a.FPSLimit == b.FPSLimit && a.StreamLength == b.StreamLength &&
                a.Interlace == b.Interlace && a.CacheSize == b.CacheSize && a.MovieDecoder == b.MovieDecoder &&
                a.CRCCheck == b.CRCCheck && a.TaskTrayMode == b.TaskTrayMode &&
                a.ForceDirectSoundMode == b.ForceDirectSoundMode && a.BGMVolume == b.BGMVolume &&
                a.VOICEVolume == b.VOICEVolume && a.SEVolume == b.SEVolume && a.BGMMute == b.BGMMute &&
                a.VOICEMute == b.VOICEMute && a.SEMute == b.SEMute && a.MessageSpeed == b.MessageSpeed &&
                a.MessageAlpha == b.MessageAlpha && a.AutoPlayWaitTime == b.AutoPlayWaitTime &&
                a.AutoPlayClickTime == b.AutoPlayClickTime && a.ActorVolume == b.ActorVolume &&
                a.ActorMute == b.ActorMute;
    for (size_t i = 0; i < a.Font.size(); ++i)
        same = same && a.Font[i].Name == b.Font[i].Name && a.Font[i].Style == b.Font[i].Style &&
               a.Font[i].AA == b.Font[i].AA && a.Font[i].StyleColor == b.Font[i].StyleColor;
    return same;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    static TSystemConfig config;
    static bool registered = [] {
        config.RegisterFontFaces([] {
            return std::vector<TFontFace>{{"Gothic", 128, 1}, {"@Gothic", 128, 1}, {"Mincho", 128, 2}};
        });
        return true;
    }();
    (void)registered;

    TSystemData d;
    {
        TMemoryStream s(bytes);
        SystemConfigLib::LoadSystemConfig(d, &s);
    }
    {
        TMemoryStream s(bytes);
        SystemConfigLib::LoadActorLists(d, &s);
    }
    {
        TMemoryStream s(bytes);
        config.LoadFontLists(d, &s);
    }
    // Glyph files come from nowhere: a pack set without a folder, packs or hooks reads nothing, so
    // face names from the input never reach the disk.
    const TPackSet noFiles;
    config.ApplyFonts(d, noFiles, nullptr);

    TSystemData first;
    TMemoryStream file(bytes);
    SystemConfigLib::LoadUserConfig(first, &file);
    SystemConfigLib::SaveUserConfig(first, &file);
    TSystemData second;
    file.SetPosition(0);
    SystemConfigLib::LoadUserConfig(second, &file);
    if (!SameUserSettings(first, second)) std::abort();
    return 0;
}
