#include "foundation/Compression.h"

#include <cstring>
#include <vector>

#include "platform/LittleEndian.h"

namespace uMisc {

// ---- byte-pair compression ----

namespace {

using LittleEndian::Append16;
using LittleEndian::Append32;
using LittleEndian::Get32;

// One block at a time: at most 8192 bytes and fewer than 200 distinct byte values, so at least 56
// codes stay free to stand for pairs. Pair counts live in a hash of 8192 slots with 8-bit
// saturating counts. Ties between pair counts go to the lowest slot: stored files depend on it.
class TPairCompressor {
public:
    static constexpr int kBlockSize = 8192;
    static constexpr int kHashSize = 8192;
    static constexpr int kMaxChars = 200;
    static constexpr int kThreshold = 3;

    void Run(const uint8_t* src, size_t n, std::vector<uint8_t>& out) {
        size_t pos = 0;
        do {
            ReadBlock(src, n, pos);
            CompressBlock();
            WriteBlock(out);
        } while (pos < n);
    }

private:
    int Lookup(uint8_t a, uint8_t b) {
        int index = (a ^ (b << 5)) & (kHashSize - 1);
        // A slot whose count is 0 is free whatever pair it last held. A full table cannot occur in
        // practice; the probe count only keeps a pathological block from looping for ever.
        for (int probes = 0; (Left[index] != a || Right[index] != b) && Count[index] != 0 && probes < kHashSize;
             ++probes)
            index = (index + 1) & (kHashSize - 1);
        Left[index] = a;
        Right[index] = b;
        return index;
    }

    void ReadBlock(const uint8_t* src, size_t n, size_t& pos) {
        std::memset(Count, 0, sizeof Count);
        for (int c = 0; c < 256; ++c) {
            LeftCode[c] = static_cast<uint8_t>(c);
            RightCode[c] = 0;
            Used[c] = false;
        }
        Size = 0;
        int used = 0;
        while (Size < kBlockSize && used < kMaxChars && pos < n) {
            const uint8_t c = src[pos++];
            if (Size > 0) {
                const int index = Lookup(Buffer[Size - 1], c);
                if (Count[index] < 255) ++Count[index];
            }
            Buffer[Size++] = c;
            if (!Used[c]) {
                Used[c] = true;
                ++used;
            }
        }
    }

    bool IsLiteral(int c) const { return LeftCode[c] == c; }

    void CompressBlock() {
        int code = 256;
        for (;;) {
            // The next free code: a literal whose byte value does not occur in the block.
            for (--code; code >= 0; --code)
                if (IsLiteral(code) && !Used[code]) break;
            if (code < 0) break;

            int best = 2;
            uint8_t leftCh = 0, rightCh = 0;
            for (int index = 0; index < kHashSize; ++index)
                if (Count[index] > best) {
                    best = Count[index];
                    leftCh = Left[index];
                    rightCh = Right[index];
                }
            if (best < kThreshold) break;

            const auto c = static_cast<uint8_t>(code);
            const int oldSize = Size - 1;
            int w = 0, r = 0;
            for (; r < oldSize; ++r) {
                if (Buffer[r] == leftCh && Buffer[r + 1] == rightCh) {
                    if (r > 0) {
                        int index = Lookup(Buffer[w - 1], leftCh);
                        if (Count[index] > 1) --Count[index];
                        index = Lookup(Buffer[w - 1], c);
                        if (Count[index] < 255) ++Count[index];
                    }
                    if (r < oldSize - 1) {
                        int index = Lookup(rightCh, Buffer[r + 2]);
                        if (Count[index] > 1) --Count[index];
                        index = Lookup(c, Buffer[r + 2]);
                        if (Count[index] < 255) ++Count[index];
                    }
                    Buffer[w++] = c;
                    ++r;
                    --Size;
                } else {
                    Buffer[w++] = Buffer[r];
                }
            }
            if (r == oldSize) Buffer[w] = Buffer[r];  // the last byte, when no pair took it

            LeftCode[code] = leftCh;
            RightCode[code] = rightCh;
            Count[Lookup(leftCh, rightCh)] = 1;
        }
    }

