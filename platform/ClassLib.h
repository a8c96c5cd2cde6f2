// Streams and string lists: the small part of a class library that the engine is written against.
// Streams read and write counts of bytes at a position; string lists hold lines with name=value
// look-up, CR LF text and comma text. Text is bytes (Shift-JIS); nothing here converts it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class TFileRoot;  // platform/FileRoot.h

// Raised by ReadBuffer and WriteBuffer when fewer bytes than asked for could be moved, and by
// TFileStream when its file cannot be opened. Callers that read untrusted data catch it.
class EStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TSeekOrigin { Beginning, Current, End };

class TStream {
public:
    virtual ~TStream() = default;
    // Move up to count bytes; the result is the number moved (0 at the end or for count <= 0).
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // The new position; seeking before the start clamps to 0.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    virtual int64_t Size();
    virtual void SetSize(int64_t size) = 0;

    int64_t Position() { return Seek(0, TSeekOrigin::Current); }
    void SetPosition(int64_t pos) { Seek(pos, TSeekOrigin::Beginning); }
    // Bytes from the position to the end (0 when the position is past the end).
    int64_t Remaining();

    void ReadBuffer(void* buffer, int64_t count);         // all or EStreamError
    void WriteBuffer(const void* buffer, int64_t count);  // all or EStreamError
    // Copies count bytes from source's position (count 0: the whole source from its start).
    int64_t CopyFrom(TStream& source, int64_t count);
};

// A stream over a growable block of memory.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string_view bytes) : Data(bytes.begin(), bytes.end()) {}
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(Data.size()); }
    void SetSize(int64_t size) override;
    void Clear() {
        Data.clear();
        Pos = 0;
    }

    uint8_t* Memory() { return Data.data(); }
    const uint8_t* Memory() const { return Data.data(); }
    std::string AsString() const { return std::string(Data.begin(), Data.end()); }
    // Engine paths (backslashes, any case) below the root. False when the file cannot be read or
    // written; the stream is left empty after a failed load.
    bool LoadFromFile(const TFileRoot& root, const std::string& path);
    bool SaveToFile(const TFileRoot& root, const std::string& path) const;
    void LoadFromStream(TStream& source);

    std::vector<uint8_t> Data;

private:
    int64_t Pos = 0;
};

// Create makes a new empty file, emptying an old one; CreateNew only makes a file that does not
// exist yet. The modes that write never open through a symbolic link: a link in the file's place
// fails the open, so that a link planted in a game folder cannot redirect a write outside it.
enum class TFileMode { OpenRead, OpenReadWrite, Create, CreateNew };

// A stream over a file named by a host path, or by an engine path below a root. The constructor
// raises EStreamError when the file cannot be opened.
class TFileStream : public TStream {
public:
    TFileStream(const std::string& hostPath, TFileMode mode);
    TFileStream(const TFileRoot& root, const std::string& enginePath, TFileMode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t size) override;
    bool Flush();
    // Flushes and waits until the file's bytes are on the disk.
    bool Sync();
    // Closes the file now; false when the last writes could not be completed. The stream is of no
    // further use.
    bool Close();

private:
    void Open(const std::string& host, const std::string& path, TFileMode mode);
    enum class TLastOp { None, Read, Write };
    void SwitchTo(TLastOp op);
    std::FILE* File = nullptr;
    TLastOp LastOp = TLastOp::None;
};

// Lines of text. Look-ups by name and by value ignore ASCII case, as the engine's files expect.
class TStringList {
public:
    TStringList() = default;

    int Count() const { return static_cast<int>(Items.size()); }
    const std::string& operator[](int i) const { return Items[static_cast<size_t>(i)]; }
    std::string& operator[](int i) { return Items[static_cast<size_t>(i)]; }
    int Add(std::string s) {
        Items.push_back(std::move(s));
        return Count() - 1;
    }
    void Insert(int index, std::string s);
    void Delete(int index);
    void Clear() { Items.clear(); }
    int IndexOf(std::string_view s) const;  // first line equal without regard to case, or -1

    // name=value lines: the name is the text before the first "=". Both are empty for a line
    // without "=" and for an index outside the list.
    std::string Names(int index) const;
    std::string ValueFromIndex(int index) const;
    int IndexOfName(std::string_view name) const;     // first line with that name, or -1
    std::string Values(std::string_view name) const;  // empty when absent
    // Replaces the first line of that name, or appends one; an empty value deletes the line.
    void SetValue(std::string_view name, std::string_view value);

    // Lines joined with CR LF after each; setting splits at CR LF, LF or a lone CR.
    std::string Text() const;
    void SetText(std::string_view text);
    // Comma text: items separated by commas or blanks (any byte up to 0x20), quoted with '"' when
    // they hold such a byte, a comma or a quote (a quote inside is doubled).
    std::string CommaText() const;
    void SetCommaText(std::string_view text);

    bool LoadFromFile(const TFileRoot& root, const std::string& path);  // engine path; false when it cannot be read
    bool SaveToFile(const TFileRoot& root, const std::string& path) const;
    void LoadFromStream(TStream& s);
    void SaveToStream(TStream& s) const;

    std::vector<std::string> Items;
};

namespace ClassLib {
// Lower-cases ASCII letters only, and never the trail byte of a two-byte Shift-JIS character
// (a trail byte can fall in "A".."Z").
std::string LowerAscii(std::string_view s);
bool SameTextAscii(std::string_view a, std::string_view b);
}  // namespace ClassLib
