#include "BenchSchema.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace qb::tools {

namespace {

const char* const kColors[] = {"red", "green", "blue", "white", "black"};

std::size_t trimmedLength(const std::string& s)
{
    // Eight blanks at a time first: most of a padded field is blanks.
    const char* p = s.data();
    std::size_t n = s.size();
    constexpr std::uint64_t kBlanks = 0x2020202020202020ULL;
    std::uint64_t word = 0;
    while (n >= 8 && (std::memcpy(&word, p + n - 8, 8), word == kBlanks))
        n -= 8;
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0'))
        --n;
    return n;
}

} // namespace

std::vector<engine::FieldSpec> BenchSchema::fields()
{
    return {
        {"IDENT", 'N', 4, 0},   {"CHGCNTR", 'N', 3, 0}, {"INUSE", 'L', 1, 0},  {"NAME", 'C', 40, 0},
        {"REMARK", 'C', 40, 0}, {"GROUP", 'C', 40, 0},  {"MISC", 'C', 40, 0},  {"COLOR", 'C', 40, 0},
        {"TIME", 'N', 10, 5},   {"MSGCNT", 'N', 4, 0},  {"PASSWORD", 'C', 10, 0},
    };
}

void BenchSchema::fill(engine::Engine& e, std::int64_t i)
{
    e.ClearRecord();
    auto& f = e.record()->fields;
    f[kIdent - 1].integer = i % 10000;
    f[kChgCntr - 1].integer = i % 1000;
    f[kInUse - 1].logical = i % 3 != 0;
    f[kName - 1].text = "Person " + std::to_string(i);
    f[kRemark - 1].text = i % 2 == 1 ? "In" : "Out";
    f[kGroup - 1].text = "Group " + std::to_string(i % 17);
    f[kMisc - 1].text.clear();
    f[kColor - 1].text = kColors[i % 5];
    f[kTime - 1].real = static_cast<double>(i % 1440) / 60.0;
    f[kMsgCnt - 1].integer = (7 * i) % 10000;
    f[kPassword - 1].text = "pw" + std::to_string(i % 100000);
}

std::int64_t BenchSchema::nextReplaceTarget(std::uint64_t& x, std::int64_t n)
{
    x = x * 6364136223846793005ULL + 1442695040888963407ULL;
    return 1 + static_cast<std::int64_t>((x >> 33) % static_cast<std::uint64_t>(n));
}

std::uint64_t BenchSchema::checksumOf(engine::Engine& e)
{
    const auto& f = e.record()->fields;
    std::uint64_t sum = static_cast<std::uint64_t>(f[kIdent - 1].integer) + static_cast<std::uint64_t>(f[kChgCntr - 1].integer)
                        + static_cast<std::uint64_t>(f[kMsgCnt - 1].integer) + (f[kInUse - 1].logical ? 1 : 0);
    for (int c : {kName, kRemark, kGroup, kMisc, kColor, kPassword})
        sum += trimmedLength(f[c - 1].text);
    sum += static_cast<std::uint64_t>(std::llround(f[kTime - 1].real * 100000.0));
    return sum;
}

} // namespace qb::tools