    // The pair table: runs of literal codes as one count byte (127 + run length, at most 127
    // codes), runs of pair codes as (run length - 1) followed by their entries. A pair run may
    // take in single literals between pairs; their entries are the code itself.
    void WriteBlock(std::vector<uint8_t>& out) {
        int c = 0;
        while (c < 256) {
            int len;
            if (IsLiteral(c)) {
                len = 1;
                ++c;
                while (len < 127 && c < 256 && IsLiteral(c)) {
                    ++len;
                    ++c;
                }
                out.push_back(static_cast<uint8_t>(len + 127));
                len = 0;
                if (c == 256) break;
            } else {
                len = 0;
                ++c;
                while ((len < 127 && c < 256 && !IsLiteral(c)) || (len < 125 && c < 254 && !IsLiteral(c + 1))) {
                    ++len;
                    ++c;
                }
                out.push_back(static_cast<uint8_t>(len));
                c -= len + 1;
            }
            for (int i = 0; i <= len; ++i, ++c) {
                out.push_back(LeftCode[c]);
                if (!IsLiteral(c)) out.push_back(RightCode[c]);
            }
        }
        Append16(out, static_cast<uint16_t>(Size));
        out.insert(out.end(), Buffer, Buffer + Size);
    }

    uint8_t Buffer[kBlockSize];
    uint8_t LeftCode[256], RightCode[256];
    bool Used[256];
    uint8_t Left[kHashSize], Right[kHashSize], Count[kHashSize];
    int Size = 0;
};

void CompressInto(const uint8_t* src, size_t n, std::vector<uint8_t>& out) {
    out.clear();
    out.reserve(0x80000);
    Append32(out, kBPEMagic);
    Append32(out, 1);  // 16-bit block lengths
    Append32(out, static_cast<uint32_t>(n));
    auto compressor = std::make_unique<TPairCompressor>();
    compressor->Run(src, n, out);
}

// Expands one stream. Within a block, the first complete expansion of a pair code is found again
// in the output and copied from there, so that each later occurrence costs one copy; runs of
// literal codes are copied as they stand, and a block without pairs (what an entry that does not
// compress becomes) is one copy. Every limit of the format is checked: the pair table stays within
// the 256 codes, blocks stay within the source, the output within its declared size, and a code
// never needs more than the 256 pending codes that the format allows (the stack of the reference
// expander).
class TPairExpander {
public:
    static constexpr int kStackSize = 256;
    static constexpr size_t kSlack = 16;

    TPairExpander() {
        for (int c = 0; c < 256; ++c) {
            Left[c] = static_cast<uint8_t>(c);
            Right[c] = 0;
            MakeLiteral(c);
        }
    }

    bool Run(const uint8_t* src, size_t n, std::vector<uint8_t>& out) {
        if (n < 4) return false;
        size_t pos;
        uint32_t flags, size;
        if (Get32(src) == kBPEMagic) {
            if (n < 12) return false;
            flags = Get32(src + 4);
            size = Get32(src + 8);
            pos = 12;
        } else {
            flags = 0;  // the headerless form: 32-bit block lengths
            size = Get32(src);
            pos = 4;
        }
        if (size > kBPEMaxSize) return false;
        // The whole size is reserved but filled only as far as the output goes, so that a stream
        // declaring much more than it holds costs no more than what it holds. The reserved memory
        // never moves, so Out stays valid while the vector grows into it.
        out.clear();
        out.reserve(size + kSlack);
        Buffer = &out;
        Out = out.data();
        OutSize = size;
        OutPos = 0;
        Filled = 0;
        const bool shortLengths = (flags & 1) != 0;
        while (pos < n) {
            if (!ReadTable(src, n, pos)) return false;
            uint32_t length;
            if (shortLengths) {
                if (n - pos < 2) return false;
                length = LittleEndian::Get16(src + pos);
                pos += 2;
            } else {
                if (n - pos < 4) return false;
                length = Get32(src + pos);
                pos += 4;
            }
            if (length > n - pos) return false;
            if (!ExpandBlock(src + pos, length)) return false;
            pos += length;
        }
        if (OutPos != OutSize) return false;
        out.resize(size);  // drops the slack, keeps the memory
        return true;
    }

private:
    // A literal code expands to itself: one byte, no pending codes.
    void MakeLiteral(int c) {
        Left[c] = static_cast<uint8_t>(c);
        IsPair[c] = 0;
        State[c] = 2;
        Length[c] = 1;
        Need[c] = 0;
    }

