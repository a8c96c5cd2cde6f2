#include "shell/KelLogLib.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "foundation/ErrorLogLib.h"
#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "foundation/uInputDevice.h"
#include "foundation/uMisc.h"
#include "media/ARGB8888CellDrawLib.h"
#include "media/MediaContext.h"
#include "media/uSoundLib.h"
#include "objects/KelGraphicLib.h"
#include "objects/KelLogdataLib.h"
#include "objects/KelScreenObjects.h"
#include "objects/ScrollBarLib.h"
#include "platform/Encoding.h"
#include "script/KelScriptLib.h"
#include "shell/KelSystemLib.h"

using namespace KelLogLib;

namespace {

const std::string kFolder = "System\\Log\\";
const std::string kDefaultLayout = "System\\Log\\Layout.dat";
constexpr uint32_t kAllBits = 0xFFFFFFFFu;
constexpr int32_t kListItems = 8;

// Key codes the screen reads: buttons released, keys pressed in this frame.
constexpr TKeyCode kLeftReleased = 0x10001, kRightReleased = 0x10002;
constexpr TKeyCode kEscape = 0x1B, kBackspace = 8, kEnter = 13;
constexpr TKeyCode kUp = 0x26, kDown = 0x28, kHome = 0x24, kEnd = 0x23, kPageUp = 0x21, kPageDown = 0x22;
constexpr int32_t kPageStep = 5;

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// A comma never is the second byte of a two-byte character, so the value splits at every comma
// byte.
std::vector<std::string> ListOf(std::string_view value) {
    std::vector<std::string> items;
    size_t start = 0;
    for (;;) {
        const size_t comma = value.find(',', start);
        const std::string_view piece =
            value.substr(start, comma == std::string_view::npos ? value.npos : comma - start);
        if (!piece.empty()) items.emplace_back(piece);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (items.size() < kListItems) items.resize(kListItems);
    return items;
}

int32_t Number(std::string_view text, int32_t def) {
    text = TrimBlanks(text);
    int64_t v = 0;
    if (text.empty() || text.front() == '$' || !uMisc::TryStrToInt(text, 32, uMisc::THexPrefix::Dollar, v)) return def;
    return static_cast<int32_t>(v);
}

uint32_t Colour(std::string_view text, uint32_t def) {
    int64_t v = 0;
    if (!uMisc::TryStrToInt(TrimBlanks(text), 32, uMisc::THexPrefix::Dollar, v)) return def;
    return static_cast<uint32_t>(v);
}

// Lower-cased extension of a file name, "" without one.
std::string ExtensionOf(const std::string& name) {
    const size_t dot = name.find_last_of(".\\");
    if (dot == std::string::npos || name[dot] != '.') return {};
    return ClassLib::LowerAscii(name.substr(dot));
}

// A picture from the packs; none when the file is missing, of another kind, or unreadable.
std::unique_ptr<TARGB8888> LoadPicture(const TPackSet& packs, const std::string& name, const TDialogHost& notices) {
    const std::string ext = ExtensionOf(name);
    if (ext != ".bmp" && ext != ".jpg" && ext != ".png") return nullptr;
    auto image = std::make_unique<TARGB8888>();
    try {
        if (!image->LoadFromFile(packs, name, notices) || image->Width() == 0) return nullptr;
    } catch (const EImageLoadError&) {
        return nullptr;
    }
    return image;
}

// A voice file whose name without folder and extension is empty stands for no voice.
bool NamesAVoice(const std::string& file) {
    const size_t slash = file.find_last_of("\\/");
    std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos) base.resize(dot);
    return !base.empty();
}

// The picture untinted and opaque, its top-left corner at (x, y); at most w x h of it.
void DrawPicture(TARGB8888CellDraw& cells, TARGB8888* image, int64_t x, int64_t y, int32_t layer, int32_t w = INT32_MAX,
                 int32_t h = INT32_MAX) {
    cells.AddDraw(image, 0, static_cast<float>(x), static_cast<float>(y), 0, 0,
                  static_cast<float>(std::min(image->Width(), w)), static_cast<float>(std::min(image->Height(), h)),
                  static_cast<float>(layer), 0, 255, 0, 0xFFFFFF, bmBlend);
}

}  // namespace

// ---- layout ----

