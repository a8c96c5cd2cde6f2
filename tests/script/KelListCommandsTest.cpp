// The "list" and "file" words run as script statements through the headless interpreter: every
// word with its results, the queries clearing stale results, the refusals of indexes outside a
// list (which change nothing), the limit of a joined text, loading through the search folders and
// writing a list to a disk file.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "script/KelGeneralCommands.h"
#include "script/KelListCommands.h"
#include "script/uKelObjectKinds.h"
#include "tests/support/QueryRows.h"
#include "tests/support/ScriptHarness.h"

namespace {

class ListWordsTest : public ::testing::Test {
protected:
    ListWordsTest() : H([](TObjectKindRegistry& kinds, TScriptLinks&) { KelListCommands::Register(kinds); }) {
        H.Script.Words.General = &KelGeneralCommands::Handler();
        H.Execute({"\\var,list,L", "\\var,list,M", "\\var,file,F", "\\scp,L"});
    }
    // The lines of L joined by "|", read without going through the words.
    std::string Lines() {
        std::string out;
        auto* list = dynamic_cast<TKelObjectDataStringList*>(H.Script.Objects->Find(H.Script.Evaluate("L").Text));
        if (!list) return "no list";
        for (const std::string& line : list->Lines().Items) {
            if (!out.empty()) out += '|';
            out += Encoding::SjisToUtf8(line);
        }
        return out;
    }

