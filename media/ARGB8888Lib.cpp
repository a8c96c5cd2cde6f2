#include "media/ARGB8888Lib.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

#include "foundation/PackLib.h"
#include "foundation/ShiftJis.h"
#include "foundation/uDialogMisc.h"
#include "media/ImageCodecLib.h"
#include "media/uARGBSaveFile.h"
#include "platform/ClassLib.h"
#include "platform/Encoding.h"

namespace ARGB8888Lib {

namespace {

// Counts on past 0xFFFFFF; the serial is its low 24 bits, which wrap with it since 2^32 is a
// multiple of 2^24.
std::atomic<uint32_t> SerialCounter{0};

}  // namespace

uint32_t NextSerial() {
    return SerialCounter.fetch_add(1, std::memory_order_relaxed) & 0xFFFFFF;
}

void SetNextSerial(uint32_t serial) {
    SerialCounter.store(serial, std::memory_order_relaxed);
}

bool ClipUnscaled(int32_t& x, int32_t& y, int32_t& left, int32_t& top, int32_t& right, int32_t& bottom,
                  int32_t destWidth, int32_t destHeight, int32_t sourceWidth, int32_t sourceHeight) {
    // 64-bit throughout: positions and rectangles come from scripts and may be anything.
    int64_t X = x, Y = y, L = left, T = top, R = right, B = bottom;
    if (L > R) std::swap(L, R);
    if (T > B) std::swap(T, B);
    if (R - L < 1 || B - T < 1) return true;
    if (L > sourceWidth || T > sourceHeight || R < 0 || B < 0) return true;
    if (L < 0) X -= L, L = 0;
    if (T < 0) Y -= T, T = 0;
    R = std::min<int64_t>(R, sourceWidth);
    B = std::min<int64_t>(B, sourceHeight);
    if (X > destWidth || Y > destHeight || X + R - L < 0 || Y + B - T < 0) return true;
    if (X < 0) L -= X, X = 0;
    if (Y < 0) T -= Y, Y = 0;
    if (X + R - L > destWidth) R -= X + R - L - destWidth;
    if (Y + B - T > destHeight) B -= Y + B - T - destHeight;
    if (R - L < 1 || B - T < 1) return true;
    x = static_cast<int32_t>(X), y = static_cast<int32_t>(Y);
    left = static_cast<int32_t>(L), top = static_cast<int32_t>(T);
    right = static_cast<int32_t>(R), bottom = static_cast<int32_t>(B);
    return false;
}

}  // namespace ARGB8888Lib

TBitmap32::TBitmap32(int32_t width, int32_t height)
    : Width(std::max(width, 0)),
      Height(std::max(height, 0)),
      Pixels(static_cast<size_t>(Width) * static_cast<size_t>(Height), 0u) {}

void TBitmap32::ConvertTo32(uint8_t alpha) {
    if (SourceBits == 32) return;
    const uint32_t a = static_cast<uint32_t>(alpha) << 24;
    for (uint32_t& p : Pixels)
        p = (p & 0xFFFFFF) | a;
    SourceBits = 32;
}

namespace ARGB8888Lib {

// The scan steps over two-byte Shift-JIS characters, whose trail byte may look like "\".
std::string ExtensionOf(const std::string& name) {
    size_t dot = std::string::npos;
    for (size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<uint8_t>(name[i]);
        if (uMisc::IsSJISLeadByte(c)) {
            ++i;
        } else if (c == '\\' || c == '/' || c == ':') {
            dot = std::string::npos;
        } else if (c == '.') {
            dot = i;
        }
    }
    return dot == std::string::npos ? std::string() : ClassLib::LowerAscii(std::string_view(name).substr(dot));
}

}  // namespace ARGB8888Lib

