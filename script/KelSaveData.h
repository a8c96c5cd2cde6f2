// The save-file container and the rules of the save folder. A save file is one checked stream
// (magic 0xFD324D4E, checksum, size) whose content is:
//
//   1024  header (below)
//   u32   thumbnail size, then that many bytes of a BMP file with 15-bit pixels (0: no thumbnail)
//   u32   body size, then the body: byte-pair compressed when header byte 17 is 1, then scrambled
//         over its whole length with the key when header byte 16 is 1
//
// Header, little-endian, every byte not named here 0:
//   0     16   "KELSAVE110", padded with zero bytes
//   16    1    1 when the body is scrambled
//   17    1    1 when the body is compressed
//   18    8    when the game was saved, in local time: a double of days since 30 December 1899,
//              the time of day as its fraction
//   26    128  description 1, short string of 127 (then 2, 3 and 4 at 154, 282 and 410)
//   538   128  excerpt: the first 30 characters of the newest back-log text, short string of 127
//   666   32   check block: the 32-byte check string scrambled with the key
//   698   326  zero
//
// The key is the game's "CodeKey" setting; a file written under another key is refused, since its
// check block does not unscramble to the check string. The system-data file uses the same check
// block (KelSaveData::CheckBlock).
//
// Save files live in "SaveData\" below the game's folder. Names from scripts are relative to it and
// may name subfolders, but never leave it: SaveFilePath refuses the rest.
//
// Saving a game, as the interpreter does:
//     TKelSaveData save(script.Config().Config.CodeKey);
//     save.SetHeader(descriptions, newestLogText);
//     save.SetBody(body);
//     save.SetThumbnail(bmp);
//     save.SaveToFile(root, KelSaveData::SaveFilePath("SaveData1.svd"), true, true);
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ClassLib.h"

struct TKelSaveHeader {
    static constexpr int32_t kSize = 1024;
    static constexpr int32_t kTextCapacity = 127;

    std::string Magic;  // up to 16 bytes
    uint8_t Scrambled = 0;
    uint8_t Compressed = 0;
    double Date = 0;
    std::array<std::string, 4> Descriptions;
    std::string Excerpt;
    std::string CheckBlock;  // 32 bytes

    void Write(TStream& s) const;
    bool Read(TStream& s);  // false, nothing changed, when fewer than kSize bytes remain
};

class TKelSaveData {
public:
    explicit TKelSaveData(uint32_t key) : Key(key) {}

    // The header zeroed, thumbnail and body dropped.
    void Clear();
    // A new header: the magic, both flags 0, the date and time of now, the four descriptions and
    // the first 30 characters of the text as the excerpt.
    void SetHeader(const std::array<std::string, 4>& descriptions, std::string_view text);
    void SetBody(const TMemoryStream& body) { Body = std::make_unique<TMemoryStream>(body); }
    // A BMP file of 15-bit pixels; empty for none.
    void SetThumbnail(std::string bmp) { Thumbnail = std::move(bmp); }

    // False without a body. Otherwise the flags go into the header, the check block is written and
    // the container is written to the stream.
    bool SaveToStream(TStream& stream, bool scrambled, bool compressed);
    // SaveToStream into memory, then the file replaced safely: the old file stays whole until the
    // new one is complete on the disk. False for an empty path and on any failure.
    bool SaveToFile(const TFileRoot& root, const std::string& enginePath, bool scrambled, bool compressed);
    // False when the file does not exist or LoadFromStream refuses it.
    bool LoadFromFile(const TFileRoot& root, const std::string& enginePath, bool withThumbnail, bool withBody);
    // Reads the container; false, with the reason in Error(), for a damaged or short stream,
    // another magic, a check block of another key, and a body that cannot be unpacked. The flags
    // of the header decide how the body is unpacked. Without withBody the body is not kept, without
    // withThumbnail the thumbnail is skipped.
    bool LoadFromStream(TStream& stream, bool withBody, bool withThumbnail);

    // The check block of the key into the header; whether the header's check block is the key's.
    void WriteKey();
    bool CheckKey() const;

    TKelSaveHeader Header;
    std::string Thumbnail;
    std::unique_ptr<TMemoryStream> Body;
    uint32_t Key;
    const std::string& Error() const { return ErrorText; }
    std::string ErrorText;
};

namespace KelSaveData {

constexpr const char* kSaveFolder = "SaveData\\";
constexpr const char* kSaveMagic = "KELSAVE110";
constexpr const char* kSystemDataFile = "SystemData.dat";
constexpr const char* kSystemDataBackup = "SystemData.dat.bak";

// The engine path of a save name, "SaveData\" followed by the name; empty for a name that is empty,
// holds a zero byte or a colon (a drive letter), starts with a separator, or climbs out of the
// folder with "..". "\" (never the second byte of a two-byte character) and "/" both separate.
std::string SaveFilePath(std::string_view name);

// The check string scrambled with the key: 32 bytes.
std::string CheckBlock(uint32_t key);

// The magic of a header as compared: its bytes up to the first zero byte.
std::string_view MagicText(std::string_view field);

// The local date and time of now as a day count from 30 December 1899.
double Now();
// Year, month, day, hour, minute and second of a day count (the time of day taken to the nearest
// millisecond, whose part of a second is then dropped); false, all zero, for a value that is not a
// date of the years 1 to 9999.
bool DecodeDate(double date, std::array<int32_t, 6>& fields);
// The day count of a date and time (the inverse of DecodeDate for the years 1 to 9999).
double EncodeDate(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second);

}  // namespace KelSaveData
