// Tables of script statements for the tests of word handlers: statements followed by a query
// whose results are compared, and statements followed by the message they write. A query must
// clear the results before it writes, so each is run over a stale value planted in one element
// past those it writes, and that element must read empty afterwards.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tests/support/ScriptHarness.h"

// Statements, then a query whose first elements of "ResultInt" and "ResultStr" must read as
// given (only the elements given), and the first message the statements wrote.
struct TQueryRow {
    std::vector<std::string> Statements;
    std::string Query;
    std::vector<int32_t> Ints;
    std::vector<std::string> Strs = {};
    std::string Error = "";
};

// The stale value a query must clear: element Element of "ResultInt" and of "ResultStr".
struct TStaleResult {
    int32_t Element = 5;
    int32_t Int = 77;
    std::string Str = "old";
};

namespace QueryRows {

void PlantStale(TScriptHarness& h, const TStaleResult& stale = {});
bool StaleCleared(TScriptHarness& h, const TStaleResult& stale = {});

// Runs the rows in order on the objects in scope.
void Run(TScriptHarness& h, const std::vector<TQueryRow>& rows, const TStaleResult& stale = {});

// Statements, and the first message they write.
struct TErrorRow {
    std::vector<std::string> Statements;
    std::string Error;
};
void RunErrors(TScriptHarness& h, std::span<const TErrorRow> rows);

}  // namespace QueryRows
