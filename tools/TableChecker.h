// Integrity check of one table file and its memo file for `qbtool check`.
//
// Reads raw bytes only, so any damage can be described: the header against the
// descriptors and the file size, each descriptor, every deletion flag, and
// every memo pointer against the memo file and its chain of blocks.
#pragma once

#include "MemoImage.h"
#include "TableImage.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qb::tools {

class TableChecker {
public:
    // Problems of the file at path, each one sentence without the file name;
    // empty when the table is sound. Repeated problems of one kind (say a
    // deletion flag in thousands of records) are cut to a few lines and a
    // count. Never throws for a damaged or unreadable file.
    std::vector<std::string> check(const std::string& path);

    // Checks files of fs; fs must outlive the checker.
    explicit TableChecker(platform::FileSystem& fs = platform::FileSystem::posix()) : m_fs(&fs) {}

private:
    void report(const std::string& kind, std::string text);
    // As report, but the text is made only for the first few of a kind: a
    // damaged table of millions of records costs no million sentences.
    template <typename MakeText>
    void reportLazily(const char* kind, MakeText makeText)
    {
        if (++m_perKind[kind] <= kMaxPerKind)
            m_problems.push_back(makeText());
    }
    static constexpr std::int64_t kMaxPerKind = 10;
    void checkHeader(const TableImage& t);
    void checkDescriptors(const TableImage& t);
    void checkSize(const TableImage& t);
    void checkRecords(const TableImage& t);
    void checkValues(std::int64_t recNo, std::string_view rec, const std::vector<RawField>& fields);
    void checkMemos(const TableImage& t);

    platform::FileSystem* m_fs;
    std::vector<std::string> m_problems;
    std::map<std::string, std::int64_t> m_perKind;
};

} // namespace qb::tools
