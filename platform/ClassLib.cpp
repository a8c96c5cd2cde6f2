#include "platform/ClassLib.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/FileRoot.h"
#include "platform/FileSystem.h"

// ---- TStream ----

int64_t TStream::Size() {
    int64_t pos = Seek(0, TSeekOrigin::Current);
    int64_t size = Seek(0, TSeekOrigin::End);
    Seek(pos, TSeekOrigin::Beginning);
    return size;
}

int64_t TStream::Remaining() {
    int64_t rest = Size() - Position();
    return rest > 0 ? rest : 0;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
    if (count > 0 && Read(buffer, count) != count) throw EStreamError("stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    if (count > 0 && Write(buffer, count) != count) throw EStreamError("stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    char chunk[65536];
    int64_t done = 0;
    while (done < count) {
        int64_t n = std::min<int64_t>(count - done, sizeof chunk);
        source.ReadBuffer(chunk, n);
        WriteBuffer(chunk, n);
        done += n;
    }
    return done;
}

// ---- TMemoryStream ----

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    int64_t size = Size();
    if (count <= 0 || Pos >= size) return 0;
    int64_t n = std::min(count, size - Pos);
    std::memcpy(buffer, Data.data() + Pos, static_cast<size_t>(n));
    Pos += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    if (Pos + count > Size()) Data.resize(static_cast<size_t>(Pos + count));
    std::memcpy(Data.data() + Pos, buffer, static_cast<size_t>(count));
    Pos += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = origin == TSeekOrigin::Beginning ? 0 : origin == TSeekOrigin::Current ? Pos : Size();
    Pos = std::max<int64_t>(0, base + offset);
    return Pos;
}

void TMemoryStream::SetSize(int64_t size) {
    Data.resize(static_cast<size_t>(std::max<int64_t>(0, size)));
    if (Pos > size) Pos = std::max<int64_t>(0, size);
}

bool TMemoryStream::LoadFromFile(const TFileRoot& root, const std::string& path) {
    Clear();
    std::string bytes;
    if (!root.ReadFile(path, bytes)) return false;
    Data.assign(bytes.begin(), bytes.end());
    return true;
}

bool TMemoryStream::SaveToFile(const TFileRoot& root, const std::string& path) const {
    return root.WriteFileReplace(path, std::string_view(reinterpret_cast<const char*>(Data.data()), Data.size()));
}

void TMemoryStream::LoadFromStream(TStream& source) {
    source.SetPosition(0);
    int64_t n = source.Size();
    Data.resize(static_cast<size_t>(n));
    Pos = 0;
    if (n > 0) source.ReadBuffer(Data.data(), n);
}

// ---- TFileStream ----

namespace {
bool Creates(TFileMode mode) {
    return mode == TFileMode::Create || mode == TFileMode::CreateNew;
}
}  // namespace

TFileStream::TFileStream(const TFileRoot& root, const std::string& enginePath, TFileMode mode) {
    Open(Creates(mode) ? root.HostPathForWrite(enginePath) : root.HostPath(enginePath), enginePath, mode);
}

TFileStream::TFileStream(const std::string& hostPath, TFileMode mode) {
    Open(hostPath, hostPath, mode);
}

// The path is the one the caller named, for the error.
void TFileStream::Open(const std::string& host, const std::string& path, TFileMode mode) {
    int flags = O_CLOEXEC;
    switch (mode) {
        case TFileMode::OpenRead:
            flags |= O_RDONLY;
            break;
        case TFileMode::OpenReadWrite:
            flags |= O_RDWR | O_NOFOLLOW;
            break;
        case TFileMode::Create:
            flags |= O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW;
            break;
        case TFileMode::CreateNew:
            flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;
            break;
    }
    int fd = host.empty() ? -1 : ::open(host.c_str(), flags, 0666);
    std::string reason = host.empty() ? std::string("no such folder") : std::strerror(errno);
    if (fd >= 0) {
        File = ::fdopen(fd, mode == TFileMode::OpenRead ? "rb" : "r+b");
        if (!File) {
            reason = std::strerror(errno);
            ::close(fd);
        }
    }
    if (!File) throw EStreamError("cannot open file " + path + ": " + reason);
}

TFileStream::~TFileStream() {
    if (File) std::fclose(File);
}

// A C stream that switches between reading and writing needs a positioning call in between;
// seeking by 0 is one and keeps the position.
void TFileStream::SwitchTo(TLastOp op) {
    if (LastOp != op && LastOp != TLastOp::None) fseeko(File, 0, SEEK_CUR);
    LastOp = op;
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    if (count <= 0 || !File) return 0;
    SwitchTo(TLastOp::Read);
    return static_cast<int64_t>(std::fread(buffer, 1, static_cast<size_t>(count), File));
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    if (count <= 0 || !File) return 0;
    SwitchTo(TLastOp::Write);
    return static_cast<int64_t>(std::fwrite(buffer, 1, static_cast<size_t>(count), File));
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    LastOp = TLastOp::None;
    if (!File) return 0;
    int whence = origin == TSeekOrigin::Beginning ? SEEK_SET : origin == TSeekOrigin::Current ? SEEK_CUR : SEEK_END;
    // A target before the start fails; the position then clamps to 0 from every origin.
    if (fseeko(File, offset, whence) != 0 && offset < 0) fseeko(File, 0, SEEK_SET);
    return ftello(File);
}

void TFileStream::SetSize(int64_t size) {
    if (!File) return;
    std::fflush(File);
    LastOp = TLastOp::None;
    if (ftruncate(fileno(File), size) == 0 && Position() > size) SetPosition(size);
}

bool TFileStream::Flush() {
    return File && std::fflush(File) == 0;
}

