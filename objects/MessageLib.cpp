#include "objects/MessageLib.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "foundation/ErrorLogLib.h"
#include "foundation/PackLib.h"
#include "foundation/ShiftJis.h"
#include "foundation/StreamStrings.h"
#include "foundation/SystemConfigLib.h"
#include "foundation/uMisc.h"
#include "media/ARGB8888CellDrawLib.h"
#include "media/uSoundLib.h"
#include "objects/KelLogdataLib.h"
#include "platform/ClassLib.h"
#include "platform/Encoding.h"
#include "platform/LittleEndian.h"
#include "script/KelCalculationLib.h"

using namespace MessageLib;

namespace {

// Scripts can ask for any size, pitch or position; sums of them are taken in 64 bits and held to
// 32 bits, so that no combination wraps.
int32_t Sat(int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// The key of a command word, packed as uMisc::StrToKey4 packs it, for the case labels.
constexpr int32_t Word(std::string_view w) {
    uint32_t key = 0;
    for (size_t i = 0; i < w.size() && i < 4; ++i)
        key |= (static_cast<uint32_t>(w[i]) & 0x7F) << (8 * i);
    return static_cast<int32_t>(key);
}

size_t CharLength(std::string_view text, size_t i) {
    return uMisc::IsSJISLeadByte(static_cast<uint8_t>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

// "$" or "0x" after optional blanks and a sign.
bool IsHexNumber(std::string_view text) {
    size_t i = text.find_first_not_of(' ');
    if (i == std::string_view::npos) return false;
    if (text[i] == '+' || text[i] == '-') ++i;
    return text.substr(i, 1) == "$" || text.substr(i, 2) == "0x" || text.substr(i, 2) == "0X";
}

// Argument i as a 32-bit integer, or def when it is missing or not a number. A decimal number
// outside 32 bits is not one; a hexadecimal one of up to 8 digits is the bit pattern.
int32_t IntArg(const TStringList& items, int i, int32_t def) {
    if (i >= items.Count()) return def;
    int64_t v = 0;
    if (!KelCalculationLib::TryStrToInt64(items[i], v)) return def;
    if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
        return static_cast<int32_t>(v);
    if (IsHexNumber(items[i]) && v >= 0 && v <= 0xFFFFFFFFll) return static_cast<int32_t>(static_cast<uint32_t>(v));
    return def;
}

// A colour may have more than 8 hexadecimal digits (or any 64-bit decimal); only its low 32 bits
// count.
uint32_t ColorArg(const TStringList& items, int i, uint32_t def) {
    if (i >= items.Count()) return def;
    int64_t v = 0;
    if (!KelCalculationLib::TryStrToInt64(items[i], v)) return def;
    return static_cast<uint32_t>(static_cast<uint64_t>(v));
}

// Blanks trimmed; then, for more than 2 bytes, the brackets (first and last byte) taken off.
std::string CommandBody(std::string_view token) {
    std::string_view body = KelCalculationLib::Trim(token);
    if (body.size() > 2) body = body.substr(1, body.size() - 2);
    return std::string(body);
}

std::string Format(const char* format, int32_t a) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, a);
    return buffer;
}

std::string Format(const char* format, int32_t a, int32_t b) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, a, b);
    return buffer;
}

// Always eight hexadecimal digits, zeros in front. Padding the field with blanks instead would
// not read back as a number: a colour with alpha below 0x10 would come back white after a clear.
std::string ColorCommand(const char* word, uint32_t color) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%s,$%08X", word, color);
    return buffer;
}

}  // namespace

TMessageText::TMessageText() {
    TextBitmap.SetSize(8, 8);
    TMessageText::ClearText();
    ResetTypesetting();
}

// ---- Tokens and measures

size_t TMessageText::TokenLength(std::string_view text, size_t pos, bool& closed) {
    closed = false;
    if (pos >= text.size()) return 0;
    if (text[pos] != '[') return CharLength(text, pos);
    int64_t depth = 0;
    for (size_t i = pos; i < text.size(); i += CharLength(text, i)) {
        if (text[i] == '[') {
            ++depth;
        } else if (text[i] == ']' && --depth == 0) {
            closed = true;
            return i + 1 - pos;
        }
    }
    return text.size() - pos;
}

std::string TMessageText::ReadToken() {
    bool closed = false;
    const size_t n = TokenLength(MainText, static_cast<size_t>(MainPos), closed);
    std::string token = MainText.substr(static_cast<size_t>(MainPos), n);
    MainPos += static_cast<int32_t>(n);
    return token;
}

std::string TMessageText::ReadInsertToken() {
    bool closed = false;
    const size_t n = TokenLength(InsertString, static_cast<size_t>(InsertPos), closed);
    std::string token = InsertString.substr(static_cast<size_t>(InsertPos), n);
    InsertPos += static_cast<int32_t>(n);
    return token;
}

bool TMessageText::HasPrintableText(std::string_view text) {
    bool closed = false;
    for (size_t i = 0; i < text.size();) {
        const size_t n = TokenLength(text, i, closed);
        if (text[i] != '[') return true;
        for (size_t k = i; k < i + n; k += CharLength(text, k))
            if (CharLength(text, k) == 2) return true;
        i += n;
    }
    return false;
}

int32_t TMessageText::StringWidth(std::string_view text, int32_t size, int32_t pitch) {
    if (text.empty()) return 0;
    int64_t width = 0, count = 0;
    for (size_t i = 0; i < text.size(); i += CharLength(text, i), ++count)
        width += CharLength(text, i) == 2 ? size : size / 2;
    return Sat(width + (count + 1) * pitch);
}

int32_t TMessageText::TextWidth(std::string_view text) const {
    int64_t width = 0;
    for (size_t i = 0; i < text.size(); i += CharLength(text, i))
        width += int64_t{CharLength(text, i) == 2 ? SizeW : SizeW / 2} + PitchX;
    return Sat(width);
}

// ---- Area

int32_t TMessageText::AreaWidth() const {
    const int64_t w = int64_t{AreaRight} - AreaLeft, h = int64_t{AreaBottom} - AreaTop;
    return w <= 0 || h <= 0 ? 0 : static_cast<int32_t>(std::min<int64_t>(w, kMaxTextSide));
}

int32_t TMessageText::AreaHeight() const {
    const int64_t w = int64_t{AreaRight} - AreaLeft, h = int64_t{AreaBottom} - AreaTop;
    return w <= 0 || h <= 0 ? 0 : static_cast<int32_t>(std::min<int64_t>(h, kMaxTextSide));
}