namespace {

// The bytes from the stream's position to its end.
std::vector<uint8_t> ReadRest(TStream& stream) {
    std::vector<uint8_t> bytes(static_cast<size_t>(stream.Remaining()));
    stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    return bytes;
}

std::unique_ptr<TBitmap32> ReadBmp(TStream& stream) {
    std::vector<uint8_t> bytes = ReadRest(stream);
    auto bitmap = ImageCodecLib::DecodeBmp(bytes.data(), bytes.size());
    bitmap->ConvertTo32(255);
    return bitmap;
}

std::unique_ptr<TBitmap32> ReadJpeg(TStream& stream, const TDialogHost& notices) {
    stream.SetPosition(0);
    std::vector<uint8_t> bytes = ReadRest(stream);
    std::unique_ptr<TBitmap32> bitmap;
    try {
        bitmap = ImageCodecLib::DecodeJpeg(bytes.data(), bytes.size(), ImageCodecLib::TJpegOutput::Colour);
    } catch (const ImageCodecLib::EJpegHeaderError&) {
        // Not an error of the load: the user is told in a message box, and the image stays empty.
        uDialogMisc::ShowDialog1(notices, "", "規格外のJPEGを読み込みました。読み込みを中断します。"_sj, "OK", nullptr);
        return nullptr;
    }
    bitmap->ConvertTo32(255);
    return bitmap;
}

std::unique_ptr<TBitmap32> ReadPng(TStream& stream) {
    // Four bytes other than the start of the signature are a prefix to skip.
    static constexpr uint8_t signature[4] = {0x89, 0x50, 0x4E, 0x47};
    uint8_t head[4];
    stream.ReadBuffer(head, 4);
    if (std::memcmp(head, signature, 4) == 0) stream.Seek(-4, TSeekOrigin::Current);
    std::vector<uint8_t> bytes = ReadRest(stream);
    auto bitmap = ImageCodecLib::DecodePng(bytes.data(), bytes.size());
    bitmap->ConvertTo32(255);
    return bitmap;
}

std::unique_ptr<TBitmap32> ReadArgb(TStream& stream) {
    stream.SetPosition(0);
    uint8_t type = 0;
    auto bitmap = uARGBSaveFile::LoadARGBSaveData(&stream, type);
    if (bitmap) bitmap->SourceBits = 32;  // the container's alpha stays as it came
    return bitmap;
}

}  // namespace

TARGB8888::TARGB8888() {
    Clear();
}

TARGB8888::~TARGB8888() {
    Clear();
}

void TARGB8888::Clear() {
    OwnedBitmap.reset();
    Target = nullptr;
    Active = nullptr;
    OnSetTime = nullptr;
    OnIsTransparent = nullptr;
    Serial = ARGB8888Lib::NextSerial();
    ScanTransparency();
}

void TARGB8888::SetSize(int32_t width, int32_t height) {
    Clear();
    OwnedBitmap = std::make_unique<TBitmap32>(width, height);
    Active = OwnedBitmap.get();
    ScanTransparency();
}

void TARGB8888::SetTarget(TBitmap32* bitmap) {
    Target = bitmap;
    Active = bitmap ? bitmap : OwnedBitmap.get();
}

void TARGB8888::Assign(const TARGB8888* image) {
    if (!image) return;
    // Copied before clearing, so that an image can be assigned to itself.
    std::unique_ptr<TBitmap32> copy = image->Active ? std::make_unique<TBitmap32>(*image->Active) : nullptr;
    const bool transparent = image->IsTransparent();
    Clear();
    OwnedBitmap = std::move(copy);
    Active = OwnedBitmap.get();
    Transparent = transparent;
}

void TARGB8888::AssignBitmap(const TBitmap32* bitmap) {
    if (!bitmap) return;
    auto copy = std::make_unique<TBitmap32>(*bitmap);
    copy->ConvertTo32(255);
    Clear();
    OwnedBitmap = std::move(copy);
    Active = OwnedBitmap.get();
    ScanTransparency();
}

bool TARGB8888::IsTransparent() const {
    return OnIsTransparent ? OnIsTransparent() : Transparent;
}

void TARGB8888::Changed() {
    Serial = ARGB8888Lib::NextSerial();
}

// The AND of all pixels of the owned bitmap (a target does not count) has an alpha byte below 255
// exactly when some pixel is not opaque; the scan stops after the first row that shows it.
void TARGB8888::ScanTransparency() {
    Transparent = true;
    if (!OwnedBitmap) return;
    uint32_t all = 0xFF000000;
    for (int32_t y = 0; y < OwnedBitmap->Height && (all >> 24) == 0xFF; ++y) {
        const uint32_t* row = OwnedBitmap->ScanLine(y);
        for (int32_t x = 0; x < OwnedBitmap->Width; ++x)
            all &= row[x];
    }
    Transparent = (all >> 24) != 0xFF;
}

void TARGB8888::ShiftFill(int32_t dx, int32_t dy, uint32_t color) {
    if (!Active) return;
    TARGB8888 copy;
    copy.Assign(this);
    FillRect(0, 0, Width(), Height(), color);
    copy.Draw(this, dx, dy, 0, 0, Width(), Height());
}