namespace KelLogLib {

TCharacter ReadCharacter(std::string_view value) {
    TCharacter c;
    const auto items = uMisc::SplitString(",", value, true, true, 0);
    const int n = items->Count();
    if (n > 0) c.MarkColor = Colour((*items)[0], 0);
    if (n > 1) c.TextColor = Colour((*items)[1], 0xFFFFFFFFu);
    if (n > 3) c.Picture = (*items)[3];
    for (int i = 4; i < n; ++i)
        c.Names.Add((*items)[i]);
    return c;
}

TLayout ReadLayout(const TStringList& lines) {
    TLayout l;
    auto text = [&](const char* key) { return lines.Values(key); };
    auto list = [&](const char* key) { return ListOf(lines.Values(key)); };
    auto pair = [&](const char* key, int32_t& a, int32_t& b) {
        const auto v = list(key);
        a = Number(v[0], a);
        b = Number(v[1], b);
    };
    auto rect = [&](const char* key, int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2) {
        const auto v = list(key);
        x1 = Number(v[0], x1), y1 = Number(v[1], y1), x2 = Number(v[2], x2), y2 = Number(v[3], y2);
    };
    auto lock = [&](const char* key) { return ClassLib::SameTextAscii(TrimBlanks(text(key)), "true"); };

    l.DivideNameText = text("DivideNameText");
    l.DivideNameIndex = Number(text("DivideNameIndex"), 0);
    l.DivideNameFormat = text("DivideNameFormat");
    l.DefaultViewCount = std::max(Number(text("DefaultViewCount"), 4), 1);
    l.BeginMuteTime = Number(text("BeginMuteTime"), 0);
    l.EmptyText = text("EmptyText");
    l.BGColor = Colour(text("BGColor"), 0);
    l.BGImage = text("BGImage");
    l.WheelDownReturnGame = text("WheelDownReturnGame") == "1";
    pair("CharctorImagePosition", l.CharacterImageX, l.CharacterImageY);
    pair("VoiceIconImagePosition", l.VoiceIconX, l.VoiceIconY);
    l.BorderLineColor = Colour(text("BorderLineColor"), 0);
    l.LockColor = lock("LockColor");
    l.LockSize = lock("LockSize");
    l.LockFontNo = lock("LockFontNo");
    l.LockPitch = lock("LockPitch");
    pair("msg.position", l.MsgX, l.MsgY);
    rect("msg.HitSize", l.HitX1, l.HitY1, l.HitX2, l.HitY2);
    rect("msg.TextSize", l.TextLeft, l.TextTop, l.TextRight, l.TextBottom);
    l.SelectColor = Colour(text("msg.SelectColor"), l.SelectColor);
    l.Space = Number(text("msg.Space"), 0);
    pair("Font.Pitch", l.PitchX, l.PitchY);
    pair("Font.Size", l.SizeW, l.SizeH);
    l.FontNo = Number(text("Font.FontNo"), 0);
    l.ReturnSpace = Number(text("Font.ReturnSpace"), 0);
    pair("Ruby.Position", l.RubyX, l.RubyY);
    pair("Ruby.Pitch", l.RubyPitchX, l.RubyPitchY);
    pair("Ruby.Size", l.RubySizeW, l.RubySizeH);
    l.RubyFontNo = Number(text("Ruby.FontNo"), 0);
    l.VoiceIconImage = text("VoiceIconImage");
    l.ScrollThumb = text("scrollbar.button.filename");
    l.ScrollTrack = text("scrollbar.bar.filename");
    l.ScrollType = Number(text("scrollbar.type"), 0);
    {
        const auto v = list("ScrollBar.Position");
        l.ScrollX = Number(v[0], 0), l.ScrollY = Number(v[1], 0), l.ScrollZ = Number(v[2], 0);
    }
    for (int32_t i = 0; i < kCharacterCount; ++i)
        l.Characters[static_cast<size_t>(i)] = ReadCharacter(lines.Values("no[" + std::to_string(i) + "]"));
    return l;
}

int32_t CharacterOf(const TLayout& layout, std::string_view speaker) {
    if (speaker.empty()) return kNoCharacter;
    for (int32_t i = 0; i < kCharacterCount; ++i)
        for (const std::string& name : layout.Characters[static_cast<size_t>(i)].Names.Items)
            if (name == "*" || ClassLib::SameTextAscii(name, speaker)) return i;
    return kNoCharacter;
}

std::string EntryLine(const TLayout& layout, std::string_view speaker, std::string_view text, uint32_t textColor) {
    const auto parts = uMisc::SplitString(layout.DivideNameText, speaker, false, false, 0);
    const std::string shown = parts->Count() > layout.DivideNameIndex && layout.DivideNameIndex >= 0
                                  ? (*parts)[layout.DivideNameIndex]
                                  : std::string(speaker);
    std::string line;
    if (!shown.empty()) {
        char colour[12];
        std::snprintf(colour, sizeof colour, "$%08X", textColor);
        // The colour first, so that a name holding the colour marker stays as it is.
        line = KelSystemLib::ReplaceMarker(layout.DivideNameFormat, "%%%actcolor", colour);
        line = KelSystemLib::ReplaceMarker(line, "%%%name", shown);
    }
    line += text;
    return line;
}

}  // namespace KelLogLib

