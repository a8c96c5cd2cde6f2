#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ClassLib.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "tests/support/TestData.h"

namespace {

using Items = std::vector<std::string>;

// ---- streams ----

TEST(TMemoryStreamTest, ReadWriteSeekAndSize) {
    TMemoryStream s;
    EXPECT_EQ(s.Write("hello", 5), 5);
    EXPECT_EQ(s.Position(), 5);
    EXPECT_EQ(s.Size(), 5);

    // Seeking clamps at the start from every origin; a seek past the end is allowed.
    EXPECT_EQ(s.Seek(-2, TSeekOrigin::End), 3);
    EXPECT_EQ(s.Seek(-10, TSeekOrigin::Current), 0);
    EXPECT_EQ(s.Seek(-1, TSeekOrigin::Beginning), 0);
    EXPECT_EQ(s.Seek(-9, TSeekOrigin::End), 0);
    EXPECT_EQ(s.Seek(2, TSeekOrigin::End), 7);
    EXPECT_EQ(s.Remaining(), 0);
    char buf[8] = {};
    EXPECT_EQ(s.Read(buf, 4), 0);

    // Writing past the end fills the gap with zeros.
    s.WriteBuffer("!", 1);
    EXPECT_EQ(s.AsString(), std::string("hello\0\0!", 8));

    s.SetPosition(3);
    EXPECT_EQ(s.Remaining(), 5);
    EXPECT_EQ(s.Read(buf, 100), 5);  // a short read moves what there is
    EXPECT_EQ(std::string(buf, 5), std::string("lo\0\0!", 5));
    EXPECT_EQ(s.Read(buf, 0), 0);
    EXPECT_EQ(s.Read(buf, -3), 0);

    s.SetSize(2);  // shrinking pulls the position back
    EXPECT_EQ(s.Position(), 2);
    EXPECT_EQ(s.AsString(), "he");
    s.SetSize(4);
    EXPECT_EQ(s.AsString(), std::string("he\0\0", 4));
}

TEST(TMemoryStreamTest, ReadBufferAndWriteBufferAreAllOrError) {
    TMemoryStream s("abc");
    char buf[4] = {};
    s.ReadBuffer(buf, 2);
    EXPECT_EQ(std::string(buf, 2), "ab");
    EXPECT_THROW(s.ReadBuffer(buf, 2), EStreamError);
    s.ReadBuffer(buf, 0);  // nothing asked, nothing raised

    TMemoryStream src("0123456789");
    TMemoryStream dst;
    src.SetPosition(7);
    EXPECT_EQ(dst.CopyFrom(src, 0), 10);  // 0: the whole source from its start
    EXPECT_EQ(dst.AsString(), "0123456789");
    src.SetPosition(2);
    EXPECT_EQ(dst.CopyFrom(src, 3), 3);
    EXPECT_EQ(dst.AsString(), "0123456789234");
    EXPECT_THROW(dst.CopyFrom(src, 50), EStreamError);

    TMemoryStream copy;
    copy.Write("junk", 4);
    copy.LoadFromStream(src);
    EXPECT_EQ(copy.AsString(), "0123456789");
    EXPECT_EQ(copy.Position(), 0);
}

TEST(TFileStreamTest, MixesReadsWritesAndSeeks) {
    const TFileRoot root(TestData::ScratchDir());
    const std::string path = root.Folder() + "/stream.bin";
    {
        TFileStream f(path, TFileMode::Create);
        f.WriteBuffer("abcdef", 6);
        EXPECT_EQ(f.Size(), 6);
        // A seek before the start clamps to 0 whatever the origin.
        f.SetPosition(3);
        EXPECT_EQ(f.Seek(-10, TSeekOrigin::Current), 0);
        EXPECT_EQ(f.Seek(-10, TSeekOrigin::End), 0);
        EXPECT_EQ(f.Seek(-1, TSeekOrigin::Beginning), 0);
    }
    {
        TFileStream f(path, TFileMode::OpenReadWrite);
        char buf[4] = {};
        EXPECT_EQ(f.Read(buf, 2), 2);
        EXPECT_EQ(f.Write("XY", 2), 2);  // straight after a read, at the read position
        EXPECT_EQ(f.Position(), 4);
        EXPECT_EQ(f.Read(buf, 4), 2);  // straight after a write
        EXPECT_EQ(std::string(buf, 2), "ef");
        f.SetSize(3);
        EXPECT_EQ(f.Position(), 3);
        EXPECT_EQ(f.Size(), 3);
        EXPECT_TRUE(f.Flush());
    }
    TMemoryStream m;
    ASSERT_TRUE(m.LoadFromFile(root, "STREAM.bin"));
    EXPECT_EQ(m.AsString(), "abX");
    EXPECT_THROW(TFileStream(path + ".missing", TFileMode::OpenRead), EStreamError);
    EXPECT_THROW(TFileStream(root, "stream.bin.missing", TFileMode::OpenRead), EStreamError);
    EXPECT_FALSE(m.LoadFromFile(root, "stream.bin.missing"));
    EXPECT_EQ(m.Size(), 0);  // a failed load leaves the stream empty
}

// ---- string lists ----

TEST(TStringListTest, TextSplitsAtCrLfLfAndCrAndJoinsWithCrLf) {
    struct Case {
        std::string text;
        Items lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"a\r\n", {"a"}},
        {"a\r\n\r\n", {"a", ""}},
        {"\n\n", {"", ""}},
        {"a\r\r\nb", {"a", "", "b"}},
        {"a\n\rb", {"a", "", "b"}},
        {"表\r\nソ"_sj, {"表"_sj, "ソ"_sj}},  // both end in the byte 0x5C
    };
    for (const auto& c : cases) {
        TStringList l;
        l.SetText(c.text);
        EXPECT_EQ(l.Items, c.lines) << testing::PrintToString(c.text);
    }
    TStringList l;
    l.Items = {"a", "", "b"};
    EXPECT_EQ(l.Text(), "a\r\n\r\nb\r\n");
    TStringList empty;
    EXPECT_EQ(empty.Text(), "");

