#include "media/KelDirectShow.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "foundation/DisplayComponent.h"
#include "foundation/PackLib.h"
#include "foundation/ShiftJis.h"
#include "foundation/SystemConfigLib.h"
#include "platform/ClassLib.h"
#include "platform/FileRoot.h"
#include "platform/FileSystem.h"
#include "platform/LittleEndian.h"

// ---- the record ----

void TDirectShowState::Write(TStream& stream) const {
    TRecordWriter w(kSize);
    w.I32(Left);
    w.I32(Top);
    w.I32(Width);
    w.I32(Height);
    w.Short(FileName, kNameCapacity);
    w.I32(State);
    w.I32(Volume);
    w.I32(Position);
    w.WriteTo(stream);
}

bool TDirectShowState::Read(TStream& stream) {
    std::vector<uint8_t> bytes;
    if (!ReadRecordBytes(stream, kSize, bytes)) return false;
    TRecordReader r(bytes);
    Left = r.I32();
    Top = r.I32();
    Width = r.I32();
    Height = r.I32();
    FileName = r.Short(kNameCapacity);
    State = r.I32();
    Volume = r.I32();
    Position = r.I32();
    return true;
}

// ---- names ----

namespace KelDirectShow {

bool SafeName(const std::string& name) {
    if (!name.empty() && (name[0] == '\\' || name[0] == '/')) return false;
    std::string segment;
    auto parent = [&] { return segment == ".."; };
    for (size_t i = 0; i < name.size(); ++i) {
        const auto b = static_cast<uint8_t>(name[i]);
        if (uMisc::IsSJISLeadByte(b) && i + 1 < name.size()) {
            segment += name[i];
            segment += name[++i];
            continue;
        }
        if (b == ':') return false;
        if (b == '\\' || b == '/') {
            if (parent()) return false;
            segment.clear();
            continue;
        }
        segment += name[i];
    }
    return !parent();
}

}  // namespace KelDirectShow

// ---- the movie object ----

namespace {

bool IsFile(const std::string& hostPath) {
    std::error_code ec;
    return !hostPath.empty() && std::filesystem::is_regular_file(hostPath, ec);
}

}  // namespace

TKelDirectShowPlayer::TKelDirectShowPlayer(const TMovieDevices& devices) : Devices(devices) {
    Close();
}

TKelDirectShowPlayer::~TKelDirectShowPlayer() = default;

bool TKelDirectShowPlayer::Active() const {
    return Movie && (!Devices.Config || Devices.Config->MovieDecoder != 0);
}

void TKelDirectShowPlayer::Close() {
    Movie.reset();
    Record = TDirectShowState{};
}

bool TKelDirectShowPlayer::Open(const std::string& fileName) {
    Close();
    if ((Devices.Config && Devices.Config->MovieDecoder == 0) || !KelDirectShow::SafeName(fileName)) return false;
    // The folder beside the program first, then the one beside the packs: the last that has the
    // file is taken.
    const std::string relative = "movie\\" + fileName;
    std::string path;
    const std::string here = Devices.Files ? Devices.Files->HostPath(relative) : std::string();
    if (IsFile(here)) path = here;
    std::string base = Devices.Packs ? Devices.Packs->DataPath : std::string();
    if (base.size() > 1 && base.back() == '/') base.pop_back();
    const std::string data = base.empty() ? here : FileSystem::HostPathIn(base, relative);
    if (IsFile(data)) path = data;
    if (path.empty()) return false;
    Movie = std::make_unique<TDirectShowPlayer>(Devices);
    if (!Movie->Open(path)) {
        Movie.reset();
        return false;
    }
    Record.FileName = fileName.substr(0, TDirectShowState::kNameCapacity);
    Record.Width = Movie->VideoWidth;
    Record.Height = Movie->VideoHeight;
    return true;
}

void TKelDirectShowPlayer::Play() {
    if (Active()) Movie->Play();
}

void TKelDirectShowPlayer::Pause() {
    if (Active()) Movie->Pause();
}

void TKelDirectShowPlayer::Stop() {
    if (Active()) Movie->Stop();
}

void TKelDirectShowPlayer::Seek(int32_t ms) {
    if (Active()) Movie->Seek(ms);
}

void TKelDirectShowPlayer::SetPosition(int32_t left, int32_t top) {
    Record.Left = left;
    Record.Top = top;
    if (Active()) Movie->SetPosition(left, top);
}

void TKelDirectShowPlayer::SetSize(int32_t width, int32_t height) {
    Record.Width = width;
    Record.Height = height;
    if (Active()) Movie->SetSize(width, height);
}

void TKelDirectShowPlayer::SetVolume(int32_t volume) {
    Record.Volume = std::max(volume, 0);
    if (Active()) Movie->SetVolume(volume);
}

int32_t TKelDirectShowPlayer::GetState() {
    return Active() ? Movie->GetState() : DirectShowLib::mpsStopped;
}

int32_t TKelDirectShowPlayer::GetPosition() {
    return Active() ? Movie->GetPosition() : 0;
}

int32_t TKelDirectShowPlayer::GetLength() {
    return Active() ? Movie->GetLength() : 0;
}

void TKelDirectShowPlayer::SaveToStream(TStream& stream) {
    Record.Position = GetPosition();
    Record.State = GetState();
    Record.Write(stream);
}

bool TKelDirectShowPlayer::LoadFromStream(TStream& stream) {
    Close();
    TDirectShowState saved;
    if (!saved.Read(stream)) return false;
    if (!saved.FileName.empty()) Open(saved.FileName);
    SetPosition(saved.Left, saved.Top);
    SetSize(saved.Width, saved.Height);
    SetVolume(saved.Volume);
    Seek(saved.Position);
    switch (saved.State) {
        case DirectShowLib::mpsStopped:
            Stop();
            break;
        case DirectShowLib::mpsPaused:
            Pause();
            break;
        case DirectShowLib::mpsPlaying:
            Play();
            break;
        default:
            break;
    }
    Record = saved;
    return true;
}

TMoviePresent TKelDirectShowPlayer::PresentOver(TDDDD7& display) {
    if (!Active() || !Movie->Visible()) {
        if (!WasShown) return TMoviePresent::Nothing;
        WasShown = false;
        return TMoviePresent::Hidden;
    }
    const uint64_t serial = Movie->PictureSerial();
    // While it plays the engine core presents nothing, so what was drawn last is still there.
    if (WasShown && serial == DrawnSerial && Movie->GetState() == DirectShowLib::mpsPlaying)
        return TMoviePresent::Unchanged;
    if (!display.BackBuffer) return TMoviePresent::Nothing;
    TDisplayLock lock;
    if (!display.BackBuffer->Lock(lock)) return TMoviePresent::Nothing;
    const Display::TRowSpan rows = Movie->DrawVideo(lock);
    if (rows.Bottom > rows.Top) display.BackBuffer->Changed(rows.Top, rows.Bottom);
    display.BackBuffer->Unlock();
    display.Flip(true);
    WasShown = true;
    DrawnSerial = serial;
    return TMoviePresent::Drawn;
}
