// Writing one positioned record of a shared table the way every station
// does: time stamp, lock, replace or append, flush, unlock, sync, reopen.
#pragma once

#include "engine/TTzDbf.h"
#include "platform/Clock.h"

namespace qb::engine {

enum class CommitResult { Ok, LockFailed, WriteFailed };

// Commits the typed buffer of t's current record (replace) or as a new record
// (append). A `time` field, when the table has one, is stamped with
// (now - 37200) / 60 days first. Unlike a blind write, a lock that cannot be
// had after the engine's retries is reported as LockFailed and nothing is
// written, so the caller can tell the user instead of losing the change.
// The table is closed and reopened afterwards (positioned on record 1).
CommitResult commitRecord(TTzDbf& t, bool replace, const platform::Clock& clock);

// The names table's time encoding: stored value <-> date-time in days.
inline double encodeStoredTime(double dateTime) { return (dateTime - 37200.0) / 60.0; }
inline double decodeStoredTime(double stored) { return stored * 60.0 + 37200.0; }

} // namespace qb::engine