// ---- the screen ----

TKelLog::TKelLog(TKelScript& owner, std::unique_ptr<IMessageVoice> voices)
    : Owner(owner), Voices(voices ? std::move(voices) : MessageLib::StreamVoices(owner.Links.SoundLibrary)) {
    Clear();
}

TKelLog::~TKelLog() {
    Clear();
}

int32_t TKelLog::ReplayStream() {
    return TSSound::kCount - 1;
}

TKelLogData* TKelLog::LogData() const {
    return Owner.Links.BackLog;
}

int32_t TKelLog::EntryCount() const {
    return LogData() ? LogData()->Count : 0;
}

int32_t TKelLog::LastEffectChannel() const {
    TSound* sound = Owner.Links.SoundLibrary;
    return sound && sound->DSound ? sound->DSound->Count() - 1 : -1;
}

void TKelLog::Clear() {
    for (auto& image : CharacterImages)
        image.reset();
    Layout = KelLogLib::TLayout{};
    Background.reset();
    VoiceIcon.reset();
    ScrollBar.reset();
    Entries.reset();
    Snapshot.reset();
    LayoutName.clear();
    LayoutLoaded = false;
}

bool TKelLog::LoadLayout() {
    std::string name = kFolder + Owner.State.LogScreenFile;
    if (Owner.Packs().ResolveFileName(name).empty()) name = kDefaultLayout;
    if (name == LayoutName) return LayoutLoaded;
    Clear();
    std::unique_ptr<TMemoryStream> file = Owner.Packs().LoadFile(name);
    if (!file) {
        Owner.Log().WriteErrorLog("[WARNING]:バックログ画面のレイアウトを読み込めません："_sj + name);
        return false;
    }
    TStringList lines;
    lines.LoadFromStream(*file);
    LayoutName = name;
    LayoutLoaded = true;
    Layout = KelLogLib::ReadLayout(lines);
    const TDialogHost notices{Owner.Links.MessageForms, Owner.Links.Title};
    for (int32_t i = 0; i < KelLogLib::kCharacterCount; ++i) {
        const std::string& picture = Layout.Characters[static_cast<size_t>(i)].Picture;
        if (!picture.empty())
            CharacterImages[static_cast<size_t>(i)] = LoadPicture(Owner.Packs(), "system\\log\\" + picture, notices);
    }

    TSound* sound = Owner.Links.SoundLibrary;
    IAnimationSound* animationSound = sound ? &sound->AnimationSound() : nullptr;
    const int32_t effectChannel = LastEffectChannel();
    if (!Layout.BGImage.empty()) {
        Background = ImageLib::Make<TImageLib>(Owner.Packs(), animationSound);
        KelScreenObjects::LinkToGame(*Background, Owner);
        Background->LoadImages(kFolder + Layout.BGImage, "", "", "", "", false, false);
        Background->MoveTo(0, 0, 0, 0);
        Background->SetMotionByIndex(0, true);
        if (effectChannel >= 0) Background->SetEffectChannel(effectChannel);
        Background->SetSoundVolume(255);
        Background->Show();
    }
    if (!Layout.VoiceIconImage.empty())
        VoiceIcon = LoadPicture(Owner.Packs(), kFolder + Layout.VoiceIconImage, notices);

    ScrollBar = std::make_unique<TImageScrollBar>(Owner.Packs(), animationSound);
    KelScreenObjects::LinkToGame(*ScrollBar, Owner);
    ScrollBar->Load(kFolder + Layout.ScrollThumb, kFolder + Layout.ScrollTrack, Layout.ScrollType != 0);
    ScrollBar->SetPos(Layout.ScrollX, Layout.ScrollY, Layout.ScrollZ);
    ScrollBar->SetMax(1);
    // Dragging the bar lays the visible entries out again.
    ScrollBar->OnChange = [this](TImageScrollBar&) {
        if (Entries) Entries->ClearRows();
    };
    if (effectChannel >= 0) ScrollBar->SetEffectChannel(effectChannel);
    return true;
}

