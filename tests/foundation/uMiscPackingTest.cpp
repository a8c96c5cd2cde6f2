// Scramblers, byte-pair compression, checksums and checked streams.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <random>
#include <vector>

#include "foundation/CheckedStream.h"
#include "foundation/Checksum.h"
#include "foundation/Compression.h"
#include "foundation/Scramblers.h"
#include "platform/LittleEndian.h"
#include "tests/support/LegacyFormats.h"

namespace {

std::string Bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list)
        s.push_back(static_cast<char>(b));
    return s;
}

std::string Header(uint32_t size) {
    std::string s = Bytes({0x31, 0x50, 0x43, 0xFF, 1, 0, 0, 0});
    LittleEndian::Append32(s, size);
    return s;
}

const std::string kAllLiteral = Bytes({0xFE, 0x7F, 0xFE, 0xFF});

std::string RandomBytes(size_t n, uint32_t seed, int distinct = 256) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(rng() % static_cast<uint32_t>(distinct));
    return s;
}

std::unique_ptr<TMemoryStream> Stream(std::string_view bytes) {
    return std::make_unique<TMemoryStream>(bytes);
}

std::string Expand(std::string_view packed, bool* ok = nullptr) {
    std::string out;
    bool r = uMisc::BPEExpandBytes(packed.data(), packed.size(), out);
    if (ok) *ok = r;
    return out;
}

