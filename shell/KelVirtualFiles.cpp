#include "shell/KelVirtualFiles.h"

#include <string_view>

#include "foundation/SystemConfigLib.h"
#include "foundation/uMisc.h"
#include "media/ARGB8888Lib.h"
#include "objects/KelGraphicLib.h"
#include "platform/FileRoot.h"
#include "script/KelSaveData.h"
#include "script/KelScriptLib.h"

namespace {

constexpr int32_t kTopLayer = 0xFFFF;
constexpr std::string_view kSaveImage = "$$$saveimage";
constexpr std::string_view kFileImport = "$$$fileimport";

enum class TShot { None, WithCursors, WithoutCursors, UpToLayer };

struct TSnapshotName {
    TShot Shot = TShot::None;
    bool System = false;
};

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// Which snapshot a lower-cased name asks for, and of which interpreter.
TSnapshotName SnapshotOf(std::string_view low) {
    for (bool system : {false, true}) {
        const std::string prefix = system ? "$$$systemthreadimage" : "$$$gamethreadimage";
        if (low == prefix + ",0.bmp") return {TShot::WithCursors, system};
        if (low == prefix + ",1.bmp") return {TShot::WithoutCursors, system};
        if (StartsWith(low, prefix + "z")) return {TShot::UpToLayer, system};
    }
    return {};
}

// The second comma-separated item of the name, or of the name without its last extension.
std::string ArgumentOf(const std::string& name, bool withoutExtension) {
    std::string_view text = name;
    if (withoutExtension) text.remove_suffix(ARGB8888Lib::ExtensionOf(name).size());
    return (*uMisc::SplitString(",", text, false, false, 2))[1];
}

// The engine path of an import, or "" for one with a drive letter, which names no file here.
std::string ImportPath(const std::string& name) {
    std::string path = ArgumentOf(name, false);
    const bool driveLetter = path.size() >= 2 && path[1] == ':' &&
                             ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    return driveLetter ? std::string() : path;
}

// "SaveData\FILE" for the thumbnail name; "" for a file name that would leave the save folder.
std::string SaveImagePath(const std::string& name) {
    return KelSaveData::SaveFilePath(ArgumentOf(name, true));
}

std::unique_ptr<TMemoryStream> StreamOf(const std::string& bytes) {
    return std::make_unique<TMemoryStream>(bytes);
}

std::unique_ptr<TMemoryStream> Snapshot(TKelScript* script, bool cursors, int32_t maxLayer) {
    TKelGraphic* graphic = script ? KelGraphicLib::GraphicOf(*script) : nullptr;
    if (!graphic) return nullptr;
    script->Draw(0, cursors, maxLayer);
    auto stream = std::make_unique<TMemoryStream>();
    const bool written = graphic->SaveScreenshot(*stream);
    // What the next frame presents is what was drawn last.
    if (!cursors || maxLayer != kTopLayer) script->Draw(0, true, kTopLayer);
    if (!written) return nullptr;
    stream->SetPosition(0);
    return stream;
}

int32_t LayerOf(const std::string& name) {
    int64_t layer = 0;
    const std::string text = ArgumentOf(name, true);
    // Decimal only: a "$" number is not a layer.
    if (text.find('$') != std::string::npos || !uMisc::TryStrToInt(text, 32, uMisc::THexPrefix::Dollar, layer))
        return kTopLayer;
    return static_cast<int32_t>(layer);
}

}  // namespace

namespace KelVirtualFiles {

bool Exists(const TFileRoot* root, const std::string& name) {
    const std::string low = ClassLib::LowerAscii(name);
    if (ARGB8888Lib::ExtensionOf(low) == ".bmp") {
        if (SnapshotOf(low).Shot != TShot::None) return true;
        if (Contains(low, kSaveImage)) {
            const std::string path = SaveImagePath(name);
            return !path.empty() && root && root->FileExists(path);
        }
    }
    if (Contains(low, kFileImport)) {
        const std::string path = ImportPath(name);
        return !path.empty() && root && root->FileExists(path);
    }
    return false;
}

std::unique_ptr<TMemoryStream> Open(const TFileRoot* root, uint32_t codeKey, const std::string& name,
                                    TKelScript* gameScript, TKelScript* systemScript) {
    const std::string low = ClassLib::LowerAscii(name);
    const TSnapshotName shot = SnapshotOf(low);
    TKelScript* script = shot.System ? systemScript : gameScript;
    switch (shot.Shot) {
        case TShot::WithCursors:
            return Snapshot(script, true, kTopLayer);
        case TShot::WithoutCursors:
            return Snapshot(script, false, kTopLayer);
        case TShot::UpToLayer:
            return Snapshot(script, true, LayerOf(name));
        case TShot::None:
            break;
    }
    if (ARGB8888Lib::ExtensionOf(low) == ".bmp" && Contains(low, kSaveImage)) {
        const std::string path = SaveImagePath(name);
        TKelSaveData save(codeKey);
        if (path.empty() || !root || !save.LoadFromFile(*root, path, true, false) || save.Thumbnail.empty())
            return nullptr;
        return StreamOf(save.Thumbnail);
    }
    if (Contains(low, kFileImport)) {
        const std::string path = ImportPath(name);
        std::string bytes;
        if (path.empty() || !root || !root->ReadFile(path, bytes)) return nullptr;
        return StreamOf(bytes);
    }
    return nullptr;
}

}  // namespace KelVirtualFiles