void TMessageText::SetTextRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    if (left == AreaLeft && top == AreaTop && right == AreaRight && bottom == AreaBottom) return;
    ClearText();
    AreaLeft = left, AreaTop = top, AreaRight = right, AreaBottom = bottom;
    const int64_t w = int64_t{right} - left, h = int64_t{bottom} - top;
    if (WarningLog && ((w > kMaxTextSide && h > 0) || (h > kMaxTextSide && w > 0)))
        WarningLog->WriteErrorLog("[WARNING]:メッセージの表示領域が大きすぎるため"_sj + std::to_string(kMaxTextSide) +
                                  "ドットに制限しました："_sj + std::to_string(w) + "x" + std::to_string(h));
    TextBitmap.SetSize(std::max(AreaWidth(), 4), std::max(AreaHeight(), 4));
    FillEmpty();
}

void TMessageText::SetVertical(bool vertical) {
    Vertical = vertical ? 1 : 0;
    ClearText();
}

// ---- Text in

void TMessageText::AppendText(std::string_view text) {
    MainText += text;
    LogCopy += text;
    State = TMessageState::Printing;
}

void TMessageText::AddCommand(std::string_view command) {
    std::string text(1, '[');
    text += ClassLib::LowerAscii(command);
    text += ']';
    AppendText(text);
}

void TMessageText::InsertText(std::string_view text) {
    InsertString += text;
}