bool TARGB8888::LoadFromStream(TStream* stream, const std::string& name, const TDialogHost& notices) {
    if (!stream) return false;
    Clear();
    const std::string ext = ARGB8888Lib::ExtensionOf(name);
    std::unique_ptr<TBitmap32> bitmap;
    try {
        if (ext == ".bmp") {
            bitmap = ReadBmp(*stream);
        } else if (ext == ".jpg") {
            bitmap = ReadJpeg(*stream, notices);
        } else if (ext == ".png") {
            bitmap = ReadPng(*stream);
        } else if (ext == ".argb") {
            bitmap = ReadArgb(*stream);
        }
    } catch (const std::exception&) {  // damaged picture, short stream, no memory
        OwnedBitmap.reset();
        Target = nullptr;
        Active = nullptr;
        ScanTransparency();
        throw EImageLoadError(name + "の読み込みに失敗しました"_sj);
    }
    OwnedBitmap = std::move(bitmap);
    Target = nullptr;
    Active = OwnedBitmap.get();
    ScanTransparency();
    return true;
}

bool TARGB8888::LoadFromFile(const TPackSet& packs, const std::string& name, const TDialogHost& notices) {
    std::unique_ptr<TMemoryStream> stream = packs.LoadFile(name);
    if (!stream) return false;
    return LoadFromStream(stream.get(), name, notices);
}

bool TARGB8888::SaveToStream(TStream* stream) const {
    if (!stream || !Active) return false;
    try {
        const std::string bytes = ImageCodecLib::EncodeBmp32(*Active);
        stream->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TARGB8888::SaveToJpegStream(TStream* stream, int32_t quality) const {
    if (!stream || !Active) return false;
    try {
        const std::string bytes = ImageCodecLib::EncodeJpeg(*Active, quality);
        stream->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// Pixel formats of the surfaces. Every column of the rectangle is moved, in every format: a screen
// whose width is not a multiple of 4 (or 2) keeps its right edge.
bool TARGB8888::TransferToSurface(const TSurfaceDesc& desc, int32_t x, int32_t y, int32_t left, int32_t top,
                                  int32_t right, int32_t bottom) const {
    if (!Active || !desc.Surface) return true;
    if (ARGB8888Lib::ClipUnscaled(x, y, left, top, right, bottom, desc.Width, desc.Height, Width(), Height()))
        return true;
    enum class TFormat { R5G6B5, X1R5G5B5, R8G8B8, A8R8G8B8 } format;
    int32_t bytesPerPixel = 0;
    const int32_t columns = right - left;
    switch (desc.RGBBitCount) {
        case 16:
            format = desc.GBitMask == 0x7E0 ? TFormat::R5G6B5 : TFormat::X1R5G5B5;
            bytesPerPixel = 2;
            break;
        case 24:
            format = TFormat::R8G8B8;
            bytesPerPixel = 3;
            break;
        case 32:
            format = TFormat::A8R8G8B8;
            bytesPerPixel = 4;
            break;
        default:
            return true;
    }
    int32_t h = bottom - top;
    if (columns < 1 || h < 1) return true;

    uint8_t* dst = desc.Surface + static_cast<ptrdiff_t>(y) * desc.Pitch + static_cast<ptrdiff_t>(x) * bytesPerPixel;
    int32_t sourceRow = top;
    ptrdiff_t pitch = desc.Pitch;
    int32_t rowStep = 1;
    if (Interlace) {
        if (Interlace->Skips(y)) {
            --h;
            ++sourceRow;
            dst += pitch;
        }
        h = (h + 1) / 2;
        pitch *= 2;
        rowStep = 2;
    }
    for (int32_t i = 0; i < h; ++i, sourceRow += rowStep, dst += pitch) {
        const uint32_t* src = Active->ScanLine(sourceRow) + left;
        switch (format) {
            case TFormat::R5G6B5:
                for (int32_t j = 0; j < columns; ++j) {
                    const uint32_t c = src[j];
                    const auto v =
                        static_cast<uint16_t>(((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x001F));
                    std::memcpy(dst + 2 * j, &v, 2);
                }
                break;
            case TFormat::X1R5G5B5:
                for (int32_t j = 0; j < columns; ++j) {
                    const uint32_t c = src[j];
                    const auto v =
                        static_cast<uint16_t>(((c >> 9) & 0x7C00) | ((c >> 6) & 0x03E0) | ((c >> 3) & 0x001F));
                    std::memcpy(dst + 2 * j, &v, 2);
                }
                break;
            case TFormat::R8G8B8:
                for (int32_t j = 0; j < columns; ++j) {
                    const uint32_t c = src[j];
                    dst[3 * j] = static_cast<uint8_t>(c);
                    dst[3 * j + 1] = static_cast<uint8_t>(c >> 8);
                    dst[3 * j + 2] = static_cast<uint8_t>(c >> 16);
                }
                break;
            case TFormat::A8R8G8B8:
                for (int32_t j = 0; j < columns; ++j) {
                    const uint32_t v = src[j] | 0xFF000000;
                    std::memcpy(dst + 4 * j, &v, 4);
                }
                break;
        }
    }
    return true;
}