void TKelLog::Open(int32_t /*kind*/) {
    LoadLayout();
    if (TKelGraphic* graphic = KelGraphicLib::GraphicOf(Owner)) {
        ScreenWidth = graphic->Width();
        ScreenHeight = graphic->Height();
    }
    if (ScrollBar) {
        const int32_t max = std::max(EntryCount() - 1, 1);
        ScrollBar->SetMax(max);
        ScrollBar->SetValueSilent(std::max(max - (Layout.DefaultViewCount - 1), 0));
        ScrollBar->Thumb->SetMotion("*Enable", true);
        ScrollBar->Track->SetMotion("*Enable", true);
    }
    if (Background) Background->SetMotion("*Enable", true);
    MakeSnapshot();
    Entries.reset();
    if (LayoutLoaded) MakeTextArea();
    if (ScrollBar) ScrollBar->Enable();
    MuteLeft = Layout.BeginMuteTime;
    Opened = true;
    CloseRequested = 0;
}

void TKelLog::MakeSnapshot() {
    Snapshot = std::make_unique<TARGB8888>();
    TKelGraphic* graphic = KelGraphicLib::GraphicOf(Owner);
    if (!graphic) return;
    Owner.Draw(0, false, 0xFFFF);
    Snapshot->Assign(graphic->GetScreenSurface());
    Snapshot->FillAlpha(0, 0, Snapshot->Width(), Snapshot->Height(), 255);
    if (Layout.BGColor != 0)
        Snapshot->FillRectEx(Layout.BGColor, bmBlend, 0, 0, static_cast<float>(ScreenWidth),
                             static_cast<float>(ScreenHeight), 0, 1024);
    Snapshot->Changed();
}

void TKelLog::MakeTextArea() {
    const KelLogLib::TLayout& l = Layout;
    Entries = ImageLib::Make<TMessageSelect>(Owner.Packs());
    TMessageSelect& e = *Entries;
    KelScreenObjects::LinkToGame(e, Owner);
    e.MoveTo(l.MsgX, l.MsgY, KelLogLib::kTextLayer, 0);
    e.SetTextRect(l.TextLeft, l.TextTop, l.TextRight, l.TextBottom);
    e.SetHitRect(l.HitX1, l.HitY1, l.HitX2, l.HitY2);
    e.SizeW = l.SizeW, e.SizeH = l.SizeH;
    e.PitchX = l.PitchX, e.PitchY = l.PitchY;
    e.Color = 0xFFFFFFFFu;
    e.SetHoverColor(l.SelectColor);
    e.Font = l.FontNo;
    e.SetMargin(l.ReturnSpace);
    e.RubyColor = 0xFFFFFFFFu;
    e.RubySizeW = l.RubySizeW, e.RubySizeH = l.RubySizeH;
    e.RubyPitchX = l.RubyPitchX, e.RubyPitchY = l.RubyPitchY;
    e.RubyFont = l.RubyFontNo;
    e.RubyOffsetX = l.RubyX, e.RubyOffsetY = l.RubyY;
    e.ClearRows();
    uint32_t ignore = KelLogLib::kAlwaysIgnored;
    if (l.LockColor) ignore |= KelLogLib::kLockColorBits;
    if (l.LockSize) ignore |= KelLogLib::kLockSizeBits;
    if (l.LockFontNo) ignore |= KelLogLib::kLockFontBits;
    if (l.LockPitch) ignore |= KelLogLib::kLockPitchBits;
    e.IgnoreMask = ignore;
    e.ClearRows();
    e.TextAlpha = 0;
    e.Enable();
}

// ---- per frame ----

int32_t TKelLog::Update(int32_t elapsed) {
    if (!Opened) return 0;
    MuteLeft = std::max(MuteLeft - std::max(elapsed, 0), 0);
    if (MuteLeft == 0 && CloseRequested == -1) return -1;
    if (MuteLeft == 0) HandleInput();
    if (Background) Background->Update(kAllBits, elapsed);
    if (Entries) Entries->Update(kAllBits, elapsed);
    if (ScrollBar) ScrollBar->Update(kAllBits, elapsed);
    FillRows();
    return 0;
}