    bool ReadTable(const uint8_t* src, size_t n, size_t& pos) {
        // The codes that stood for pairs in the last block stand for themselves again; the others
        // never changed.
        for (int k = 0; k < PairCount; ++k)
            MakeLiteral(Pairs[k]);
        PairCount = 0;
        int c = 0;
        for (;;) {
            if (pos >= n) return false;
            int count = src[pos++];
            if (count > 127) {
                c += count - 127;
                count = 0;
                if (c > 256) return false;
                if (c == 256) break;
            }
            if (c + count + 1 > 256) return false;
            for (int i = 0; i <= count; ++i, ++c) {
                if (pos >= n) return false;
                const uint8_t left = src[pos++];
                if (left == c) continue;  // an entry that names its own code is a literal
                if (pos >= n) return false;
                Left[c] = left;
                Right[c] = src[pos++];
                IsPair[c] = 1;
                State[c] = 0;
                FirstAt[c] = -1;
                Pairs[PairCount++] = static_cast<uint8_t>(c);
            }
            if (c == 256) break;
        }
        return true;
    }

    static constexpr uint64_t kHuge = uint64_t(1) << 40;  // beyond any declared size
    static constexpr int kTooDeep = kStackSize + 1;

    // The expanded length of a pair code and the pending codes its expansion needs, following the
    // reference order: a pair pushes its right and then its left element.
    void Measure(int c) {
        State[c] = 1;
        const int l = Left[c], r = Right[c];
        bool cyclic = false;
        for (int child : {l, r}) {
            if (State[child] == 1)
                cyclic = true;
            else if (State[child] == 0)
                Measure(child);
        }
        if (cyclic) {
            Length[c] = kHuge;
            Need[c] = kTooDeep;
        } else {
            const uint64_t length = Length[l] + Length[r];
            Length[c] = length < kHuge ? length : kHuge;
            int need = 1 + Need[l] > Need[r] ? 1 + Need[l] : Need[r];
            if (need < 2) need = 2;
            Need[c] = need < kTooDeep ? need : kTooDeep;
        }
        State[c] = 2;
    }

    // Writes the expansion of a measured code at pos, with room for it and the slack; returns the
    // position after it.
    size_t Emit(int c, size_t pos) {
        uint8_t* const out = Out;
        if (!IsPair[c]) {
            out[pos] = static_cast<uint8_t>(c);
            return pos + 1;
        }
        if (FirstAt[c] >= 0) {
            const auto length = static_cast<size_t>(Length[c]);
            const uint8_t* from = out + FirstAt[c];
            if (length <= kSlack) {
                // Short expansions move as one 16-byte word through a register; the bytes past the
                // length land in what is written next, or in the slack past the end.
                uint8_t word[kSlack];
                std::memcpy(word, from, kSlack);
                std::memcpy(out + pos, word, kSlack);
            } else {
                std::memcpy(out + pos, from, length);
            }
            return pos + length;
        }
        const size_t start = pos;
        pos = Emit(Left[c], pos);
        pos = Emit(Right[c], pos);
        FirstAt[c] = static_cast<int64_t>(start);
        return pos;
    }