    TMemoryStream s;
    l.SaveToStream(s);
    s.SetPosition(0);
    TStringList back;
    back.LoadFromStream(s);
    EXPECT_EQ(back.Items, l.Items);
}

TEST(TStringListTest, NameValueLookUpIgnoresAsciiCaseOnly) {
    TStringList l;
    l.SetText(
        "Width=640\r\nno equals\r\n=empty name\r\nTitle=a=b\r\n"
        "\x83\x41=katakana a\r\nwidth=second\r\n");
    EXPECT_EQ(l.Values("WIDTH"), "640");  // the first line of that name
    EXPECT_EQ(l.IndexOfName("width"), 0);
    EXPECT_EQ(l.Values("title"), "a=b");  // the name ends at the first "="
    EXPECT_EQ(l.Values(""), "empty name");
    EXPECT_EQ(l.Values("no equals"), "");
    EXPECT_EQ(l.IndexOfName("no equals"), -1);
    EXPECT_EQ(l.Names(1), "");
    EXPECT_EQ(l.Names(3), "Title");
    EXPECT_EQ(l.ValueFromIndex(3), "a=b");
    // ア is 0x83 0x41 and ヂ is 0x83 0x61: their trail bytes are "A" and "a", and must not fold.
    EXPECT_EQ(l.IndexOfName("\x83\x41"), 4);
    EXPECT_EQ(l.IndexOfName("\x83\x61"), -1);
    EXPECT_EQ(l.IndexOf("\x83\x61=KATAKANA A"), -1);
    EXPECT_EQ(l.IndexOf("\x83\x41=KATAKANA A"), 4);
    // An index from a failed look-up gives empty texts rather than reading outside the list.
    EXPECT_EQ(l.Names(-1), "");
    EXPECT_EQ(l.ValueFromIndex(l.Count()), "");

    l.SetValue("TITLE", "x");
    EXPECT_EQ(l[3], "TITLE=x");
    l.SetValue("new", "1");
    EXPECT_EQ(l[l.Count() - 1], "new=1");
    l.SetValue("Width", "");  // an empty value deletes the first line of that name
    EXPECT_EQ(l.Values("width"), "second");
    l.SetValue("absent", "");
    EXPECT_EQ(l.Count(), 6);

    EXPECT_EQ(ClassLib::LowerAscii("AbC\x83\x41Z\x81"), "abc\x83\x41z\x81");
    EXPECT_TRUE(ClassLib::SameTextAscii("ABC", "abc"));
    EXPECT_FALSE(ClassLib::SameTextAscii("ABC", "abcd"));
    // SameTextAscii is equality of the lowered texts, trail bytes kept as they are.
    const char* texts[] = {"",
                           "a",
                           "A",
                           "@",
                           "`",
                           "[",
                           "{",
                           "Self",
                           "sELF",
                           "\x83\x41",
                           "\x83\x61",
                           "x\x83\x41",
                           "X\x83\x61",
                           "\x81\x5c",
                           "\x81\x7c",
                           "\xe0"
                           "A",
                           "\xe0"
                           "a",
                           "Z\x81"};
    for (const char* a : texts)
        for (const char* b : texts)
            EXPECT_EQ(ClassLib::SameTextAscii(a, b), ClassLib::LowerAscii(a) == ClassLib::LowerAscii(b))
                << '"' << a << "\" \"" << b << '"';
}