bool TKelLog::AtEnd() const {
    return Layout.WheelDownReturnGame && ScrollBar && ScrollBar->GetValue() == ScrollBar->GetMax();
}

void TKelLog::ScrollTo(int32_t value) {
    if (!ScrollBar) return;
    ScrollBar->SetValueSilent(value);
    if (Entries) Entries->ClearRows();
}

void TKelLog::HandleInput() {
    TInput* input = Owner.Links.Input;
    if (!input) return;
    const int32_t x = input->MouseX, y = input->MouseY;
    if (Entries) Entries->MouseMove(kAllBits, x, y);
    if (ScrollBar) ScrollBar->MouseMove(kAllBits, input->Modifiers, x, y);
    const int32_t value = ScrollBar ? ScrollBar->GetValue() : 0;
    // A step is one entry, however far the wheel turned.
    if (input->Check(kLeftReleased)) ClickEntries(x, y);
    if (input->Check(kRightReleased)) RequestClose();
    if (input->Check(uInputDevice::kWheelUp)) ScrollTo(value - 1);
    if (input->Check(uInputDevice::kWheelDown)) AtEnd() ? RequestClose() : ScrollTo(value + 1);
    if (input->Check(kEscape) || input->Check(kBackspace) || input->Check(kEnter)) RequestClose();
    if (input->Check(kUp)) ScrollTo(value - 1);
    if (input->Check(kDown)) AtEnd() ? RequestClose() : ScrollTo(value + 1);
    if (input->Check(kHome)) ScrollTo(0);
    if (input->Check(kEnd)) AtEnd() ? RequestClose() : ScrollTo(EntryCount() - 1);
    if (input->Check(kPageUp)) ScrollTo(value - kPageStep);
    if (input->Check(kPageDown)) AtEnd() ? RequestClose() : ScrollTo(value + kPageStep);
}

void TKelLog::ClickEntries(int32_t x, int32_t y) {
    if (Entries) {
        Entries->Click(kAllBits, x, y);
        for (int32_t i = 0; i < Entries->RowCount(); ++i) {
            TMessageSelect::TRow& row = Entries->Rows[static_cast<size_t>(i)];
            if (!row.Selected) continue;
            row.Selected = false;
            Replay(row);
        }
    }
    if (ScrollBar) ScrollBar->MouseDown(kAllBits, x, y);
}

// An entry without a voice replays nothing, so that whatever the stream plays goes on.
void TKelLog::Replay(const TMessageSelect::TRow& row) {
    TKelLogData* log = LogData();
    if (!Voices || !log || row.Voice.empty()) return;
    const int32_t stream = ReplayStream();
    const std::string speaker = log->GetName(row.Index);
    const int32_t channel = KelLogdataLib::VoiceChannelOfName(Owner.Config().Config, speaker);
    Voices->Stop(stream);
    const int64_t actorVolume = Owner.Config().Config.ActorVolume[static_cast<size_t>(channel)];
    Voices->SetVolume(stream, static_cast<int32_t>(actorVolume * log->GetVolume(row.Index) / 255), 0);
    if (!Voices->LoadVoice(stream, row.Voice, static_cast<uint32_t>(channel))) return;
    if (log->GetValue1(row.Index) > 0) Voices->SeekMs(stream, log->GetValue1(row.Index));
    if (log->GetValue2(row.Index) > 0) Voices->SkipSilence(stream, log->GetValue2(row.Index));
    Voices->SetAutoGain(stream, log->GetValue4(row.Index));
    Voices->PlayOnce(stream);
    ReplayStarted = true;
}

// Rows are laid out again after every clear, as far as the hit rectangle reaches. A row the area
// refuses ends the filling until the next clear, so that no entry is typed twice.
void TKelLog::FillRows() {
    if (!Entries || Entries->Full()) return;
    const int32_t count = EntryCount();
    if (count == 0) {
        if (Entries->RowCount() == 0) AddEntry(Layout.EmptyText, 0, 0, "");
        return;
    }
    TKelLogData& log = *LogData();
    const int32_t value = ScrollBar ? ScrollBar->GetValue() : 0;
    for (int32_t pass = 0; pass < KelLogLib::kMaxFillPasses; ++pass) {
        if (int64_t{Layout.HitY2} - Layout.HitY1 < Entries->PenY) break;
        const int64_t index = int64_t{count} - 1 - value - Entries->RowCount();
        if (index < 0 || index >= count) break;
        const auto i = static_cast<int32_t>(index);
        const std::string speaker = log.GetName(i);
        const int32_t c = CharacterIndex(speaker);
        const uint32_t colour = Layout.Characters[static_cast<size_t>(c)].TextColor;
        const std::string file = log.GetVoice(i);
        const std::string voice = NamesAVoice(file) ? Owner.Packs().ResolveFileName(file) : std::string();
        if (!AddEntry(KelLogLib::EntryLine(Layout, speaker, log.GetText(i), colour), c, i, voice)) break;
    }
}