TEST(BytePairTest, CompressesToTheExactStoredBytes) {
    struct Case {
        const char* name;
        std::string input, packed;
    } cases[] = {
        {"empty", "", Header(0) + kAllLiteral + Bytes({0, 0})},
        {"abc", "abc", Header(3) + kAllLiteral + Bytes({3, 0}) + "abc"},
        // (a,b) counts 4 and becomes code 255; then (255,255) counts 3 and becomes 254.
        {"abababab", "abababab",
         Header(8) + Bytes({0xFE, 0x7F, 0xFD, 0xFF, 0xFF, 0x00, 'a', 'b'}) + Bytes({2, 0, 0xFE, 0xFE})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string packed = uMisc::BPECompressBytes(c.input.data(), c.input.size());
        EXPECT_EQ(packed, c.packed);
        bool ok = false;
        EXPECT_EQ(Expand(packed, &ok), c.input);
        EXPECT_TRUE(ok);
    }
    EXPECT_EQ(uMisc::BPECompressBytes("", 0).size(), 18u);
    EXPECT_EQ(uMisc::BPECompressBytes("abc", 3).size(), 21u);
}

TEST(BytePairTest, ABlockHoldsFewerThan200DistinctValues) {
    std::string input;
    for (int run = 0; run < 3; ++run)
        for (int b = 0; b < 256; ++b)
            input.push_back(static_cast<char>(b));
    std::string packed = uMisc::BPECompressBytes(input.data(), input.size());
    auto blocks = LegacyFormats::SplitBPEBlocks(packed);
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(blocks[0].Packed.size(), 200u);
    EXPECT_EQ(blocks[1].Packed.size(), 200u);
    EXPECT_EQ(blocks[2].Packed.size(), 200u);
    EXPECT_EQ(blocks[3].Packed.size(), 168u);
    EXPECT_EQ(Expand(packed), input);

    // A source that ends exactly at a block's end gets no empty block after it.
    std::string full(8192, 'x');
    EXPECT_EQ(LegacyFormats::SplitBPEBlocks(uMisc::BPECompressBytes(full.data(), full.size())).size(), 1u);
}

TEST(BytePairTest, RoundTripsRandomAndRepetitiveData) {
    const size_t sizes[] = {1, 2, 7, 8, 255, 256, 8191, 8192, 8193, 20000, 100000};
    for (size_t n : sizes) {
        for (int distinct : {2, 16, 199, 256}) {
            SCOPED_TRACE(testing::Message() << n << " bytes of " << distinct << " values");
            std::string input = RandomBytes(n, static_cast<uint32_t>(n * 31 + distinct), distinct);
            std::string packed = uMisc::BPECompressBytes(input.data(), input.size());
            bool ok = false;
            ASSERT_EQ(Expand(packed, &ok), input);
            ASSERT_TRUE(ok);
        }
    }
    std::string text;
    while (text.size() < 300000)
        text += "The quick brown fox jumps over the lazy dog. ";
    std::string zeros(300000, '\0');
    std::string runs;
    for (int i = 0; runs.size() < 300000; ++i)
        runs.append(static_cast<size_t>(i % 97 + 1), static_cast<char>(i));
    for (const std::string* input : {&text, &zeros, &runs}) {
        std::string packed = uMisc::BPECompressBytes(input->data(), input->size());
        EXPECT_LT(packed.size(), input == &runs ? input->size() : input->size() / 4);
        EXPECT_EQ(Expand(packed), *input);
        EXPECT_EQ(Expand(LegacyFormats::ToHeaderlessBPE(packed)), *input);
    }
}

TEST(BytePairTest, ReadsTheOlderHeaderlessForm) {
    std::string input = RandomBytes(30000, 5, 7);
    std::string old = LegacyFormats::ToHeaderlessBPE(uMisc::BPECompressBytes(input.data(), input.size()));
    ASSERT_EQ(old.substr(0, 4), Bytes({0x30, 0x75, 0, 0}));
    EXPECT_EQ(Expand(old), input);
    // Hand-made: size 3, literal table, 32-bit length 3.
    bool ok = false;
    EXPECT_EQ(Expand(Bytes({3, 0, 0, 0}) + kAllLiteral + Bytes({3, 0, 0, 0}) + "xyz", &ok), "xyz");
    EXPECT_TRUE(ok);
}

// Codes 1..26 each stand for two of the code below, so the one packed code 26 expands to 2^26
// zero bytes.
std::string DoublingStream(uint32_t declared) {
    std::string s = Header(declared);
    s += Bytes({0x80, 0, 0});  // code 0 literal, then the entry of code 1: (0, 0)
    s += Bytes({24});          // 25 entries: codes 2..26
    for (int c = 2; c <= 26; ++c)
        s += Bytes({c - 1, c - 1});
    s += Bytes({0xFE, 154});  // codes 27..153 literal, and the entry of 154: a literal
    s += Bytes({127 + 101});  // codes 155..255 literal
    s += Bytes({1, 0, 26});   // one packed code
    return s;
}

TEST(BytePairTest, TheDeclaredSizeIsLimitedTo64MiB) {
    bool ok = false;
    std::string out = Expand(DoublingStream(0x4000000), &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(out.size(), 0x4000000u);
    EXPECT_EQ(out.find_first_not_of('\0'), std::string::npos);

    Expand(DoublingStream(0x4000001), &ok);
    EXPECT_FALSE(ok);
    auto source = Stream(DoublingStream(0x4000001));
    EXPECT_EQ(uMisc::PackStream(source, true), nullptr);
    EXPECT_NE(source, nullptr);  // a refused source stays with the caller
}

TEST(BytePairTest, CorruptStreamsAreRefused) {
    const std::string good = uMisc::BPECompressBytes("abababab", 8);
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"too short for a size", Bytes({1, 0})},
        {"header cut", good.substr(0, 10)},
        {"table cut", good.substr(0, 15)},
        {"length cut", good.substr(0, 21)},
        {"packed bytes cut", good.substr(0, good.size() - 1)},
        {"literal run past code 255", Header(1) + Bytes({0x80, 1, 0xFF, 130, 0xFF, 1, 0, 'a'})},
        {"pair entries past code 255", Header(1) + Bytes({0xFE, 0x7F, 0xFD, 5}) + std::string(12, 'a')},
        {"output past the declared size", Header(2) + kAllLiteral + Bytes({3, 0}) + "abc"},
        {"pair past the declared size", Header(7) + good.substr(12)},
        {"output shorter than declared", Header(4) + kAllLiteral + Bytes({3, 0}) + "abc"},
        // 255 = (254, 0) and 254 = (255, 0): expanding either never ends.
        {"cyclic pairs", Header(100) + Bytes({0xFE, 0x7F, 0xFD, 1, 254, 0, 255, 0}) + Bytes({1, 0, 255})},
        {"self-referencing pair", Header(100) + Bytes({0xFE, 0x7F, 0xFE, 0, 255}) + Bytes({1, 0, 255})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool ok = true;
        Expand(c.bytes, &ok);
        EXPECT_FALSE(ok);
        EXPECT_EQ(uMisc::BPEExpand(TMemoryStream(c.bytes)), nullptr);
    }
}

// The expander as the format describes it: a stack of 256 pending codes, one byte at a time.
// Empty when the stream breaks a limit.
std::optional<std::string> ReferenceExpand(std::string_view s) {
    auto get32 = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<uint8_t>(s[at]) | (static_cast<uint8_t>(s[at + 1]) << 8) |
                                     (static_cast<uint8_t>(s[at + 2]) << 16) |
                                     (static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24));
    };
    const size_t n = s.size();
    if (n < 4) return {};
    size_t pos = 4;
    uint32_t flags = 0, size = get32(0);
    if (size == 0xFF435031) {
        if (n < 12) return {};
        flags = get32(4);
        size = get32(8);
        pos = 12;
    }
    if (size > 0x4000000) return {};
    std::string out;
    while (pos < n) {
        uint8_t left[256], right[256] = {};
        for (int c = 0; c < 256; ++c)
            left[c] = static_cast<uint8_t>(c);
        for (int c = 0; c < 256;) {
            if (pos >= n) return {};
            int count = static_cast<uint8_t>(s[pos++]);
            if (count > 127) {
                c += count - 127;
                count = 0;
                if (c > 256) return {};
                if (c == 256) break;
            }
            if (c + count + 1 > 256) return {};
            for (int i = 0; i <= count; ++i, ++c) {
                if (pos >= n) return {};
                left[c] = static_cast<uint8_t>(s[pos++]);
                if (left[c] != c) {
                    if (pos >= n) return {};
                    right[c] = static_cast<uint8_t>(s[pos++]);
                }
            }
        }
        const size_t lengthBytes = (flags & 1) ? 2 : 4;
        if (n - pos < lengthBytes) return {};
        const uint32_t length =
            lengthBytes == 2 ? static_cast<uint8_t>(s[pos]) | (static_cast<uint8_t>(s[pos + 1]) << 8) : get32(pos);
        pos += lengthBytes;
        if (length > n - pos) return {};
        for (uint32_t i = 0; i < length; ++i) {
            std::vector<uint8_t> stack{static_cast<uint8_t>(s[pos + i])};
            while (!stack.empty()) {
                const uint8_t c = stack.back();
                stack.pop_back();
                if (left[c] == c) {
                    if (out.size() >= size) return {};
                    out.push_back(static_cast<char>(c));
                } else {
                    if (stack.size() + 2 > 256) return {};
                    stack.push_back(right[c]);
                    stack.push_back(left[c]);
                }
            }
        }
        pos += length;
    }
    if (out.size() != size) return {};
    return out;
}