    // Makes room for n more bytes at pos (and the slack) within the reserved memory, which never
    // moves. The vector's growth fills the new part with zeros once, just before it is written.
    void Room(size_t pos, size_t n) {
        const size_t want = pos + n + kSlack;
        if (want <= Filled) return;
        size_t grown = Filled * 2;
        if (grown < want) grown = want;
        if (grown < 65536) grown = 65536;
        if (grown > OutSize + kSlack) grown = OutSize + kSlack;
        Buffer->resize(grown);
        Filled = grown;
    }

    bool ExpandBlock(const uint8_t* packed, uint32_t length) {
        size_t pos = OutPos;
        if (PairCount == 0) {
            if (length > OutSize - pos) return false;
            Room(pos, length);
            std::memcpy(Out + pos, packed, length);
            OutPos = pos + length;
            return true;
        }
        const uint8_t* p = packed;
        const uint8_t* const end = packed + length;
        while (p < end) {
            const uint8_t* q = p;
            while (q < end && !IsPair[*q])
                ++q;
            if (q != p) {
                const auto run = static_cast<size_t>(q - p);
                if (run > OutSize - pos) return false;
                Room(pos, run);
                if (run <= kSlack && end - p >= static_cast<std::ptrdiff_t>(kSlack)) {
                    // As in Emit: one word, the bytes past the run overwritten later or slack.
                    uint8_t word[kSlack];
                    std::memcpy(word, p, kSlack);
                    std::memcpy(Out + pos, word, kSlack);
                } else {
                    std::memcpy(Out + pos, p, run);
                }
                pos += run;
                p = q;
                if (p == end) break;
            }
            const int c = *p++;
            if (State[c] != 2) Measure(c);
            if (Need[c] > kStackSize || Length[c] > OutSize - pos) return false;
            Room(pos, static_cast<size_t>(Length[c]));
            pos = Emit(c, pos);
        }
        OutPos = pos;
        return true;
    }

    uint8_t Left[256], Right[256];
    uint8_t IsPair[256];
    uint8_t State[256];  // 0 unmeasured, 1 being measured, 2 measured
    uint8_t Pairs[256];  // the pair codes of the current block
    int PairCount = 0;
    int Need[256];
    uint64_t Length[256];
    int64_t FirstAt[256];
    std::vector<uint8_t>* Buffer = nullptr;
    uint8_t* Out = nullptr;  // the reserved memory of Buffer
    size_t OutSize = 0, OutPos = 0;
    size_t Filled = 0;  // bytes of Buffer made so far
};

}  // namespace

std::unique_ptr<TMemoryStream> BPECompress(const TMemoryStream& source) {
    auto r = std::make_unique<TMemoryStream>();
    CompressInto(source.Memory(), source.Data.size(), r->Data);
    r->SetPosition(0);
    return r;
}

std::string BPECompressBytes(const void* data, size_t size) {
    std::vector<uint8_t> out;
    CompressInto(static_cast<const uint8_t*>(data), size, out);
    return std::string(out.begin(), out.end());
}

std::unique_ptr<TMemoryStream> BPEExpand(const TMemoryStream& source) {
    auto r = std::make_unique<TMemoryStream>();
    TPairExpander expander;
    if (!expander.Run(source.Memory(), source.Data.size(), r->Data)) return nullptr;
    r->SetPosition(0);
    return r;
}

bool BPEExpandBytes(const void* data, size_t size, std::string& out) {
    std::vector<uint8_t> bytes;
    TPairExpander expander;
    if (!expander.Run(static_cast<const uint8_t*>(data), size, bytes)) return false;
    out.assign(bytes.begin(), bytes.end());
    return true;
}

std::unique_ptr<TMemoryStream> PackStream(std::unique_ptr<TMemoryStream>& source, bool expand) {
    if (!source) return nullptr;
    auto r = expand ? BPEExpand(*source) : BPECompress(*source);
    if (r) source.reset();
    return r;
}

}  // namespace uMisc
