// Small helpers shared by the engine tests: a fixed clock, byte readers and
// a few table shapes used again and again.
#pragma once

#include "engine/Engine.h"
#include "platform/Clock.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TestSupport.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qb::engine::test {

// 14 March 2026, 10:00 local time.
inline platform::Clock::TimePoint fixedDay()
{
    return platform::fromLocal(qb::test::localTime(2026, 3, 14, 10));
}

inline std::uint32_t u32At(const std::string& b, std::size_t off)
{
    auto p = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(b.at(off + i))); };
    return p(0) | (p(1) << 8) | (p(2) << 16) | (p(3) << 24);
}

inline std::uint16_t u16At(const std::string& b, std::size_t off)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b.at(off))
                                      | (static_cast<unsigned char>(b.at(off + 1)) << 8));
}

inline std::vector<FieldSpec> namesFields()
{
    return {{"ident", 'N', 4, 0}, {"inuse", 'L', 1, 0}};
}

// ident N 4, name C 10, amount N 8 2, memo M.
inline std::vector<FieldSpec> mixedFields()
{
    return {{"ident", 'N', 4, 0}, {"name", 'C', 10, 0}, {"amount", 'N', 8, 2}, {"notes", 'M', 10, 0}};
}

// Appends one record under the append lock; the record buffer is filled by
// fill() after ClearRecord. Returns false when any step failed.
template <typename Fill>
bool appendWith(Engine& e, Fill fill)
{
    e.ClearRecord();
    fill(*e.record());
    if (!e.ALock())
        return false;
    e.Append();
    bool ok = e.lastError() == 0;
    e.FlushDbf();
    e.UnLock();
    return ok && e.lastError() == 0;
}

inline bool appendIdent(Engine& e, std::int64_t ident, const std::string& name = {})
{
    return appendWith(e, [&](TypedRecord& r) {
        r.fields[0].integer = ident;
        if (r.fields.size() > 1 && !name.empty())
            r.fields[1].text = name;
    });
}

} // namespace qb::engine::test
