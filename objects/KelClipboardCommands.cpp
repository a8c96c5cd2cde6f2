#include "objects/KelClipboardCommands.h"

#include <vector>

#include "foundation/ErrorLogLib.h"
#include "foundation/PackLib.h"
#include "media/ARGB8888Lib.h"
#include "platform/Clipboard.h"
#include "platform/Encoding.h"
#include "script/KelCommandArgs.h"
#include "script/KelScriptLib.h"
#include "script/uKelObjectKinds.h"

namespace {

// "cb": a picture found through the target's search folders, loaded by its extension. A file
// that is not there does nothing; one that cannot be read as its kind of picture is reported.
void CopyPicture(TKelCommandArgs& a, IClipboard* clipboard) {
    const std::string name = a.Text(1);
    const std::string found = a.ResolveTargetFile(name);
    const std::unique_ptr<TMemoryStream> stream = found.empty() ? nullptr : a.Script().Packs().LoadFile(found);
    if (!stream || !clipboard) return;
    TARGB8888 image;
    try {
        image.LoadFromStream(stream.get(), name, {a.Script().Links.MessageForms, a.Script().Links.Title});
    } catch (const EImageLoadError& e) {
        a.Script().Log().ErrorLog("\\cb:" + std::string(e.what()) + ":" + name);
        return;
    }
    const int32_t w = image.Width(), h = image.Height();
    if (w <= 0 || h <= 0) return;
    std::vector<uint32_t> pixels;
    pixels.reserve(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int32_t y = 0; y < h; ++y)
        pixels.insert(pixels.end(), image.ScanLine(y), image.ScanLine(y) + w);
    clipboard->SetPicture(pixels.data(), w, h);
}

TKelObjectDataStringList* ListOf(TKelCommandArgs& a) {
    return dynamic_cast<TKelObjectDataStringList*>(a.Object(1));
}

}  // namespace

namespace KelClipboardCommands {

bool DoClipboardCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TKelCommandArgs a(script, args);
    IClipboard* clipboard = script.Links.Clipboard;
    switch (code) {
        case Cmd("ct"): {
            const std::string text = a.Text(1);
            if (clipboard) clipboard->SetText(text);
            return true;
        }
        case Cmd("pt"):
            a.ClearResults();
            if (clipboard) a.SetStr(0, clipboard->Text());
            return true;
        case Cmd("gt"):
            a.ClearResults();
            if (clipboard) a.SetInt(0, clipboard->HasPicture() ? 2 : clipboard->HasText() ? 1 : 0);
            return true;
        case Cmd("cb"):
            CopyPicture(a, clipboard);
            return true;
        case Cmd("cl"):
            if (TKelObjectDataStringList* list = ListOf(a); list && clipboard) clipboard->SetText(list->Lines().Text());
            return true;
        case Cmd("pl"):
            if (TKelObjectDataStringList* list = ListOf(a); list && clipboard && clipboard->HasText())
                list->Lines().SetText(clipboard->Text());
            return true;
        case Cmd("ci"):
            return true;
        default:
            return false;
    }
}

void Register(TObjectKindRegistry& registry) {
    registry.RegisterHandler(TObjectKind::Clipboard, DoClipboardCommand);
}

}  // namespace KelClipboardCommands