bool TFileStream::Sync() {
    return Flush() && FileSystem::Sync(fileno(File)) == 0;
}

bool TFileStream::Close() {
    if (!File) return false;
    const bool ok = std::fclose(File) == 0;
    File = nullptr;
    return ok;
}

// ---- TStringList ----

namespace ClassLib {

std::string LowerAscii(std::string_view s) {
    std::string r(s);
    for (size_t i = 0; i < r.size(); ++i) {
        auto b = static_cast<uint8_t>(r[i]);
        if ((b >= 0x81 && b <= 0x9F) || b >= 0xE0) {
            ++i;  // the trail byte stays as it is
        } else if (b >= 'A' && b <= 'Z') {
            r[i] = static_cast<char>(b + 32);
        }
    }
    return r;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
    // LowerAscii of both, compared without building them: while the lowered bytes agree, a lead
    // byte (never a letter) stands at the same place in both, so their trail bytes line up.
    if (a.size() != b.size()) return false;
    if (a == b) return true;  // mostly spelt alike
    for (size_t i = 0; i < a.size(); ++i) {
        auto x = static_cast<uint8_t>(a[i]);
        auto y = static_cast<uint8_t>(b[i]);
        if ((x >= 0x81 && x <= 0x9F) || x >= 0xE0) {
            if (x != y || (i + 1 < a.size() && a[i + 1] != b[i + 1])) return false;
            ++i;
            continue;
        }
        if (x >= 'A' && x <= 'Z') x = static_cast<uint8_t>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<uint8_t>(y + 32);
        if (x != y) return false;
    }
    return true;
}

}  // namespace ClassLib

void TStringList::Insert(int index, std::string s) {
    index = std::clamp(index, 0, Count());
    Items.insert(Items.begin() + index, std::move(s));
}

void TStringList::Delete(int index) {
    if (index >= 0 && index < Count()) Items.erase(Items.begin() + index);
}

int TStringList::IndexOf(std::string_view s) const {
    for (int i = 0; i < Count(); ++i)
        if (ClassLib::SameTextAscii(Items[static_cast<size_t>(i)], s)) return i;
    return -1;
}

std::string TStringList::Names(int index) const {
    if (index < 0 || index >= Count()) return std::string();
    const std::string& line = (*this)[index];
    size_t eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(0, eq);
}

std::string TStringList::ValueFromIndex(int index) const {
    if (index < 0 || index >= Count()) return std::string();
    const std::string& line = (*this)[index];
    size_t eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

int TStringList::IndexOfName(std::string_view name) const {
    for (int i = 0; i < Count(); ++i) {
        const std::string& line = Items[static_cast<size_t>(i)];
        size_t eq = line.find('=');
        if (eq != std::string::npos && ClassLib::SameTextAscii(std::string_view(line).substr(0, eq), name)) return i;
    }
    return -1;
}

std::string TStringList::Values(std::string_view name) const {
    int i = IndexOfName(name);
    return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStringList::SetValue(std::string_view name, std::string_view value) {
    int i = IndexOfName(name);
    if (value.empty()) {
        Delete(i);
        return;
    }
    std::string line = std::string(name) + "=" + std::string(value);
    if (i < 0)
        Add(std::move(line));
    else
        Items[static_cast<size_t>(i)] = std::move(line);
}

std::string TStringList::Text() const {
    std::string r;
    for (const auto& s : Items) {
        r += s;
        r += "\r\n";
    }
    return r;
}

void TStringList::SetText(std::string_view text) {
    Items.clear();
    size_t i = 0, start = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            Items.emplace_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < text.size()) Items.emplace_back(text.substr(start));
}

std::string TStringList::CommaText() const {
    std::string r;
    for (size_t k = 0; k < Items.size(); ++k) {
        const std::string& s = Items[k];
        if (k) r += ',';
        // Every byte that the reader takes for a separator forces quotes, so the text reads back
        // as the same items (trail bytes of Shift-JIS are never below 0x40).
        bool quote = std::any_of(s.begin(), s.end(),
                                 [](char c) { return static_cast<uint8_t>(c) <= ' ' || c == ',' || c == '"'; });
        if (!quote) {
            r += s;
            continue;
        }
        r += '"';
        for (char c : s) {
            if (c == '"') r += '"';
            r += c;
        }
        r += '"';
    }
    return r;
}

void TStringList::SetCommaText(std::string_view text) {
    Items.clear();
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && static_cast<uint8_t>(text[i]) <= ' ')
            ++i;
    };
    skipBlanks();
    while (i < text.size()) {
        std::string item;
        if (text[i] == '"') {
            ++i;
            while (i < text.size()) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
        } else {
            while (i < text.size() && text[i] != ',' && static_cast<uint8_t>(text[i]) > ' ')
                item += text[i++];
        }
        Items.push_back(std::move(item));
        skipBlanks();
        if (i < text.size() && text[i] == ',') {
            ++i;
            skipBlanks();
            if (i >= text.size()) Items.emplace_back();
        }
    }
}

bool TStringList::LoadFromFile(const TFileRoot& root, const std::string& path) {
    std::string bytes;
    if (!root.ReadFile(path, bytes)) return false;
    SetText(bytes);
    return true;
}

bool TStringList::SaveToFile(const TFileRoot& root, const std::string& path) const {
    return root.WriteFileReplace(path, Text());
}

void TStringList::LoadFromStream(TStream& s) {
    std::string bytes(static_cast<size_t>(s.Remaining()), '\0');
    if (!bytes.empty()) s.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    SetText(bytes);
}

void TStringList::SaveToStream(TStream& s) const {
    std::string t = Text();
    s.WriteBuffer(t.data(), static_cast<int64_t>(t.size()));
}