    TScriptHarness H;
};

TEST_F(ListWordsTest, WordsAndQueries) {
    const std::vector<TQueryRow> rows = {
        {{"\\i", "\\c,3"}, "\\?c", {3}},
        // The separator goes only after collected text: empty lines at the start leave none.
        {{"\\i", "\\a,\"\"", "\\a,\"a\"", "\\a,\"\"", "\\a,\"b\""}, "\\txt,\",\"", {}, {"a,,b"}},
        {{"\\i", "\\a,\"\"", "\\a,\"\"", "\\a,\"x\""}, "\\txt,\"-\"", {}, {"x"}},
        {{"\\i", "\\c,5", "\\s,0,\"first\"", "\\c,1"}, "\\txt,\"/\"", {}, {"first"}},
        // Names compare without regard to case; the value reads as a number too.
        {{"\\i", "\\v,\"k\",\"12\""}, "\\?v,\"K\"", {12}, {"12"}},
        {{"\\i", "\\a,\"x=1\"", "\\a,\"K=2\"", "\\v,\"k\",\"3\""}, "\\txt,\",\"", {}, {"x=1,k=3"}},
        {{"\\v,\"k\",\"\""}, "\\txt,\",\"", {}, {"x=1"}},  // an empty value deletes the line
        {{"\\i", "\\a,\"n=$10\"", "\\a,\"4294967297\"", "\\a,\"1.5\""}, "\\?v,\"n\"", {16}, {"$10"}},
        {{}, "\\?s,1", {1}, {"4294967297"}},  // 64-bit reading, low 32 bits
        {{}, "\\?s,2", {0}, {"1.5"}},         // no whole number
        {{}, "\\?n,0", {}, {"n"}},
        {{}, "\\?n,1", {}, {""}},  // a line without "=" has no name
        {{}, "\\?v,\"none\"", {0}, {""}},
        {{"\\i", "\\a,\"b\"", "\\aa,0,\"a\"", "\\aa,2,\"c\""}, "\\txt,\"\"", {}, {"abc"}},
        {{"\\i", "\\ad,\"/\",\"x / y/z\",1,0"}, "\\txt,\",\"", {}, {"x,y,z"}},
        {{"\\i", "\\ad,\"/\",\"a/ b//c\",0,1"}, "\\txt,\",\"", {}, {"a, b,"}},
        {{"\\i", "\\a,1", "\\a,2", "\\a,3", "\\dd,0", "\\d"}, "\\txt,\",\"", {}, {"2"}},
        {{"\\i", "\\a,\"Apple\"", "\\a,\"k=v\""}, "\\idx,\"APPLE\"", {0}},
        {{}, "\\idx,\"k\"", {-1}},
        {{}, "\\idxn,\"K\"", {1}},
        {{}, "\\idxn,\"Apple\"", {-1}},
        {{"\\i", "\\a,1", "\\a,2", "\\sw,0,1"}, "\\txt,\",\"", {}, {"2,1"}},
        {{"\\i", "\\a,\"b\"", "\\a,\"C\"", "\\a,\"a\"", "\\sort"}, "\\txt,\",\"", {}, {"a,b,C"}},
        {{"\\scp,M", "\\i", "\\a,\"p\"", "\\a,\"q\"", "\\scp,L", "\\asn,M"}, "\\txt,\",\"", {}, {"p,q"}},
        {{"\\i", "\\a,\"日本語\"", "\\s,0,\"表示\""}, "\\?s,0", {0}, {"表示"}},
        {{"\\i"}, "\\?c", {0}},
    };
    QueryRows::Run(H, rows);
}

TEST_F(ListWordsTest, IndexesOutsideTheListAreRefusedAndChangeNothing) {
    H.Execute({"\\a,\"a\"", "\\a,\"b\""});
    const QueryRows::TErrorRow rows[] = {
        {{"\\?n,2"}, "\\?n:範囲外の行にアクセスしました：2"},
        {{"\\s,-1,\"x\""}, "\\s:範囲外の行にアクセスしました：-1"},
        {{"\\?s,1+1"}, "\\?s:範囲外の行にアクセスしました：1+1"},  // the index as written, equal to the count
        {{"\\dd,2"}, "\\dd:範囲外の行にアクセスしました：2"},
        {{"\\dd,-1"}, "\\dd:範囲外の行にアクセスしました：-1"},
        {{"\\sw,0,2"}, "\\sw:範囲外の行にアクセスしました：0"},
        {{"\\sw,-1,0"}, "\\sw:範囲外の行にアクセスしました：-1"},
        {{"\\aa,3,\"x\""}, "\\aa:範囲外の行にアクセスしました：3"},
        {{"\\aa,-1,\"x\""}, "\\aa:範囲外の行にアクセスしました：-1"},
        {{"\\c,-1"}, "\\c:範囲外の行にアクセスしました：-1"},
        {{"\\c,2000000000"}, "\\c:範囲外の行にアクセスしました：2000000000"},
        {{"\\asn,F"}, "\\asn:異なるオブジェクトはAssignできません：F"},
        {{"\\asn,\"nothing\""}, "\\asn:オブジェクトが存在しません：\"nothing\""},
        {{"\\l,\"missing.txt\""}, "\\l:ファイルの読み込みに失敗：missing.txt"},
    };
    QueryRows::RunErrors(H, rows);
    EXPECT_EQ(Lines(), "a|b");

    H.Execute({"\\i"});
    H.ClearErrors();
    H.Execute({"\\d"});
    EXPECT_EQ(H.FirstError(), "\\d:範囲外の行にアクセスしました：");
    EXPECT_EQ(Lines(), "");
}

TEST_F(ListWordsTest, AJoinedTextAboveSixtyFourKilobytesIsRefused) {
    // Save games keep texts with a 16-bit length: 65535 bytes is the most a joined text may be.
    std::string add = "\\a,\"";
    add.append(32767, 'x');
    add += '"';
    H.Execute({add, add});
    H.Execute({"\\txt,\"z\""});
    EXPECT_EQ(H.ResultStr(0).size(), 65535u);
    EXPECT_EQ(H.FirstError(), "");
    H.Execute({"\\txt,\"zz\""});
    EXPECT_EQ(H.FirstError(), "\\txt:連結した文字列が65535バイトを超えます");
    EXPECT_EQ(H.ResultStr(0), "");
}

TEST_F(ListWordsTest, LoadsThroughTheSearchFoldersAndWritesToADiskFile) {
    H.AddRawFile("data\\names.txt", "one\r\ntwo\nthree\rfour");
    H.Script.Path->Add("data");
    H.Execute({"\\a,\"old\"", "\\l,\"names.txt\""});
    EXPECT_EQ(Lines(), "one|two|three|four");
    EXPECT_EQ(H.FirstError(), "");

    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kel-list-words";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder / "Sub");
    const TFileRoot files(folder.string());
    H.Script.Links.Files = &files;
    H.Execute({"\\stf,\"sub\\OUT.txt\""});
    std::string written;
    EXPECT_TRUE(files.ReadFile("Sub\\out.txt", written));
    EXPECT_EQ(written, "one\r\ntwo\r\nthree\r\nfour\r\n");
    // A folder that is not there: nothing is written and nothing reported.
    H.Execute({"\\stf,\"none\\x.txt\""});
    EXPECT_FALSE(files.FileExists("none\\x.txt"));
    EXPECT_EQ(H.FirstError(), "");
    H.Script.Links.Files = nullptr;
    std::filesystem::remove_all(folder);
}

TEST_F(ListWordsTest, FileWords) {
    H.AddFile("conf.txt", "key=12\r\nname=値\r\nline3");
    H.Execute({"\\scp,F"});
    const std::vector<TQueryRow> rows = {
        {{"\\l,\"conf.txt\""}, "\\c", {3}},
        {{}, "\\g,\"KEY\"", {12}, {"12"}},
        {{}, "\\g,\"name\"", {0}, {"値"}},
        {{}, "\\gl,2", {0}, {"line3"}},
        {{}, "\\gl,3", {0}, {""}},
        {{"\\l,\"missing.txt\""}, "\\c", {3}, {}, "\\l:ファイルの読み込みに失敗：missing.txt"},
        {{"\\i"}, "\\c", {0}},
        {{}, "\\?l", {}, {""}},
    };
    QueryRows::Run(H, rows);
    H.Execute({"\\l,\"conf.txt\"", "\\?l"});
    EXPECT_EQ(H.ResultStr(0), "conf.txt");
}

TEST_F(ListWordsTest, AWordOutsideTheTablesIsNotTheirs) {
    for (const char* scope : {"\\scp,L", "\\scp,F"}) {
        H.Execute({scope});
        H.ClearErrors();
        H.Execute({"\\nope"});
        EXPECT_NE(H.FirstError().find("未定義の命令"), std::string::npos) << scope;
    }
}

}  // namespace
