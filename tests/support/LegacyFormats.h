// Writers of the older file forms that the engine still reads but no longer writes, and a block
// splitter for byte-pair streams. They exist to make fixtures.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class THashTable;

namespace LegacyFormats {

struct TBPEBlock {
    std::string Table;   // the pair table bytes as stored
    std::string Packed;  // the packed codes
};

// The blocks of a byte-pair stream in the header form (16-bit lengths); empty when it is not one.
std::vector<TBPEBlock> SplitBPEBlocks(std::string_view headerForm);

// The same data in the older headerless form: the size first, then the same blocks with 32-bit
// block lengths.
std::string ToHeaderlessBPE(std::string_view headerForm);

// A hash-table file in the "hashver1.2" form (items without second hash); the version text is
// written as given so that its letter case can vary.
std::string WriteHashTable12(const THashTable& table, std::string_view versionText = "hashver1.2");

}  // namespace LegacyFormats
