// State of one work area of the Engine: the open table, its header values,
// buffers, position, modification and lock state. Internal to the engine;
// owned by Engine, one per slot.
#pragma once

#include "engine/Engine.h"
#include "engine/MemoFile.h"
#include "platform/Files.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qb::engine {

enum class ModState { Unchanged, Rewritten, Appended };
enum class LockState { None, File, Append, Records };

struct WorkArea {
    int number = 0;   // 1..35
    bool open = false;

    std::string alias;     // at most 10 characters, as given
    std::string fileName;  // path as opened (extension added, case resolved)
    bool exclusive = false;   // EXCLUSIVE keyword: locking is off for this area
    bool readOnly = false;    // dBASE II layout or a read-only open mode
    bool osLocks = true;      // network locking on and not exclusive, fixed at open
    platform::Access access = platform::Access::ReadWrite;
    platform::Share share = platform::Share::DenyNone;
    platform::FileHandle dbf;

    // Header values.
    int version = 0;
    bool dbase2 = false;
    bool hasMemo = false;
    std::string dateText; // last update, month/day/year
    std::int64_t recCount = 0;
    int headerLen = 0;
    int recordLen = 0;
    std::vector<FieldInfo> fields;

    // Current record.
    std::string raw;     // stored bytes of the current record (recordLen)
    TypedRecord typed;
    std::int64_t recNo = 0;
    bool eof = true;
    bool bof = true;
    ModState mod = ModState::Unchanged;

    // Read-ahead block of whole records [cacheFirst, cacheFirst + cacheCount),
    // serving only the pass that read it (see Engine::fetchRecord): cachePass
    // is its direction (+1 forward, -1 backward), cacheLast the record it
    // handed out last.
    std::string cache;
    std::int64_t cacheFirst = 0;
    std::int64_t cacheCount = 0;
    int cachePass = 0;
    std::int64_t cacheLast = 0;
    std::string single; // a record read outside any pass
    void dropCache()
    {
        cacheCount = 0;
    }

    // Locks (oldest record lock first). A vector, not a deque: a deque
    // allocates on construction, and an engine builds 35 work areas.
    LockState lockState = LockState::None;
    std::vector<std::int64_t> lockedRecords;

    MemoFile memo;
    std::function<bool()> filter;
    std::vector<TypedRecord> stack;

    // LOCATE state kept for CONTINUE.
    bool locateActive = false;
    int locateField = 0; // 1-based
    std::string locateText;
    bool locateNoCase = false;
    bool locateExact = false;
    bool locateContained = false;

    std::int64_t recordOffset(std::int64_t r) const
    {
        return static_cast<std::int64_t>(headerLen) + (r - 1) * static_cast<std::int64_t>(recordLen);
    }
    std::int64_t recordLockOffset(std::int64_t r) const
    {
        return platform::lockmap::recordLockOffset(headerLen, recordLen, r);
    }

    // Forgets the open table; files are closed, buffers freed. Keeps number.
    void reset()
    {
        int n = number;
        *this = WorkArea{};
        number = n;
    }
};

} // namespace qb::engine
