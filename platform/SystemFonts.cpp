#include "platform/SystemFonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <array>
#include <map>
#include <unordered_map>

#include "platform/Encoding.h"

namespace SystemFonts {

namespace {

// A character the converter could not place comes back as U+FFFD; anything that is not exactly
// one character stands for none.
uint32_t SingleCharacter(const std::string& utf8) {
    if (utf8.empty()) return 0;
    FcChar32 c = 0;
    const int used = FcUtf8ToUcs4(reinterpret_cast<const FcChar8*>(utf8.data()), &c, static_cast<int>(utf8.size()));
    if (used <= 0 || static_cast<size_t>(used) != utf8.size() || c == 0xFFFD) return 0;
    return c;
}

bool IsLeadByte(uint32_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool IsTrailByte(uint32_t b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

}  // namespace

uint32_t UnicodeOf(uint16_t code) {
    static const std::vector<uint32_t> table = [] {
        std::vector<uint32_t> t(0x10000, 0);
        for (uint32_t b = 1; b < 0x100; ++b) {
            if (IsLeadByte(b)) continue;
            const char one = static_cast<char>(b);
            t[b] = SingleCharacter(Encoding::SjisToUtf8(std::string_view(&one, 1)));
        }
        for (uint32_t lead = 0x81; lead <= 0xFC; ++lead) {
            if (!IsLeadByte(lead)) continue;
            for (uint32_t trail = 0x40; trail <= 0xFC; ++trail) {
                if (!IsTrailByte(trail)) continue;
                const char two[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                t[lead << 8 | trail] = SingleCharacter(Encoding::SjisToUtf8(std::string_view(two, 2)));
            }
        }
        return t;
    }();
    return table[code];
}

}  // namespace SystemFonts

namespace {

// The standard Windows faces of Japanese games and the installed faces that stand in for them:
// the full-width spellings the Japanese system uses and the ASCII spellings.
struct TFaceAlias {
    const char* Name;    // UTF-8
    const char* Family;  // the installed family
};
constexpr TFaceAlias kAliases[] = {
    {"ＭＳ ゴシック", "IPAGothic"}, {"MS Gothic", "IPAGothic"},        {"ＭＳ 明朝", "IPAMincho"},
    {"MS Mincho", "IPAMincho"},     {"ＭＳ Ｐゴシック", "IPAPGothic"}, {"MS PGothic", "IPAPGothic"},
    {"ＭＳ Ｐ明朝", "IPAPMincho"},  {"MS PMincho", "IPAPMincho"},
};
constexpr const char* kGothicFamily = "IPAGothic";

// Family names compare as fontconfig compares them: ASCII case and blanks do not count.
std::string FamilyKey(const std::string& name) {
    std::string k;
    for (char c : name) {
        if (c == ' ') continue;
        k.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
    return k;
}

std::string FreeTypeError(const char* what, FT_Error e) {
    const char* text = FT_Error_String(e);
    return std::string(what) + ": " + (text ? text : "FreeType error " + std::to_string(e));
}

}  // namespace

struct TFreeTypeFonts::TImpl {
    // An opened face with the metrics the sizes are computed from.
    struct TFace {
        FT_Face Face = nullptr;
        int32_t CellUnits = 0;  // ascent + descent of the Windows metrics, in font units
        int32_t AscentUnits = 0;
        FT_F26Dot6 SizeX = -1, SizeY = -1;  // the size last set, so that it is set only on change
    };

    ~TImpl() {
        for (auto& [key, face] : Faces)
            if (face.Face) FT_Done_Face(face.Face);
        if (Library) FT_Done_FreeType(Library);
    }

    // The face of a file; nullptr (with the reason kept) when FreeType cannot open it.
    TFace* Open(const std::string& file, int index) {
        const std::string key = file + "#" + std::to_string(index);
        auto it = Faces.find(key);
        if (it != Faces.end()) return it->second.Face ? &it->second : nullptr;
        TFace& f = Faces[key];
        if (!Library) return nullptr;
        if (FT_Error e = FT_New_Face(Library, file.c_str(), index, &f.Face)) {
            Error = FreeTypeError(("cannot open " + file).c_str(), e);
            f.Face = nullptr;
            return nullptr;
        }
        FT_Face face = f.Face;
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        if (os2 && os2->usWinAscent + os2->usWinDescent > 0) {
            f.AscentUnits = os2->usWinAscent;
            f.CellUnits = os2->usWinAscent + os2->usWinDescent;
        } else if (face->ascender - face->descender > 0) {
            f.AscentUnits = face->ascender;
            f.CellUnits = face->ascender - face->descender;
        } else {
            f.AscentUnits = face->units_per_EM;
            f.CellUnits = face->units_per_EM;
        }
        if (f.CellUnits <= 0) f.CellUnits = 1;
        return &f;
    }

    // The installed face of a family, only when fontconfig finds that very family (it answers
    // every question with some face, usually one without Japanese glyphs).
    TFace* Family(const std::string& family, bool anyJapanese) {
        if (!ConfigReady()) return nullptr;
        FcPattern* pattern = FcPatternCreate();
        if (!pattern) return nullptr;
        if (anyJapanese)
            FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
        else
            FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcPatternDestroy(pattern);
        if (!match) return nullptr;
        bool same = anyJapanese;
        FcChar8* name = nullptr;
        for (int i = 0; !same && FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i)
            same = FamilyKey(reinterpret_cast<const char*>(name)) == FamilyKey(family);
        if (anyJapanese) {
            FcLangSet* langs = nullptr;
            same = FcPatternGetLangSet(match, FC_LANG, 0, &langs) == FcResultMatch &&
                   FcLangSetHasLang(langs, reinterpret_cast<const FcChar8*>("ja")) == FcLangEqual;
        }
        FcChar8* file = nullptr;
        int index = 0;
        TFace* face = nullptr;
        if (same && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
            FcPatternGetInteger(match, FC_INDEX, 0, &index);
            face = Open(reinterpret_cast<const char*>(file), index);
        }
        FcPatternDestroy(match);
        return face;
    }

    // The gothic face every unknown name and every missing character falls back to; any face
    // that covers Japanese when the gothic one is not installed.
    TFace* Gothic() {
        if (!GothicResolved) {
            GothicResolved = true;
            GothicFace = Family(kGothicFamily, false);
            if (!GothicFace) GothicFace = Family("", true);
        }
        return GothicFace;
    }

    TFace* Resolve(const std::string& sjisName) {
        auto it = ByName.find(sjisName);
        if (it != ByName.end()) return it->second;
        std::string name = sjisName;
        if (!name.empty() && name[0] == '@') name.erase(0, 1);
        std::string family = Encoding::SjisToUtf8(name);
        for (const TFaceAlias& a : kAliases)
            if (FamilyKey(family) == FamilyKey(a.Name)) family = a.Family;
        TFace* face = family.empty() ? nullptr : Family(family, false);
        if (!face) face = Gothic();
        ByName[sjisName] = face;
        return face;
    }

    // Sets the size only when it changed: a new size runs the face's hinting set-up again, which
    // costs more than rendering a glyph.
    bool SetSize(TFace& f, const TGlyphRequest& r) {
        const FT_Face face = f.Face;
        const int64_t upem = face->units_per_EM > 0 ? face->units_per_EM : 1;
        const FT_F26Dot6 y = std::max<FT_F26Dot6>(1, (int64_t{r.Height} * 64 * upem + f.CellUnits / 2) / f.CellUnits);
        const FT_F26Dot6 x = r.Width > 0 ? int64_t{r.Width} * 2 * 64 : y;
        if (x == f.SizeX && y == f.SizeY) return true;
        if (FT_Error e = FT_Set_Char_Size(face, x, y, 72, 72)) {
            Error = FreeTypeError("cannot size the face", e);
            f.SizeX = f.SizeY = -1;
            return false;
        }
        f.SizeX = x;
        f.SizeY = y;
        return true;
    }

    FT_Library Library = nullptr;
    // Reads fontconfig's configuration on the first question for a face, not at start-up, where it
    // would hold back the window's first picture by its parse of the configuration files.
    bool ConfigReady() {
        if (!ConfigTried) {
            ConfigTried = true;
            FontConfig = FcInit() == FcTrue;
            if (!FontConfig && Error.empty()) Error = "fontconfig cannot read its configuration";
        }
        return FontConfig;
    }

    bool ConfigTried = false;
    bool FontConfig = false;
    std::map<std::string, TFace> Faces;              // by file and index; a null face could not be opened
    std::unordered_map<std::string, TFace*> ByName;  // by the Shift-JIS name asked for
    bool GothicResolved = false;
    TFace* GothicFace = nullptr;
    std::string Error;
};

TFreeTypeFonts::TFreeTypeFonts() : Impl(std::make_unique<TImpl>()) {
    if (FT_Error e = FT_Init_FreeType(&Impl->Library)) {
        Impl->Library = nullptr;
        Impl->Error = FreeTypeError("FreeType cannot start", e);
    }
}

TFreeTypeFonts::~TFreeTypeFonts() = default;

const std::string& TFreeTypeFonts::Error() const {
    return Impl->Error;
}

std::vector<TInstalledFace> TFreeTypeFonts::JapaneseFaces() {
    std::vector<TInstalledFace> faces;
    if (!Impl->ConfigReady()) return faces;
    FcPattern* pattern = FcPatternCreate();
    FcLangSet* langs = FcLangSetCreate();
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_FAMILYLANG, FC_SPACING, nullptr);
    FcFontSet* set = nullptr;
    if (pattern && langs && objects) {
        FcLangSetAdd(langs, reinterpret_cast<const FcChar8*>("ja"));
        FcPatternAddLangSet(pattern, FC_LANG, langs);
        set = FcFontList(nullptr, pattern, objects);
    }
    for (int i = 0; set && i < set->nfont; ++i) {
        FcPattern* font = set->fonts[i];
        // The Japanese spelling of the family when the face has one, as a Japanese system lists it.
        std::string chosen;
        FcChar8* family = nullptr;
        for (int k = 0; FcPatternGetString(font, FC_FAMILY, k, &family) == FcResultMatch; ++k) {
            FcChar8* lang = nullptr;
            const bool ja = FcPatternGetString(font, FC_FAMILYLANG, k, &lang) == FcResultMatch &&
                            std::string(reinterpret_cast<const char*>(lang)) == "ja";
            if (chosen.empty() || ja) chosen = reinterpret_cast<const char*>(family);
            if (ja) break;
        }
        if (chosen.empty()) continue;
        // Only names that Shift-JIS can spell can be chosen by a game.
        const std::string sjis = Encoding::Utf8ToSjis(chosen);
        if (Encoding::SjisToUtf8(sjis) != chosen || sjis[0] == '@') continue;
        int spacing = FC_PROPORTIONAL;
        FcPatternGetInteger(font, FC_SPACING, 0, &spacing);
        const bool fixed = spacing == FC_MONO || spacing == FC_DUAL || spacing == FC_CHARCELL;
        auto same = [&](const TInstalledFace& f) { return f.Name == sjis; };
        if (std::find_if(faces.begin(), faces.end(), same) == faces.end()) faces.push_back({sjis, fixed});
    }
    if (set) FcFontSetDestroy(set);
    if (objects) FcObjectSetDestroy(objects);
    if (langs) FcLangSetDestroy(langs);
    if (pattern) FcPatternDestroy(pattern);
    std::sort(faces.begin(), faces.end(),
              [](const TInstalledFace& a, const TInstalledFace& b) { return a.Name < b.Name; });
    return faces;
}

std::string TFreeTypeFonts::ResolvedFamily(const std::string& face) {
    TImpl::TFace* f = Impl->Resolve(face);
    return f && f->Face->family_name ? f->Face->family_name : "";
}

bool TFreeTypeFonts::RenderGlyph(const TGlyphRequest& request, TGlyphCanvas& canvas, int32_t& extentX,
                                 int32_t& extentY) {
    extentX = extentY = 0;
    if (request.Height <= 0) return false;
    TImpl::TFace* f = Impl->Resolve(request.Face);
    if (!f) return false;
    const uint32_t character = SystemFonts::UnicodeOf(request.Code);
    FT_UInt glyph = character ? FT_Get_Char_Index(f->Face, character) : 0;
    if (glyph == 0 && character != 0) {
        // A character the face lacks comes from the gothic face, as the window system links a
        // Japanese face to a Latin one.
        TImpl::TFace* gothic = Impl->Gothic();
        const FT_UInt other = gothic ? FT_Get_Char_Index(gothic->Face, character) : 0;
        if (other != 0) f = gothic, glyph = other;
    }
    if (!Impl->SetSize(*f, request)) return false;
    FT_Face face = f->Face;
    if (FT_Error e = FT_Load_Glyph(face, glyph, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_MONO)) {
        Impl->Error = FreeTypeError("cannot load a glyph", e);
        return false;
    }
    FT_GlyphSlot slot = face->glyph;
    const int32_t weight = std::clamp(request.Weight, 0, 1000);
    if (weight > 400 && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        // A bold weight thickens the strokes by a pixel at 24 pixels (at 700) and in proportion
        // at other sizes, so that supersampled glyphs come out as bold as plain ones.
        const FT_Pos strength = static_cast<FT_Pos>(int64_t{weight - 400} * f->SizeY / (300 * 24));
        if (strength > 0) FT_Outline_Embolden(&slot->outline, strength);
    }
    if (FT_Error e = FT_Render_Glyph(slot, FT_RENDER_MODE_MONO)) {
        Impl->Error = FreeTypeError("cannot render a glyph", e);
        return false;
    }
    const int32_t ascent = static_cast<int32_t>((int64_t{f->AscentUnits} * request.Height * 2 + f->CellUnits) /
                                                (int64_t{f->CellUnits} * 2));
    const FT_Bitmap& bitmap = slot->bitmap;
    const int32_t left = slot->bitmap_left, top = ascent - slot->bitmap_top;
    if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO && canvas.Pixels) {
        const int32_t rows = static_cast<int32_t>(bitmap.rows), columns = static_cast<int32_t>(bitmap.width);
        for (int32_t r = std::max(0, -top); r < rows && top + r < canvas.Height; ++r) {
            const uint8_t* bits = bitmap.buffer + static_cast<ptrdiff_t>(r) * bitmap.pitch;
            uint8_t* out = canvas.Pixels + static_cast<size_t>(top + r) * static_cast<size_t>(canvas.Width);
            for (int32_t c = std::max(0, -left); c < columns && left + c < canvas.Width; ++c)
                if (bits[c >> 3] & (0x80 >> (c & 7))) out[left + c] = 255;
        }
    }
    extentX = static_cast<int32_t>((slot->advance.x + 32) >> 6);
    extentY = request.Height;
    return true;
}
