// The scratch directory the fuzz targets write their input files into, and
// the split of one input into a table file and a memo file.
//
// One directory per process (under /dev/shm when it exists, since every
// input costs a few file writes), removed at exit. Not thread-safe: libFuzzer
// and the replay test call the targets from one thread.
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
    static FuzzScratch& instance();
    ~FuzzScratch();
    FuzzScratch(const FuzzScratch&) = delete;
    FuzzScratch& operator=(const FuzzScratch&) = delete;

    const std::string& dir() const { return m_dir; }
    // Writes the bytes as the file name in the scratch directory (replacing
    // it) and returns its path. Aborts when the write fails: an input that
    // never reached the disk would pass silently.
    std::string put(const std::string& name, std::string_view bytes);
    void remove(const std::string& name);

    // Writes t.dbf and, when the input has one, t.dbt (else removes it);
    // returns the table's path.
    std::string putTable(const TableInput& in);

    // Cuts data after the 2-byte split word; shorter inputs give empty files.
    static TableInput splitTable(const std::uint8_t* data, std::size_t size);

    // The table and memo in a fresh in-memory share (nothing left over from
    // the input before, no system calls); returns the table's path there.
    static std::string putTable(platform::MemoryFileSystem& share, const TableInput& in);

private:
    FuzzScratch();
    std::string m_dir;
};

// Aborts with the message when cond is false (an invariant of a target).
void require(bool cond, const char* what);

} // namespace qb::fuzz
