#include "tests/support/QueryRows.h"

#include <gtest/gtest.h>

namespace QueryRows {

void PlantStale(TScriptHarness& h, const TStaleResult& stale) {
    h.Script.SetResultInt("ResultInt", stale.Element, stale.Int);
    h.Script.SetResultStr("ResultStr", stale.Element, stale.Str);
}

bool StaleCleared(TScriptHarness& h, const TStaleResult& stale) {
    return h.ResultInt(stale.Element) == 0 && h.ResultStr(stale.Element).empty();
}

void Run(TScriptHarness& h, const std::vector<TQueryRow>& rows, const TStaleResult& stale) {
    for (const TQueryRow& row : rows) {
        std::string what;
        for (const std::string& s : row.Statements)
            what += s + " ";
        what += row.Query;
        h.ClearErrors();
        for (const std::string& s : row.Statements)
            h.Execute({s});
        EXPECT_EQ(h.FirstError(), row.Error) << what;
        PlantStale(h, stale);
        h.Execute({row.Query});
        for (size_t i = 0; i < row.Ints.size(); ++i)
            EXPECT_EQ(h.ResultInt(static_cast<int32_t>(i)), row.Ints[i]) << what << ", element " << i;
        for (size_t i = 0; i < row.Strs.size(); ++i)
            EXPECT_EQ(h.ResultStr(static_cast<int32_t>(i)), row.Strs[i]) << what << ", element " << i;
        EXPECT_TRUE(StaleCleared(h, stale)) << what << ": results not cleared";
    }
}

void RunErrors(TScriptHarness& h, std::span<const TErrorRow> rows) {
    for (const TErrorRow& row : rows) {
        h.ClearErrors();
        for (const std::string& s : row.Statements)
            h.Execute({s});
        EXPECT_EQ(h.FirstError(), row.Error) << row.Statements.back();
    }
}

}  // namespace QueryRows