TEST(TStringListTest, CommaTextRoundTrips) {
    const Items lists[] = {
        {"a", "b", "c"},
        {"a b", "c,d", "say \"hi\"", ""},
        {"", "x"},
        {"tab\there", "line\r\nend", std::string("nul\0byte", 8), "\x01"},
        {"表"_sj, "ソ,ア"_sj},
    };
    for (const auto& items : lists) {
        TStringList l;
        l.Items = items;
        TStringList back;
        back.SetCommaText(l.CommaText());
        EXPECT_EQ(back.Items, items) << l.CommaText();
    }
    TStringList l;
    l.Items = {"a b", "c", "q\"", ""};
    EXPECT_EQ(l.CommaText(), "\"a b\",c,\"q\"\"\",");

    struct Case {
        std::string text;
        Items items;
    };
    const Case reads[] = {
        {"", {}},
        {"a, b c", {"a", "b", "c"}},  // blanks separate too
        {" \"x, y\" ,z", {"x, y", "z"}},
        {"a,,b", {"a", "", "b"}},
        {"a,", {"a", ""}},
        {",a", {"", "a"}},
        {"\"open", {"open"}},
    };
    for (const auto& c : reads) {
        TStringList r;
        r.SetCommaText(c.text);
        EXPECT_EQ(r.Items, c.items) << c.text;
    }
}

TEST(TStringListTest, InsertDeleteAndFiles) {
    TStringList l;
    l.Add("b");
    l.Insert(0, "a");
    l.Insert(99, "c");  // out-of-range positions clamp
    l.Insert(-4, "0");
    EXPECT_EQ(l.Items, (Items{"0", "a", "b", "c"}));
    l.Delete(0);
    l.Delete(17);
    l.Delete(-1);
    EXPECT_EQ(l.Items, (Items{"a", "b", "c"}));

    const TFileRoot root(TestData::ScratchDir());
    ASSERT_TRUE(l.SaveToFile(root, "list.txt"));
    TStringList back;
    ASSERT_TRUE(back.LoadFromFile(root, "LIST.txt"));
    EXPECT_EQ(back.Items, l.Items);
    EXPECT_FALSE(back.LoadFromFile(root, "list.txt.missing"));
}

}  // namespace
