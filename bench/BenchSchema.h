// The benchmark table: its schema, the contents of record i, the replace
// sequence and the checksum, exactly as the benchmark interface defines them
// so figures can be set beside other dBASE implementations.
#pragma once

#include "engine/Engine.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qb::tools {

class BenchSchema {
public:
    // Field numbers (1-based) in the order of the schema.
    enum Field { kIdent = 1, kChgCntr, kInUse, kName, kRemark, kGroup, kMisc, kColor, kTime, kMsgCnt, kPassword };

    // IDENT N 4 0, CHGCNTR N 3 0, INUSE L 1, NAME/REMARK/GROUP/MISC/COLOR
    // C 40, TIME N 10 5, MSGCNT N 4 0, PASSWORD C 10: header 385, record 233.
    static std::vector<engine::FieldSpec> fields();

    // Fills the typed buffer of the current work area with record i (1-based).
    // Requires an open table of this schema.
    static void fill(engine::Engine& e, std::int64_t i);

    // Replace step k: the record to change (1..n) given the generator state,
    // which the call advances, and the new REMARK and TIME.
    static std::int64_t nextReplaceTarget(std::uint64_t& x, std::int64_t n);
    static std::string replaceRemark(std::int64_t k) { return "Back " + std::to_string(k); }
    static double replaceTime(std::int64_t k) { return static_cast<double>((13 * k) % 1440) / 60.0; }
    static constexpr std::uint64_t kReplaceSeed = 20240601;

    // Adds the current record of the work area to the checksum (mod 2^64).
    static std::uint64_t checksumOf(engine::Engine& e);
};

} // namespace qb::tools