TEST(BytePairTest, ExpansionMatchesTheReferenceExpander) {
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        // Code 255 is a pair in the first block and a literal byte in the second; the literal runs
        // of the second block stand on both sides of it and run to the block's end.
        {"pair code literal in the next block", Header(8) + Bytes({0xFE, 0x7F, 0xFE, 'a', 'b'}) +
                                                    Bytes({2, 0, 255, 255}) + kAllLiteral +
                                                    Bytes({4, 0, 'x', 255, 'y', 'z'})},
        // Literal runs of 1 to 40 bytes between pairs, and a block of literals only after a block of pairs.
        {"runs between pairs",
         [] {
             std::string packed, plain;
             for (int run = 1; run <= 40; ++run) {
                 packed += std::string(static_cast<size_t>(run), 'q') + "\xFF";
                 plain += std::string(static_cast<size_t>(run), 'q') + "ab";
             }
             std::string s = Header(static_cast<uint32_t>(plain.size() + 20)) + Bytes({0xFE, 0x7F, 0xFE, 'a', 'b'});
             s += Bytes({static_cast<int>(packed.size() & 0xFF), static_cast<int>(packed.size() >> 8)}) + packed;
             return s + kAllLiteral + Bytes({20, 0}) + std::string(20, 'r');
         }()},
        {"deep nesting",
         [] {
             // Code c stands for (c - 1, 0) for c = 1..255: code 255 expands to 256 zeros and needs all
             // 256 pending codes.
             std::string s = Header(256) + Bytes({0x80, 0, 0});
             for (int c = 2; c <= 255; ++c) {
                 if (c == 2 || c == 129) s += Bytes({126});  // runs of 127 entries
                 s += Bytes({c - 1, 0});
             }
             return s + Bytes({1, 0, 255});
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool ok = false;
        std::string out = Expand(c.bytes, &ok);
        auto reference = ReferenceExpand(c.bytes);
        EXPECT_TRUE(ok);
        ASSERT_TRUE(reference.has_value());
        EXPECT_EQ(out, *reference);
    }

    // Damaged streams: random bytes of real streams changed, each expanded both ways.
    std::string text;
    while (text.size() < 40000)
        text += "@@label\r\n\\cal,a=a+1\r\nsome text, and more text\r\n" + std::to_string(text.size());
    const std::string inputs[] = {text, RandomBytes(20000, 9), RandomBytes(20000, 10, 7)};
    std::mt19937 rng(77);
    for (const std::string& input : inputs) {
        const std::string packed = uMisc::BPECompressBytes(input.data(), input.size());
        ASSERT_EQ(ReferenceExpand(packed), input);
        for (int round = 0; round < 300; ++round) {
            std::string damaged = packed;
            for (int k = 0; k < 1 + round % 3; ++k)
                damaged[rng() % damaged.size()] = static_cast<char>(rng());
            bool ok = false;
            std::string out = Expand(damaged, &ok);
            auto reference = ReferenceExpand(damaged);
            ASSERT_EQ(ok, reference.has_value()) << round;
            if (ok) {
                ASSERT_EQ(out, *reference) << round;
            }
        }
    }
}

TEST(BytePairTest, PackStreamHandsOverTheSource) {
    auto source = Stream("hello hello hello hello");
    source->SetPosition(5);  // both directions start at 0
    auto packed = uMisc::PackStream(source, false);
    ASSERT_NE(packed, nullptr);
    EXPECT_EQ(source, nullptr);
    EXPECT_EQ(packed->Position(), 0);
    packed->SetPosition(3);
    auto plain = uMisc::PackStream(packed, true);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(packed, nullptr);
    EXPECT_EQ(plain->Position(), 0);
    EXPECT_EQ(plain->AsString(), "hello hello hello hello");
}

TEST(ScrambleTest, BufferScramblerTouchesWholeWordsOnly) {
    std::string seven = "1234567";
    uMisc::ScrambleBuffer(seven.data(), seven.size(), false, 99);
    EXPECT_EQ(seven, "1234567");

    std::string eleven = "abcdefghXYZ";
    uMisc::ScrambleBuffer(eleven.data(), eleven.size(), false, 0);
    EXPECT_NE(eleven.substr(0, 8), "abcdefgh");
    EXPECT_EQ(eleven.substr(8), "XYZ");

    for (size_t n : {8u, 16u, 100u, 4099u}) {
        const std::string plain = RandomBytes(n, static_cast<uint32_t>(n));
        std::string s = plain;
        uMisc::ScrambleBuffer(s.data(), n, false, 7402);
        EXPECT_NE(s, plain);
        std::string wrongKey = s;
        uMisc::ScrambleBuffer(wrongKey.data(), n, true, 7403);
        EXPECT_NE(wrongKey, plain);
        uMisc::ScrambleBuffer(s.data(), n, true, 7402);
        EXPECT_EQ(s, plain);
    }
    // The size is part of the key: the first word of the same data differs with the size.
    std::string a(16, 'q'), b(24, 'q');
    uMisc::ScrambleBuffer(a.data(), a.size(), false, 0);
    uMisc::ScrambleBuffer(b.data(), b.size(), false, 0);
    EXPECT_NE(a.substr(0, 8), b.substr(0, 8));
}

// The buffer scrambler as written down: two 32-bit lanes, one word at a time, the plain word fed
// back.
std::string ReferenceScramble(std::string s, bool decode, uint32_t key) {
    const uint32_t seed = (static_cast<uint32_t>(s.size()) + key) ^ 0x8B54E21Au;
    uint32_t l[2] = {0x6E2B91D4u, 0x6E2B91D4u}, f[2] = {seed, seed};
    for (size_t w = 0; w + 8 <= s.size(); w += 8)
        for (int j = 0; j < 2; ++j) {
            uint32_t in = 0;
            std::memcpy(&in, &s[w + 4 * j], 4);
            l[j] = (l[j] + 0x3F8A0C67u) ^ f[j];
            const uint32_t out = in ^ l[j];
            std::memcpy(&s[w + 4 * j], &out, 4);
            f[j] = decode ? out : in;
        }
    return s;
}

TEST(ScrambleTest, BufferScramblerMatchesTheFormulaAtEverySize) {
    // Every length of whole words and tails around the four-word rounds, and a long buffer.
    const std::string data = RandomBytes(4103, 12);
    for (size_t n = 0; n <= 72; ++n)
        for (bool decode : {false, true}) {
            std::string s = data.substr(0, n);
            uMisc::ScrambleBuffer(s.data(), n, decode, 0xE5);
            ASSERT_EQ(s, ReferenceScramble(data.substr(0, n), decode, 0xE5)) << n << (decode ? " decode" : " encode");
        }
    for (bool decode : {false, true}) {
        std::string s = data;
        uMisc::ScrambleBuffer(s.data(), s.size(), decode, 7402);
        EXPECT_EQ(s, ReferenceScramble(data, decode, 7402));
    }
}

TEST(ScrambleTest, StringScramblerIsItsOwnInverse) {
    // Length 3, key 0: k = (3 + 0xA7) & 0xFF = 0xAA; masks ((i ^ 0xAA) + i) & 0xFF for i = 1..3.
    EXPECT_EQ(uMisc::ScrambleString(std::string(3, '\0'), false, 0), Bytes({0xAC, 0xAA, 0xAC}));
    const std::string name = "gamedata\\system\\x.s";
    for (uint32_t key : {0u, 0xE5u, 0x12345678u}) {
        std::string once = uMisc::ScrambleString(name, false, key);
        EXPECT_NE(once, name);
        EXPECT_EQ(uMisc::ScrambleString(once, true, key), name);
        EXPECT_EQ(uMisc::XorScrambleString(once, key), name);
    }
}

// The checksum as written down: four 16-bit lanes, one word at a time.
uint32_t ReferenceChecksum(const std::string& s) {
    uint16_t sum[4] = {}, q[4] = {};
    for (size_t w = 0; w + 8 <= s.size(); w += 8)
        for (int j = 0; j < 4; ++j) {
            q[j] = static_cast<uint16_t>(q[j] + 0x0307);
            uint16_t lane = static_cast<uint16_t>(static_cast<uint8_t>(s[w + 2 * j]) |
                                                  (static_cast<uint8_t>(s[w + 2 * j + 1]) << 8));
            sum[j] = static_cast<uint16_t>(sum[j] + (lane ^ q[j]));
        }
    return (sum[0] | (static_cast<uint32_t>(sum[1]) << 16)) ^ (sum[2] | (static_cast<uint32_t>(sum[3]) << 16));
}

TEST(ChecksumTest, Checksum64CountsWholeWords) {
    const std::string data = RandomBytes(1000, 3);
    EXPECT_EQ(uMisc::Checksum64(data.data(), 7), 0u);
    EXPECT_EQ(uMisc::Checksum64(data.data(), 15), uMisc::Checksum64(data.data(), 8));
    // One word 01 00 .. 00: lane 0 is 1 ^ 0x0307, the others 0x0307.
    const std::string one = Bytes({1, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(uMisc::Checksum64(one.data(), 8), (0x03070306u ^ 0x03070307u));
    for (size_t n : {0u, 8u, 63u, 64u, 72u, 513u, 1000u})
        EXPECT_EQ(uMisc::Checksum64(data.data(), n), ReferenceChecksum(data.substr(0, n))) << n;
    // Whole rounds of eight words and every tail of 1 to 7 words and 1 to 7 bytes after them, and a
    // buffer long enough for the lanes' keys to wrap (65536 words).
    for (size_t words = 8; words <= 24; ++words)
        for (size_t bytes = 0; bytes < 8; ++bytes) {
            const size_t n = words * 8 + bytes;
            ASSERT_EQ(uMisc::Checksum64(data.data(), n), ReferenceChecksum(data.substr(0, n))) << n;
        }
    const std::string big = RandomBytes(65536 * 8 + 100, 4);
    EXPECT_EQ(uMisc::Checksum64(big.data(), big.size()), ReferenceChecksum(big));
}

TEST(ChecksumTest, CRC16) {
    EXPECT_EQ(uMisc::CRC16("abc", 3), 0x11ED);
    EXPECT_EQ(uMisc::CRC16Hex("abc", 3), "11ED");
    EXPECT_EQ(uMisc::CRC16Hex("", 0), "0000");
}

TEST(CheckedStreamTest, RoundTripAndDamage) {
    TMemoryStream body(RandomBytes(100, 8));
    TMemoryStream file("prefix");
    file.Seek(0, TSeekOrigin::End);
    ASSERT_TRUE(uMisc::WriteCheckedStream(&body, &file));
    EXPECT_FALSE(uMisc::WriteCheckedStream(nullptr, &file));
    EXPECT_FALSE(uMisc::WriteCheckedStream(&body, nullptr));
    ASSERT_EQ(file.Size(), 6 + 12 + 100);
    EXPECT_EQ(file.AsString().substr(6, 4), Bytes({0x4E, 0x4D, 0x32, 0xFD}));

    file.SetPosition(6);
    auto read = uMisc::ReadCheckedStream(&file);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->Position(), 0);
    EXPECT_EQ(read->AsString(), body.AsString());

    TMemoryStream damaged(file.AsString());
    damaged.Data[6 + 12 + 41] ^= 0x10;
    damaged.SetPosition(6);
    EXPECT_EQ(uMisc::ReadCheckedStream(&damaged), nullptr);

    TMemoryStream wrongMagic(file.AsString());
    wrongMagic.SetPosition(0);
    EXPECT_EQ(uMisc::ReadCheckedStream(&wrongMagic), nullptr);
    EXPECT_EQ(wrongMagic.Position(), 4);
    EXPECT_EQ(uMisc::ReadCheckedStream(nullptr), nullptr);

    TMemoryStream empty, emptyFile;
    ASSERT_TRUE(uMisc::WriteCheckedStream(&empty, &emptyFile));
    emptyFile.SetPosition(0);
    auto emptyRead = uMisc::ReadCheckedStream(&emptyFile);
    ASSERT_NE(emptyRead, nullptr);
    EXPECT_EQ(emptyRead->Size(), 0);

    // A body shorter than its size field is a read error, raised before anything is allocated.
    TMemoryStream shortBody(file.AsString().substr(6, 12 + 50));
    EXPECT_THROW(uMisc::ReadCheckedStream(&shortBody), EStreamError);
}

}  // namespace