bool TKelLog::AddEntry(const std::string& line, int32_t character, int32_t index, const std::string& voice) {
    TMessageSelect& e = *Entries;
    if (e.RowCount() >= TMessageSelect::kMaxRows) {
        e.AddRow(0);  // refused: the area is full until the next clear
        return false;
    }
    const KelLogLib::TCharacter& c = Layout.Characters[static_cast<size_t>(character)];
    // Straight into the style, not as commands, so that a locked colour or size still takes them.
    e.Color = e.RubyColor = c.TextColor;
    e.SizeW = Layout.SizeW, e.SizeH = Layout.SizeH;
    e.AddText(line);
    e.Flush();
    TMessageSelect::TRow& row = e.Rows[static_cast<size_t>(e.RowCount())];
    row.Index = index;
    row.Voice = voice;
    e.PenY = static_cast<int32_t>(std::clamp<int64_t>(int64_t{e.PenY} + Layout.Space, INT32_MIN, INT32_MAX));
    if (e.AddRow(c.MarkColor)) return true;
    row = TMessageSelect::TRow{};
    return false;
}

// ---- drawing and closing ----

void TKelLog::Draw() {
    if (!Opened) return;
    TKelGraphic* graphic = KelGraphicLib::GraphicOf(Owner);
    TARGB8888CellDraw* cells = graphic ? graphic->CellDraw() : nullptr;
    if (!cells) return;
    // The frame the snapshot copies has spare columns on the right; only the screen is drawn.
    if (Snapshot && Snapshot->Width() > 0) DrawPicture(*cells, Snapshot.get(), 0, 0, -1000, ScreenWidth, ScreenHeight);
    if (Background) Background->Draw(cells, kAllBits, 0, 0);
    if (ScrollBar) ScrollBar->Draw(cells, kAllBits, 0, 0);
    if (Entries) {
        Entries->Draw(cells, kAllBits, 0, 0);
        const KelLogLib::TLayout& l = Layout;
        TKelLogData* log = LogData();
        for (int32_t i = 0; i < Entries->RowCount(); ++i) {
            const int64_t top = Entries->Boundary(i), bottom = Entries->Boundary(i + 1);
            const TMessageSelect::TRow& row = Entries->Rows[static_cast<size_t>(i)];
            const int32_t c = log ? CharacterIndex(log->GetName(row.Index)) : KelLogLib::kNoCharacter;
            if (TARGB8888* picture = CharacterImages[static_cast<size_t>(c)].get())
                DrawPicture(
                    *cells, picture, int64_t{l.MsgX} + l.CharacterImageX,
                    int64_t{l.MsgY} + l.CharacterImageY + l.TextTop + ((top + bottom) / 2 - picture->Height() / 2),
                    100);
            if (l.BorderLineColor != 0)
                cells->AddFillRect(l.BorderLineColor, bmBlend, static_cast<float>(int64_t{l.MsgX} + l.HitX1),
                                   static_cast<float>(l.MsgY + bottom - 1),
                                   static_cast<float>(int64_t{l.MsgX} + l.HitX2), static_cast<float>(l.MsgY + bottom),
                                   50, 0);
            if (!row.Voice.empty() && VoiceIcon)
                DrawPicture(*cells, VoiceIcon.get(), int64_t{l.MsgX} + l.VoiceIconX,
                            int64_t{l.MsgY} + l.VoiceIconY + l.TextTop + top, 110);
        }
    }
    cells->Render(0xFF000000u, Owner.Config().Config.Interlace == 1, 0xFFFF);
}

void TKelLog::Close() {
    if (ReplayStarted && Voices) Voices->SetVolume(ReplayStream(), 0, KelLogLib::kReplayFadeMs);
    ReplayStarted = false;
    CloseRequested = 0;
    Opened = false;
}