std::string TMessageText::CrLfToTags(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t n = CharLength(text, i);
        if (n == 1 && text[i] == '\r') {
            out += "[n]";
            i += std::min<size_t>(2, text.size() - i);
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

void TMessageText::SetPos(int32_t x, int32_t y) {
    AddCommand(Format("p,%d,%d", x, y));
}
void TMessageText::SetSize(int32_t w, int32_t h) {
    AddCommand(Format("s,%d,%d", w, h));
}
void TMessageText::SetColor(uint32_t color) {
    AddCommand(ColorCommand("c", color));
}
void TMessageText::SetPitch(int32_t x, int32_t y) {
    AddCommand(Format("pi,%d,%d", x, y));
}
void TMessageText::SetFont(int32_t font) {
    AddCommand(Format("f,%d", font));
}
void TMessageText::SetSpeed(int32_t ms) {
    AddCommand(Format("spd,%d", ms));
}
void TMessageText::SetRubyColor(uint32_t color) {
    AddCommand(ColorCommand("rc", color));
}
void TMessageText::SetRubyFont(int32_t font) {
    AddCommand(Format("rf,%d", font));
}
void TMessageText::SetRubyPitch(int32_t x, int32_t y) {
    AddCommand(Format("rpi,%d,%d", x, y));
}
void TMessageText::SetRubySize(int32_t w, int32_t h) {
    AddCommand(Format("rs,%d,%d", w, h));
}
void TMessageText::SetRubyPos(int32_t x, int32_t y) {
    AddCommand(Format("rp,%d,%d", x, y));
}
void TMessageText::Wait(int32_t ms) {
    if (!Instant) AddCommand(Format("w,%d", ms));
}

// ---- Steps

bool TMessageText::Step(bool flush) {
    if (!HasInsertText() && !HasMainText()) {
        if (State != TMessageState::Done) Note("done");
        State = TMessageState::Done;
        return true;
    }
    State = TMessageState::Printing;
    if (WaitLeft > 0) {
        if (!flush) return false;
        WaitLeft = 0;
    }
    for (;;) {
        // A replay reads nothing past the position it restores.
        if (!HasInsertText() && ReplayStop >= 0 && MainPos >= ReplayStop) return false;
        const int32_t savedMain = MainPos, savedInsert = InsertPos;
        std::string& source = HasInsertText() ? InsertString : MainText;
        int32_t& position = HasInsertText() ? InsertPos : MainPos;
        bool closed = false;
        const size_t n = TokenLength(source, static_cast<size_t>(position), closed);
        if (n == 0) return false;
        const std::string token = source.substr(static_cast<size_t>(position), n);
        position += static_cast<int32_t>(n);

        if (token[0] != '[') {
            ApplyLineIndent(token);
            if (!DrawGlyph(token)) MainPos = savedMain, InsertPos = savedInsert;
            return false;
        }
        // A command that the text never closes is dropped whole, not run on what it holds.
        if (!closed) {
            Note("skipped unclosed " + token);
            continue;
        }
        const auto items = uMisc::SplitString(",", CommandBody(token), false, false, 0);
        const int32_t key = items->Count() > 0 ? uMisc::StrToKey4(ClassLib::LowerAscii((*items)[0])) : 0;
        if (key == Word("rb") && items->Count() >= 3 && !(IgnoreMask & kIgnoreRuby)) {
            Note("command " + token);
            if (!DrawRuby((*items)[1], (*items)[2])) MainPos = savedMain, InsertPos = savedInsert;
            return false;
        }
        RunCommand(*items, token);
    }
}

void TMessageText::Flush() {
    const uint8_t saved = Instant;
    Instant = 1;
    int32_t steps = 0;
    do {
        WaitLeft = 0;
        Step(true);
    } while (State != TMessageState::Done && ++steps < kFlushSteps);
    Instant = saved;
}

void TMessageText::ClearText() {
    Flush();
    FillEmpty();
    TextBitmap.Changed();
    MainText.clear();
    LogCopy.clear();
    MainPos = 0;
    InsertString.clear();
    InsertPos = 0;
    WidthLimit = AdvanceSinceLimit = TallestOnLine = 0;
    LineNumber = 0;
    LineHasGlyph = false;
    PendingHang = TGlyphHang::None;
    Note("clear");

    const uint32_t savedMask = IgnoreMask;
    IgnoreMask = 0;
    if (Vertical)
        SetPos(Sat(int64_t{AreaWidth()} - SizeH - PitchY), Margin);
    else
        SetPos(Margin, std::max(0, PitchY));
    SetSpeed(Speed);
    SetFont(Font);
    SetColor(Color);
    // The size before the pitch: in vertical writing a pitch keeps the first column clear of the
    // right edge by the glyph size, and a replay must find the size of the page, not whatever the
    // window had before.
    SetSize(SizeW, SizeH);
    SetPitch(PitchX, PitchY);
    SetRubyFont(RubyFont);
    SetRubyColor(RubyColor);
    SetRubyPitch(RubyPitchX, RubyPitchY);
    SetRubySize(RubySizeW, RubySizeH);
    SetRubyPos(RubyOffsetX, RubyOffsetY);
    Flush();
    IgnoreMask = savedMask;

    InkMinX = InkMinY = 1000;
    InkMaxX = InkMaxY = 0;
    GlyphsOnLine = HangCount = 0;
}

void TMessageText::ReplayText(const std::string& text, int32_t position) {
    ClearText();
    MainText = text;
    MainPos = 0;
    const size_t target = static_cast<size_t>(std::clamp<int64_t>(position, 0, static_cast<int64_t>(text.size())));
    const uint8_t saved = Instant;
    Instant = 1;
    ReplayStop = static_cast<int64_t>(target);
    const int64_t cap = 3 * static_cast<int64_t>(text.size()) + 16;
    for (int64_t n = 0; n < cap && (static_cast<size_t>(MainPos) < target || HasInsertText()); ++n) {
        WaitLeft = 0;
        if (Step(true)) break;
    }
    ReplayStop = -1;
    Instant = saved;
}

void TMessageText::ResetTypesetting() {
    State = TMessageState::Printing;
    Vertical = 0;
    PenX = PenY = 0;
    SizeW = SizeH = PrevSizeW = PrevSizeH = 32;
    Color = PrevColor = 0xFFFFFFFFu;
    Font = PrevFont = 0;
    PitchX = PitchY = 0;  // the previous pitch is kept
    WaitLeft = 0;
    AutoScroll = 0;
    Margin = 0;
    HangingSet = kDefaultHangingSet;
    RubySizeW = RubySizeH = 12;
    RubyColor = PrevRubyColor = 0xFFFFFFFFu;
    RubyFont = 7;
    RubyPitchX = RubyPitchY = 0;
    RubyOffsetX = 0;
    RubyOffsetY = -8;
    Speed = -1;
    MainText.clear();
    LogCopy.clear();
    InsertString.clear();
    MainPos = InsertPos = 0;
    AreaLeft = AreaTop = AreaRight = AreaBottom = 0;
}

// ---- Commands

void TMessageText::RunCommand(const TStringList& items, const std::string& token) {
    const int32_t count = items.Count();
    const int32_t key = count > 0 ? uMisc::StrToKey4(ClassLib::LowerAscii(items[0])) : 0;
    uint32_t group = 0;
    switch (key) {
        case Word("n"):
        case Word("np"):
            group = kIgnoreNewLine;
            break;
        case Word("nn"):
        case Word("nnp"):
            group = kIgnoreNewLineColumn0;
            break;
        case Word("pi"):
        case Word("pip"):
            group = kIgnorePitch;
            break;
        case Word("c"):
            group = kIgnoreColor;
            break;
        case Word("s"):
        case Word("sp"):
            group = kIgnoreSize;
            break;
        case Word("p"):
        case Word("pp"):
            group = kIgnorePosition;
            break;
        case Word("f"):
            group = kIgnoreFont;
            break;
        case Word("w"):
            group = kIgnoreWait;
            break;
        case Word("spd"):
            group = kIgnoreSpeed;
            break;
        case Word("rpi"):
            group = kIgnoreRubyPitch;
            break;
        case Word("rs"):
            group = kIgnoreRubySize;
            break;
        case Word("rb"):
            group = kIgnoreRuby;
            break;
        case Word("rp"):
            group = kIgnoreRubyPosition;
            break;
        case Word("rf"):
            group = kIgnoreRubyFont;
            break;
        case Word("rc"):
            group = kIgnoreRubyColor;
            break;
        case Word("i"):
        case Word("ip"):
            group = kIgnoreIndent;
            break;
        case Word("pc"):
            group = kIgnoreCentre;
            break;
        case Word("pr"):
            group = kIgnoreRight;
            break;
        case Word("lim"):
            group = kIgnoreLimit;
            break;
        default:
            Note("skipped unknown " + token);
            return;
    }
    if (IgnoreMask & group) {
        Note("skipped ignored " + token);
        return;
    }
    Note("command " + token);
    // Long forms need the command word and one or two arguments; with fewer, the short form runs.
    const bool one = count >= 2, two = count >= 3;
    const bool horizontal = Vertical == 0;
    const auto percent = [](int64_t value, int32_t pct) { return Sat(value * pct / 100); };
    const auto setPen = [&](int64_t x, int64_t y) {
        PenX = static_cast<int32_t>(std::clamp<int64_t>(x, 0, AreaWidth()));
        PenY = static_cast<int32_t>(std::clamp<int64_t>(y, 0, AreaHeight()));
    };
    switch (key) {
        case Word("n"):
            NewLine(one ? IntArg(items, 1, 0) : 0);
            break;
        case Word("np"):
            NewLine(one ? percent(int64_t{SizeH} + PitchY, IntArg(items, 1, 100)) : 0);
            break;
        case Word("nn"):
            NewLineToColumn0(one ? IntArg(items, 1, 0) : 0);
            break;
        case Word("nnp"):
            NewLineToColumn0(one ? percent(int64_t{SizeH} + PitchY, IntArg(items, 1, 0)) : 0);
            break;
        case Word("pi"):
            if (two)
                ApplyPitch(IntArg(items, 1, 32), IntArg(items, 2, 32));
            else
                ApplyPitch(PrevPitchX, PrevPitchY);
            break;
        case Word("pip"):
            if (two)
                ApplyPitch(percent(PitchX, IntArg(items, 1, 32)), percent(PitchY, IntArg(items, 2, 32)));
            else
                ApplyPitch(PrevPitchX, PrevPitchY);
            break;
        case Word("c"): {
            const uint32_t next = one ? ColorArg(items, 1, 0xFFFFFFFFu) : PrevColor;
            PrevColor = Color;
            Color = next;
            break;
        }
        case Word("s"):
        case Word("sp"): {
            int32_t w = PrevSizeW, h = PrevSizeH;
            if (two && key == Word("s")) {
                w = IntArg(items, 1, 32);
                h = IntArg(items, 2, 32);
            } else if (two) {
                w = percent(SizeW, IntArg(items, 1, 100));
                h = percent(SizeH, IntArg(items, 2, 100));
            }
            PrevSizeW = SizeW, PrevSizeH = SizeH;
            SizeW = w, SizeH = h;
            break;
        }
        case Word("p"):
            if (two)
                setPen(IntArg(items, 1, 0), IntArg(items, 2, 0)), HangCount = 0;
            else
                setPen(0, 0);
            break;
        case Word("pp"):
            if (two)
                setPen(percent(AreaWidth(), IntArg(items, 1, 0)), percent(AreaHeight(), IntArg(items, 2, 0)));
            else
                setPen(0, 0);
            break;
        case Word("f"): {
            const int32_t next = one ? IntArg(items, 1, 0) : PrevFont;
            if (next >= 0 && next <= 7) PrevFont = Font, Font = next;
            break;
        }
        case Word("w"):
            if (!Instant) {
                State = TMessageState::Printing;
                WaitLeft = one ? IntArg(items, 1, 100) : 100;
                Note("wait " + std::to_string(WaitLeft));
            }
            break;
        case Word("spd"):
            Speed = one ? IntArg(items, 1, -1) : -1;
            break;
        case Word("rpi"):
            RubyPitchX = two ? IntArg(items, 1, 0) : 0;
            RubyPitchY = two ? IntArg(items, 2, 0) : 0;
            break;
        case Word("rs"):
            RubySizeW = two ? IntArg(items, 1, 32) : 12;
            RubySizeH = two ? IntArg(items, 2, 32) : 12;
            break;
        case Word("rp"):
            RubyOffsetX = two ? IntArg(items, 1, 0) : 0;
            RubyOffsetY = two ? IntArg(items, 2, 0) : -12;
            break;
        case Word("rf"):
            RubyFont = one ? IntArg(items, 1, 0) : 7;
            break;
        case Word("rc"):
            PrevRubyColor = RubyColor;
            RubyColor = one ? ColorArg(items, 1, 0xFFFFFFFFu) : 0xFFFFFFFFu;
            break;
        case Word("i"):
        case Word("ip"):
            if (one) {
                const int32_t by =
                    key == Word("i") ? IntArg(items, 1, 0) : percent(int64_t{SizeW} + PitchX, IntArg(items, 1, 100));
                if (horizontal)
                    PenX = Sat(int64_t{PenX} + by);
                else
                    PenY = Sat(int64_t{PenY} + by);
                PenX = std::max(PenX, 0);
                PenY = std::max(PenY, 0);
            }
            break;
        case Word("pc"):
        case Word("pr"):
            if (one) {
                const int64_t extent = horizontal ? AreaWidth() : AreaHeight();
                const int64_t width = TextWidth(items[1]);
                const int32_t at =
                    Sat(std::max<int64_t>(0, key == Word("pc") ? (extent - width) / 2 : extent - width - SizeW));
                (horizontal ? PenX : PenY) = at;
                InsertText(items[1]);
            }
            break;
        case Word("lim"):
            if (one) {
                WidthLimit = IntArg(items, 1, 0);
                AdvanceSinceLimit = 0;
            }
            break;
        default:
            break;  // "rb" with too few items
    }
}

// ---- Layout

void TMessageText::ApplyLineIndent(std::string_view character) {
    if (GlyphsOnLine != 0 || uMisc::SJISPos(character, HangingSet) == 0) return;
    ++GlyphsOnLine;
    int32_t& lineStart = Vertical ? PenY : PenX;
    lineStart = std::max(0, Sat(int64_t{lineStart} - Margin));
    PendingHang = TGlyphHang::IntoMargin;
}

bool TMessageText::DrawGlyph(const std::string& character) {
    if (AreaEmpty()) return true;
    if (WidthLimit != 0 && WidthLimit < int64_t{AdvanceSinceLimit} + (int64_t{SizeW} + PitchX) * 3 / 2) {
        Note("dropped past the limit " + character);
        return true;
    }
    if (WaitLeft > 0) return false;
    if (CheckLineBreak(character) || CheckPageFull()) return false;

    const int32_t cellW = Vertical ? SizeH : SizeW, cellH = Vertical ? SizeW : SizeH;
    int32_t ew = 0, eh = 0;
    if (Fonts) TextBitmap.TextOut(*Fonts, PenX, PenY, character, cellW, cellH, Color, Font, Vertical != 0, ew, eh);
    GrowInk(PenX, PenY, ew, eh);
    TextBitmap.Changed();
    if (Observer) Observer->GlyphPlaced(Placed(character, PenX, PenY, ew, eh, Font, cellW, cellH, Color, false));
    PendingHang = TGlyphHang::None;
    LineHasGlyph = true;
    ++GlyphsOnLine;
    const int64_t advance = int64_t{Vertical ? eh : ew} + PitchX;
    (Vertical ? PenY : PenX) = Sat((Vertical ? PenY : PenX) + advance);
    AdvanceSinceLimit = Sat(AdvanceSinceLimit + advance);
    TallestOnLine = std::max(TallestOnLine, SizeH);
    OnCharacterDrawn();
    return true;
}

bool TMessageText::CheckLineBreak(std::string_view text) {
    if (text.empty() || AreaEmpty()) return false;
    // Nothing on the line yet: breaking would only move the same character to another empty line.
    if (!LineHasGlyph) return false;
    const int64_t extent = Vertical ? AreaHeight() : AreaWidth();
    const int64_t pos = Vertical ? PenY : PenX;
    const int64_t unit = int64_t{SizeW} + PitchX;
    // limit = (L + 2) / 2 units past the pen, rounded half to even.
    const int64_t twice = (static_cast<int64_t>(text.size()) + 2) * unit + 2 * pos;
    int64_t limit = twice >= 0 ? twice / 2 : -((-twice + 1) / 2);  // floor
    if ((twice & 1) && (limit & 1)) ++limit;
    if (extent <= limit && uMisc::IsLineEndForbidden(text)) {
        NewLine(0);
        return true;
    }
    if (extent > limit) return false;
    const bool space = text == " " || text == "\x81\x40";
    if (!space && (!uMisc::IsLineStartForbidden(text) || HangCount > 0)) {
        NewLine(0);
        return true;
    }
    ++HangCount;
    PendingHang = TGlyphHang::PastLineEnd;
    return false;
}

bool TMessageText::CheckPageFull() {
    if (!PageCheck || AreaEmpty()) return false;
    // Horizontal lines stack downwards: full when the line would pass the bottom. Vertical
    // columns stack leftwards: full when the column would pass the left edge.
    const bool full = Vertical ? PenX < 0 : int64_t{AreaHeight()} < int64_t{PenY} + SizeH;
    if (!full) return false;
    if (Instant || AutoScroll) {
        State = TMessageState::Printing;
        ScrollLine();
        return true;
    }
    State = TMessageState::PageFull;
    Note("page full");
    OnPageFull();
    return true;
}

void TMessageText::NewLine(int32_t step) {
    TallestOnLine = std::max(TallestOnLine, SizeH);
    const int64_t by = step >= 1 ? step : int64_t{TallestOnLine} + PitchY;
    if (Vertical) {
        PenX = Sat(PenX - by);
        PenY = Margin;
    } else {
        PenX = Margin;
        PenY = Sat(PenY + by);
    }
    GlyphsOnLine = TallestOnLine = HangCount = 0;
    LineHasGlyph = false;
    PendingHang = TGlyphHang::None;
    ++LineNumber;
    Note("new line " + std::to_string(PenX) + "," + std::to_string(PenY));
}

void TMessageText::NewLineToColumn0(int32_t step) {
    NewLine(step);
    (Vertical ? PenY : PenX) = 0;
}

void TMessageText::ScrollLine() {
    // A line's step is at least a pixel, so that repeated scrolls always make room.
    const int64_t line = std::max<int64_t>(1, int64_t{SizeH} + PitchY);
    // A pen more than a page past the edge (a huge "[n,...]" step) would take one scroll per line
    // to come back, thousands of blank pages. Beyond a page every row is cleared anyway, so it
    // moves by the whole lines it needs at once and lands where single scrolls would leave it.
    const auto lines = [&](int64_t over, int64_t extent) {
        return over > extent ? (over + line - 1) / line * line : line;
    };
    int64_t shift = 0;  // towards the top (horizontal) or the right (vertical)
    if (Vertical) {
        const int64_t extent = AreaWidth(), last = extent - SizeH;
        if (PenX < 0)
            shift = lines(-int64_t{PenX}, extent);
        else if (PenX > last)
            shift = -lines(PenX - last, extent);
        PenY = Margin;
        PenX = Sat(PenX + shift);
    } else {
        const int64_t extent = AreaHeight(), last = extent - SizeH;
        if (PenY > last)
            shift = lines(PenY - last, extent);
        else if (PenY < 0)
            shift = -lines(-int64_t{PenY}, extent);
        PenX = Margin;
        PenY = Sat(PenY - shift);
    }
    if (shift != 0) {
        TBitmap32* bitmap = TextBitmap.Active;
        const int64_t w = bitmap ? bitmap->Width : 0, h = bitmap ? bitmap->Height : 0;
        if (Vertical) {
            // Columns move right by the shift; the columns uncovered on the left become empty.
            for (int64_t y = 0; y < h; ++y) {
                uint32_t* row = bitmap->ScanLine(static_cast<int32_t>(y));
                if (shift >= w || -shift >= w) {
                    std::fill(row, row + w, kEmptyColor);
                } else if (shift > 0) {
                    std::copy_backward(row, row + w - shift, row + w);
                    std::fill(row, row + shift, kEmptyColor);
                } else {
                    std::copy(row - shift, row + w, row);
                    std::fill(row + w + shift, row + w, kEmptyColor);
                }
            }
            InkMinX = Sat(std::max<int64_t>(0, InkMinX + shift));
            InkMaxX = Sat(std::min<int64_t>(AreaWidth(), InkMaxX + shift));
        } else {
            // Rows move up by the shift; the rows uncovered at the bottom become empty.
            for (int64_t y = 0; y < h; ++y) {
                const int64_t from = shift > 0 ? y : h - 1 - y;  // never read a row already written
                const int64_t source = from + shift;
                uint32_t* row = bitmap->ScanLine(static_cast<int32_t>(from));
                if (source >= 0 && source < h)
                    std::copy_n(bitmap->ScanLine(static_cast<int32_t>(source)), w, row);
                else
                    std::fill(row, row + w, kEmptyColor);
            }
            InkMinY = Sat(std::max<int64_t>(0, InkMinY - shift));
            InkMaxY = Sat(std::min<int64_t>(AreaHeight(), InkMaxY - shift));
        }
        TextBitmap.Changed();
    }
    State = TMessageState::Printing;
    Note("scroll " + std::to_string(shift) + " to " + std::to_string(PenX) + "," + std::to_string(PenY));
}

void TMessageText::ApplyPitch(int32_t x, int32_t y) {
    PrevPitchX = PitchX, PrevPitchY = PitchY;
    PitchX = x, PitchY = y;
    if (!Vertical) {
        // Room for the line pitch stays above the first line.
        if (y > PenY) PenY = y;
    } else {
        // The first column keeps its size and the line pitch from the right edge.
        const int32_t first = Sat(int64_t{AreaWidth()} - SizeH - y);
        if (PenX > first) PenX = first;
    }
}

bool TMessageText::DrawRuby(const std::string& base, const std::string& ruby) {
    if (AreaEmpty()) return true;
    if (!base.empty() && !ruby.empty()) {
        if (WidthLimit != 0 && WidthLimit < int64_t{AdvanceSinceLimit} + SizeW) {
            Note("dropped past the limit " + base);
            return true;
        }
        int64_t x = 0, y = 0, gap = RubyPitchX;
        if (!Vertical) {
            x = int64_t{PenX} + RubyOffsetX;
            y = int64_t{PenY} + RubyOffsetY;
            const int64_t bw = StringWidth(base, SizeW, PitchX), rw = StringWidth(ruby, RubySizeW, RubyPitchX);
            if (rw > bw) {
                x += (bw - rw) / 2;  // centred over the base
            } else {
                // Spread evenly over the base.
                const int64_t n = uMisc::SJISLength(ruby);
                gap = (bw - int64_t{RubySizeW} * n) / (n + 1);
                x += gap;
            }
            x = std::max<int64_t>(0, x);
        } else {
            x = int64_t{PenX} + RubyOffsetY;
            const int64_t baseRun = static_cast<int64_t>(base.size()) * (int64_t{SizeW} + PitchX) / 2;
            const int64_t rubyRun = (static_cast<int64_t>(ruby.size()) - 1) * (int64_t{RubySizeW} + RubyPitchX) / 2;
            y = std::max<int64_t>(0, int64_t{PenY} + RubyOffsetX + (baseRun - rubyRun) / 2);
        }
        if (CheckLineBreak(base) || CheckPageFull()) return false;
        const int32_t cellW = Vertical ? RubySizeH : RubySizeW, cellH = Vertical ? RubySizeW : RubySizeH;
        for (size_t i = 0; i < ruby.size();) {
            const size_t n = CharLength(ruby, i);
            const std::string character = ruby.substr(i, n);
            i += n;
            int32_t ew = 0, eh = 0;
            if (Fonts)
                TextBitmap.TextOut(*Fonts, Sat(x), Sat(y), character, cellW, cellH, RubyColor, RubyFont, Vertical != 0,
                                   ew, eh);
            GrowInk(x, y, ew, eh);
            if (Observer)
                Observer->GlyphPlaced(
                    Placed(character, Sat(x), Sat(y), ew, eh, RubyFont, cellW, cellH, RubyColor, true));
            if (Vertical)
                y = std::clamp<int64_t>(y + eh + gap, INT32_MIN, INT32_MAX);
            else
                x = std::clamp<int64_t>(x + ew + gap, INT32_MIN, INT32_MAX);
        }
        TextBitmap.Changed();
    }
    InsertText(base);
    return true;
}

TPlacedGlyph TMessageText::Placed(const std::string& character, int32_t x, int32_t y, int32_t ew, int32_t eh,
                                  int32_t font, int32_t w, int32_t h, uint32_t color, bool ruby) const {
    TPlacedGlyph g;
    g.Text = character;
    g.X = x, g.Y = y;
    g.ExtentWidth = ew, g.ExtentHeight = eh;
    g.Font = font;
    g.Width = w, g.Height = h;
    g.Color = color;
    g.Line = LineNumber;
    g.Hang = ruby ? TGlyphHang::None : PendingHang;
    g.Ruby = ruby;
    return g;
}

void TMessageText::GrowInk(int64_t x, int64_t y, int64_t w, int64_t h) {
    InkMinX = Sat(std::max<int64_t>(0, std::min<int64_t>(InkMinX, x)));
    InkMinY = Sat(std::max<int64_t>(0, std::min<int64_t>(InkMinY, y)));
    InkMaxX = Sat(std::min<int64_t>(AreaWidth(), std::max<int64_t>(InkMaxX, x + w + 2)));
    InkMaxY = Sat(std::min<int64_t>(AreaHeight(), std::max<int64_t>(InkMaxY, y + h + 2)));
}

void TMessageText::FillEmpty() {
    if (TextBitmap.Active) std::fill(TextBitmap.Active->Pixels.begin(), TextBitmap.Active->Pixels.end(), kEmptyColor);
}

// ---- Saved texts

void TMessageText::WriteTexts(TStream& stream) const {
    const auto warn = [this](const std::string& which, size_t size) {
        if (WarningLog)
            WarningLog->WriteErrorLog("[WARNING]:メッセージの"_sj + which + "が"_sj + std::to_string(size) +
                                      "バイトあり、セーブには先頭の"_sj + std::to_string(kMaxSavedText) +
                                      "バイトしか残りません"_sj);
    };
    if (MainText.size() > kMaxSavedText) warn("本文"_sj, MainText.size());
    if (LogCopy.size() > kMaxSavedText) warn("ログ"_sj, LogCopy.size());
    // Cut here: the stream string alone would keep only the length modulo 65536.
    uMisc::WriteStreamString(&stream, std::string_view(MainText).substr(0, kMaxSavedText));
    uMisc::WriteStreamString(&stream, std::string_view(LogCopy).substr(0, kMaxSavedText));
}

bool TMessageText::ReadTexts(TStream& stream, std::string& mainText, std::string& logCopy) {
    return uMisc::ReadStreamString(&stream, mainText) && uMisc::ReadStreamString(&stream, logCopy);
}

// ---- The window

namespace {

class TStreamVoices final : public IMessageVoice {
public:
    explicit TStreamVoices(TSSound& streams) : Streams(streams) {}
    void Stop(int32_t stream) override { Streams.Stop(stream); }
    bool LoadVoice(int32_t stream, const std::string& file, uint32_t speakerChannel) override {
        return Streams.LoadVoice(stream, file, speakerChannel);
    }
    void SetVolume(int32_t stream, int32_t volume, int32_t fadeMs) override {
        Streams.SetVolume(stream, volume, fadeMs);
    }
    void SeekMs(int32_t stream, int32_t ms) override { Streams.SeekMs(stream, ms); }
    void SkipSilence(int32_t stream, int32_t level) override { Streams.SkipSilence(stream, level); }
    void SetAutoGain(int32_t stream, int32_t level) override { Streams.SetAutoGain(stream, level); }
    void PlayOnce(int32_t stream) override { Streams.Play(stream, false); }
    void FadeOutVoices(uint32_t speakerChannel, int32_t fadeMs) override {
        Streams.FadeOutVoices(speakerChannel, fadeMs);
    }

private:
    TSSound& Streams;
};

int32_t TextAlphaOf(int64_t alpha) {
    return static_cast<int32_t>(std::clamp<int64_t>(alpha, 0, kOpaqueText));
}

std::string CutName(std::string_view text) {
    return std::string(text.substr(0, static_cast<size_t>(TMessageRecord::kNameCapacity)));
}

void AddToAutoModeWait(int32_t* wait, int64_t ms) {
    if (wait) *wait = Sat(int64_t{*wait} + ms);
}

int32_t VoiceChannelOf(const TSystemData* config, std::string_view speaker) {
    return config ? KelLogdataLib::VoiceChannelOfName(*config, speaker) : kVoiceChannelCount - 1;
}

}  // namespace

std::unique_ptr<IMessageVoice> MessageLib::StreamVoices(TSound* sound) {
    if (!sound || !sound->SSound) return nullptr;
    return std::make_unique<TStreamVoices>(*sound->SSound);
}

void TMessageRecord::Write(TRecordWriter& w) const {
    w.U8(State);
    w.U8(Vertical);
    for (int32_t v : {Font, PrevFont, AreaLeft, AreaTop, AreaRight, AreaBottom, PenX, PenY, PitchX, PitchY, PrevPitchX,
                      PrevPitchY, SizeW, SizeH, PrevSizeW, PrevSizeH, MainPos})
        w.I32(v);
    w.U32(Color);
    w.U32(PrevColor);
    w.I32(RubySizeW);
    w.I32(RubySizeH);
    w.U32(RubyColor);
    w.U32(PrevRubyColor);
    for (int32_t v : {RubyFont, RubyPitchX, RubyPitchY, RubyOffsetX, RubyOffsetY, WaitLeft})
        w.I32(v);
    w.Short(SpeakerName, kNameCapacity);
    w.Short(VoiceFile, kNameCapacity);
    for (int32_t v :
         {VoiceVolume, VoiceSkipLevel, VoiceStart, VoiceAutoGain, TextAlpha, FadeRate, FadeMagnitude, Margin})
        w.I32(v);
    w.Short(HangingSet, kNameCapacity);
    w.I32(Speed);
    w.U8(AutoScroll);
    w.U8(AutoWait);
    w.Zero(kReservedSize);
}

void TMessageRecord::Read(TRecordReader& r) {
    State = r.U8();
    Vertical = r.U8();
    for (int32_t* v : {&Font, &PrevFont, &AreaLeft, &AreaTop, &AreaRight, &AreaBottom, &PenX, &PenY, &PitchX, &PitchY,
                       &PrevPitchX, &PrevPitchY, &SizeW, &SizeH, &PrevSizeW, &PrevSizeH, &MainPos})
        *v = r.I32();
    Color = r.U32();
    PrevColor = r.U32();
    RubySizeW = r.I32();
    RubySizeH = r.I32();
    RubyColor = r.U32();
    PrevRubyColor = r.U32();
    for (int32_t* v : {&RubyFont, &RubyPitchX, &RubyPitchY, &RubyOffsetX, &RubyOffsetY, &WaitLeft})
        *v = r.I32();
    SpeakerName = r.Short(kNameCapacity);
    VoiceFile = r.Short(kNameCapacity);
    for (int32_t* v :
         {&VoiceVolume, &VoiceSkipLevel, &VoiceStart, &VoiceAutoGain, &TextAlpha, &FadeRate, &FadeMagnitude, &Margin})
        *v = r.I32();
    HangingSet = r.Short(kNameCapacity);
    Speed = r.I32();
    AutoScroll = r.U8();
    AutoWait = r.U8();
    r.Skip(kReservedSize);
}

TMessageLib::TMessageLib(const TPackSet& packs, IAnimationSound* sound, std::unique_ptr<IMessageVoice> voices,
                         TKelLogData* log)
    : TImageLib(packs, sound), Log(log), Voices(std::move(voices)) {
    // The window's frame shows the text bitmap wherever it has a "*messurface" layer.
    Animation->SetMessageSurface(&TextBitmap);
    Animation->MessageSurfaceOn = true;
}

TMessageLib::~TMessageLib() = default;

// ---- The screen object's operations

void TMessageLib::Clear() {
    ClearText();
    TImageLib::Clear();
    ResetTypesetting();
    AutoWait = 0;
    SpeakerName.clear();
    VoiceFile.clear();
    VoiceVolume = 255;
    VoiceSkipLevel = VoiceStart = 0;
    RevealClock = 0;
    Hide();
}

void TMessageLib::Update(uint32_t /*mask*/, int32_t elapsed) {
    TImageLib::Update(0, elapsed);
    const int32_t ms = std::max(elapsed, 0);
    FadeBy(int64_t{std::min(ms, 1000)} * FadeRate / 1000);
    switch (State) {
        case TMessageState::Done:
            // Text appended without a state change is noticed here.
            Step(false);
            break;
        case TMessageState::Printing:
            // A running wait holds the clock, and the frame in which it ends reveals nothing.
            if (WaitLeft > 0) {
                WaitLeft = std::max(0, WaitLeft - ms);
                break;
            }
            RevealClock = Sat(int64_t{RevealClock} + ms);
            for (int32_t i = 0; i < kStepsPerUpdate; ++i) {
                const int32_t speed = GetEffectiveSpeed();
                if (speed > RevealClock) break;
                RevealClock -= speed;
                Step(false);
                if (State != TMessageState::Printing) {
                    RevealClock = 0;
                    break;
                }
            }
            break;
        case TMessageState::PageFull:
            break;
    }
    if (State == TMessageState::PageFull)
        SetMotion("*OnScroll", false);
    else if (ClassLib::LowerAscii(GetCurrentMotionName()) == "*onscroll")
        SetMotion("*OffScroll", true);
}

void TMessageLib::Draw(TARGB8888CellDraw* target, uint32_t mask, int32_t dx, int32_t dy) {
    TImageLib::Draw(target, mask, dx, dy);
    // A window with a picture shows its text through the picture's message layers.
    if (!target || (Record.DrawMask & mask) == 0 || !Record.Files[0].empty() || TextAlpha <= 0 || InkEmpty()) return;
    const auto x = static_cast<float>(int64_t{Record.X} + AreaLeft + InkMinX + dx);
    const auto y = static_cast<float>(int64_t{Record.Y} + AreaTop + InkMinY + dy);
    target->AddDraw(&TextBitmap, 0, x, y, static_cast<float>(InkMinX), static_cast<float>(InkMinY),
                    static_cast<float>(InkMaxX), static_cast<float>(InkMaxY),
                    static_cast<float>(int64_t{Record.Z} + 10), 0, static_cast<uint32_t>(TextAlpha * 255 / kOpaqueText),
                    0, 0xFFFFFF, bmBlend);
}

void TMessageLib::Show() {
    TImageLib::Show();
    FadeRate = FadeMagnitude;
    TextAlpha = kOpaqueText;
}

void TMessageLib::Hide() {
    TImageLib::Hide();
    FadeRate = -FadeMagnitude;
    TextAlpha = 0;
}

void TMessageLib::Enable() {
    FadeRate = FadeMagnitude;
    FadeBy(FadeMagnitude / 1000);
    TImageLib::Enable();
}

void TMessageLib::Disable() {
    TImageLib::Disable();
    FadeRate = -FadeMagnitude;
    FadeBy(FadeRate / 1000);
}

void TMessageLib::FadeBy(int64_t units) {
    TextAlpha = TextAlphaOf(TextAlpha + units);
}

bool TMessageLib::SaveToStream(TStream* stream) {
    if (!TImageLib::SaveToStream(stream)) return false;
    TRecordWriter w(TMessageRecord::kSize);
    MakeRecord().Write(w);
    w.WriteTo(*stream);
    WriteTexts(*stream);
    return true;
}

bool TMessageLib::LoadFromStream(TStream* stream) {
    if (!stream) return false;
    // Nothing of the page being replaced is typed by the clears on the way, and no voice fades.
    SuppressVoiceStop = 1;
    MainText.clear();
    LogCopy.clear();
    bool ok = TImageLib::LoadFromStream(stream);
    std::vector<uint8_t> bytes;
    TMessageRecord saved;
    std::string mainText, logCopy;
    if (ok) ok = ReadRecordBytes(*stream, TMessageRecord::kSize, bytes);
    if (ok) {
        TRecordReader reader(bytes);
        saved.Read(reader);
        ok = ReadTexts(*stream, mainText, logCopy);
    }
    if (ok)
        ApplyLoaded(saved, mainText, logCopy);
    else
        Clear();
    SuppressVoiceStop = 0;
    if (ok) Update(0xFFFFFFFFu, 1);
    return ok;
}

void TMessageLib::ApplyLoaded(const TMessageRecord& saved, const std::string& mainText, const std::string& logCopy) {
    // The style, the pen and the pixels come back by typing the page again; only what the text
    // does not say is taken from the record. The hanging set goes in before the replay, so that
    // the page breaks where it broke.
    SetTextRect(saved.AreaLeft, saved.AreaTop, saved.AreaRight, saved.AreaBottom);
    Margin = saved.Margin;
    Vertical = saved.Vertical ? 1 : 0;
    HangingSet = saved.HangingSet;
    AutoScroll = saved.AutoScroll ? 1 : 0;
    ReplayText(mainText, saved.MainPos);
    // A page was found full by steps that read nothing (the line break before the character that
    // did not fit, then the test of the page); taking them again puts the pen where it stood.
    if (saved.State == static_cast<uint8_t>(TMessageState::PageFull))
        for (int i = 0; i < 2 && State != TMessageState::PageFull; ++i)
            Step(false);
    // What the text cannot say: the values the short forms of "f", "s", "c", "pi" and "rc" go
    // back to, and a wait that was running.
    PrevFont = saved.PrevFont;
    PrevSizeW = saved.PrevSizeW, PrevSizeH = saved.PrevSizeH;
    PrevColor = saved.PrevColor;
    PrevPitchX = saved.PrevPitchX, PrevPitchY = saved.PrevPitchY;
    PrevRubyColor = saved.PrevRubyColor;
    WaitLeft = std::max(saved.WaitLeft, 0);

    SpeakerName = saved.SpeakerName;
    VoiceFile = saved.VoiceFile;
    SetVoiceVolume(saved.VoiceVolume);
    VoiceSkipLevel = saved.VoiceSkipLevel;
    VoiceStart = saved.VoiceStart;
    VoiceAutoGain = saved.VoiceAutoGain;
    AutoWait = saved.AutoWait ? 1 : 0;
    LogCopy = logCopy;
    FadeMagnitude = std::clamp(saved.FadeMagnitude, 0, kInstantFadeRate);
    FadeRate = saved.FadeRate;
    TextAlpha = TextAlphaOf(saved.TextAlpha);
    State = saved.State <= static_cast<uint8_t>(TMessageState::PageFull) ? static_cast<TMessageState>(saved.State)
                                                                         : TMessageState::Printing;
}

TMessageRecord TMessageLib::MakeRecord() const {
    TMessageRecord r;
    r.State = static_cast<uint8_t>(State);
    r.Vertical = Vertical;
    r.Font = Font, r.PrevFont = PrevFont;
    r.AreaLeft = AreaLeft, r.AreaTop = AreaTop, r.AreaRight = AreaRight, r.AreaBottom = AreaBottom;
    r.PenX = PenX, r.PenY = PenY;
    r.PitchX = PitchX, r.PitchY = PitchY, r.PrevPitchX = PrevPitchX, r.PrevPitchY = PrevPitchY;
    r.SizeW = SizeW, r.SizeH = SizeH, r.PrevSizeW = PrevSizeW, r.PrevSizeH = PrevSizeH;
    r.MainPos = MainPos;
    r.Color = Color, r.PrevColor = PrevColor;
    r.RubySizeW = RubySizeW, r.RubySizeH = RubySizeH;
    r.RubyColor = RubyColor, r.PrevRubyColor = PrevRubyColor;
    r.RubyFont = RubyFont;
    r.RubyPitchX = RubyPitchX, r.RubyPitchY = RubyPitchY;
    r.RubyOffsetX = RubyOffsetX, r.RubyOffsetY = RubyOffsetY;
    r.WaitLeft = WaitLeft;
    r.SpeakerName = CutName(SpeakerName);
    r.VoiceFile = CutName(VoiceFile);
    r.VoiceVolume = VoiceVolume, r.VoiceSkipLevel = VoiceSkipLevel, r.VoiceStart = VoiceStart;
    r.VoiceAutoGain = VoiceAutoGain;
    r.TextAlpha = TextAlpha, r.FadeRate = FadeRate, r.FadeMagnitude = FadeMagnitude;
    r.Margin = Margin;
    r.HangingSet = CutName(HangingSet);
    r.Speed = Speed;
    r.AutoScroll = AutoScroll;
    r.AutoWait = AutoWait;
    return r;
}

// ---- Text

void TMessageLib::AddText(std::string_view text) {
    // Opened again, so that a text faded out by a close comes back with the new words.
    if (IsEnabled()) Enable();
    AppendText(CrLfToTags(text));
    if (GetEffectiveSpeed() == 0) Flush();
}

void TMessageLib::ClearText() {
    TMessageText::ClearText();
    VoiceFile.clear();
    if (!SuppressVoiceStop && Voices)
        Voices->FadeOutVoices(static_cast<uint32_t>(VoiceChannelOf(Config, SpeakerName)), kVoiceFadeMs);
    TextAlpha = 0;
    FadeRate = -FadeMagnitude;
}

void TMessageLib::Flush() {
    TMessageText::Flush();
    RevealClock = 0;
}

void TMessageLib::Advance(uint32_t mask) {
    if ((Record.InputMask & mask) == 0) return;
    if (State == TMessageState::Printing) {
        Flush();
        FadeRate = FadeMagnitude;
        TextAlpha = kOpaqueText;
    } else if (State == TMessageState::PageFull) {
        ScrollLine();
    }
}

int32_t TMessageLib::GetEffectiveSpeed() const {
    const int32_t speed = Speed >= 0 ? Speed : UseConfigSpeed && Config ? Config->MessageSpeed : OwnSpeed;
    return std::max(speed, 0);
}

void TMessageLib::AddToLog() {
    if (Log && HasPendingText())
        Log->Add(LogCopy, SpeakerName, VoiceFile, VoiceStart, VoiceSkipLevel, VoiceVolume, VoiceAutoGain);
    LogCopy.clear();
}

// ---- Options

void TMessageLib::SetFadeTime(int32_t ms) {
    FadeMagnitude = ms < 1 ? kInstantFadeRate : kInstantFadeRate / ms;
}

void TMessageLib::SetHangingSet(std::string_view characters) {
    HangingSet = CutName(characters);
}

void TMessageLib::SetSpeakerName(std::string_view name) {
    SpeakerName = CutName(name);
}

// ---- Voice

bool TMessageLib::PlayVoice(const std::string& file, bool play) {
    if (file.empty()) {
        VoiceFile.clear();
        return true;
    }
    const std::string resolved = Packs().ResolveFileName(file);
    if (resolved.empty()) {
        VoiceFile = CutName(file);
        return false;
    }
    VoiceFile = CutName(resolved);
    if (!Voices) return true;
    const int32_t channel = VoiceChannelOf(Config, SpeakerName);
    const int32_t stream = Record.SoundChannel;
    Voices->Stop(stream);
    const auto k = static_cast<size_t>(channel);
    if ((Config && (Config->ActorMute[k] == 1 || Config->Skipping)) || !play) return true;
    if (!Voices->LoadVoice(stream, resolved, static_cast<uint32_t>(channel))) return false;
    const int64_t actorVolume = Config ? Config->ActorVolume[k] : 255;
    Voices->SetVolume(stream, Sat(actorVolume * VoiceVolume / 255), 0);
    if (VoiceStart > 0) Voices->SeekMs(stream, VoiceStart);
    if (VoiceSkipLevel > 0) Voices->SkipSilence(stream, VoiceSkipLevel);
    Voices->SetAutoGain(stream, VoiceAutoGain);
    Voices->PlayOnce(stream);
    return true;
}

// ---- Auto mode

void TMessageLib::OnCharacterDrawn() {
    if (AutoWait && Config) AddToAutoModeWait(AutoModeWait, std::max(Config->AutoPlayWaitTime, Config->MessageSpeed));
}

void TMessageLib::OnPageFull() {
    if (AutoWait && Config) AddToAutoModeWait(AutoModeWait, Config->AutoPlayClickTime);
}
