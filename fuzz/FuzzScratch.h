// The split of one input into a table file and a memo file, and the
// in-memory share the fuzz targets put their files into.
#pragma once

#include "platform/MemoryFileSystem.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qb::fuzz {

// Table and memo bytes cut from one input, with the options of the split word.
struct TableInput {
    std::string_view dbf;
    std::string_view dbt;
    bool withMemo = true;
    bool autoFix = false;
    bool hideDeleted = false;
};

class FuzzScratch {
public:
    // Cuts data after the 2-byte split word; shorter inputs give empty files.
    static TableInput splitTable(const std::uint8_t* data, std::size_t size);

    // The table and memo in a fresh in-memory share (nothing left over from
    // the input before, no system calls); returns the table's path there.
    static std::string putTable(platform::MemoryFileSystem& share, const TableInput& in);
};

// Aborts with the message when cond is false (an invariant of a target).
void require(bool cond, const char* what);

} // namespace qb::fuzz
