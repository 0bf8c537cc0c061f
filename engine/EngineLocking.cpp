// The lock protocol every station follows on a shared table. The regions
// are in platform/Files.h; Windows stations lock the same bytes.
//
// Locks are open-file-description locks of the work area's own descriptor:
// two work areas (or two Engines) of one process exclude each other like two
// stations. On mounts without OFD locks platform falls back to classic locks
// with the same behaviour (see platform/ClassicLocks.h). Locks of one description merge and an unlock drops every own lock
// inside its range, so each work area unlocks exactly the regions it took, and
// its states (append, file, records) never coexist.
//
// Retries follow the table: retries + 1 immediate attempts, then the
// lock-failed callback may start another round. A lock the system refuses
// outright (EIO, ENOLCK: "lost") is not retried.
//
// A lock can vanish while held: an NFS client that loses its lease or an SMB
// client that loses its session answers the next lock call on the file with
// EIO or ENOLCK. So every write that needs a lock first asks for that lock
// again (taking an own lock again changes nothing while it is held) and is
// not made when the answer is anything but "locked".
//
// Sizes that decide where to write (Append's record number, a memo's next
// block, the end byte) are taken after the lock is granted, by seeking to the
// end of the file, not from fstat: network clients answer fstat from their
// attribute cache (the SMB client for up to a second by default, NFS for
// seconds), so two stations could both see the old size and write the same
// record or memo block. lseek(SEEK_END) makes the Linux NFS and SMB clients
// ask the server; taking the lock has flushed and invalidated their cached data.
#include "Engine.h"

#include "engine/WorkArea.h"

#include <algorithm>

namespace qb::engine {

bool Engine::usesOsLocks(const WorkArea& wa) const { return wa.osLocks; }

Engine::LockTry Engine::lockWithRetries(WorkArea& wa, std::int64_t off, std::int64_t len)
{
    int attempts = 0;
    for (;;) {
        ++m_lockAttempts;
        // A read-only descriptor cannot hold a write lock; its read lock still
        // conflicts with every writer's lock on the region.
        platform::LockResult r = wa.access == platform::Access::ReadOnly ? wa.dbf.lockShared(off, len)
                                                                         : wa.dbf.lock(off, len);
        if (r == platform::LockResult::Locked)
            return LockTry::Locked;
        if (r == platform::LockResult::Lost)
            return LockTry::Lost;
        ++attempts;
        if (attempts > lockRetries) {
            if (lockFailedCallback && lockFailedCallback()) {
                attempts = 0;
                continue;
            }
            return LockTry::Busy;
        }
    }
}

namespace {
std::string lostText(const WorkArea& wa, const char* op)
{
    return "Lock lost on " + wa.fileName + " [" + op + "]";
}
} // namespace

bool Engine::ALock()
{
    WorkArea* wa = area("ALOCK");
    if (!wa)
        return false;
    return takeRegionLock(*wa, LockState::Append, kAppendLockOffset, 1, "ALOCK");
}

bool Engine::FLock()
{
    WorkArea* wa = area("FLOCK");
    if (!wa)
        return false;
    return takeRegionLock(*wa, LockState::File, kAppendLockOffset, kFileLockLength, "FLOCK");
}

// The append lock and the file lock differ only in their region and state.
bool Engine::takeRegionLock(WorkArea& wa, LockState state, std::int64_t off, std::int64_t len, const char* op)
{
    if (wa.lockState == state)
        return true;
    if (wa.lockState != LockState::None)
        return false;
    if (usesOsLocks(wa)) {
        LockTry r = lockWithRetries(wa, off, len);
        if (r == LockTry::Lost)
            setError(err::kLockViolation, lostText(wa, op));
        if (r != LockTry::Locked)
            return false;
    }
    wa.lockState = state;
    wa.dropCache(); // under the lock the next read must come from the file
    return true;
}

bool Engine::RLock()
{
    WorkArea* wa = area("RLOCK");
    if (!wa)
        return false;
    if (recordLockLimit > 0 && wa->lockState == LockState::Records
        && static_cast<int>(wa->lockedRecords.size()) >= recordLockLimit) {
        setError(err::kRange, "Duver record lock limit exceeded [RLOCK]");
        return false;
    }
    const std::int64_t n = wa->recNo;
    if (wa->lockState == LockState::Records
        && std::find(wa->lockedRecords.begin(), wa->lockedRecords.end(), n) != wa->lockedRecords.end())
        return true;
    if (wa->lockState == LockState::Append || wa->lockState == LockState::File)
        return false;
    // Record 0 (an empty table) would put the region below the lock base,
    // over the share-mode and append bytes.
    if (n < 1) {
        setError(err::kRange, "Invalid record number = " + std::to_string(n) + " Database \"" + wa->alias + "\" [RLOCK]");
        return false;
    }
    if (usesOsLocks(*wa)) {
        LockTry r = lockWithRetries(*wa, wa->recordLockOffset(n), wa->recordLen);
        if (r == LockTry::Lost)
            setError(err::kLockViolation, lostText(*wa, "RLOCK"));
        if (r != LockTry::Locked)
            return false;
    }
    wa->lockedRecords.push_back(n);
    wa->lockState = LockState::Records;
    wa->dropCache(); // under the lock the next read must come from the file
    return true;
}

bool Engine::confirmLock(WorkArea& wa, const char* op)
{
    if (!usesOsLocks(wa) || !wa.dbf.isOpen())
        return true;
    std::int64_t off = 0, len = 0;
    switch (wa.lockState) {
    case LockState::None: return true;
    case LockState::File:
        off = kAppendLockOffset;
        len = kFileLockLength;
        break;
    case LockState::Append:
        off = kAppendLockOffset;
        len = 1;
        break;
    case LockState::Records:
        if (std::find(wa.lockedRecords.begin(), wa.lockedRecords.end(), wa.recNo) == wa.lockedRecords.end())
            return true; // the caller checks the record lock itself
        off = wa.recordLockOffset(wa.recNo);
        len = wa.recordLen;
        break;
    }
    platform::LockResult r = wa.access == platform::Access::ReadOnly ? wa.dbf.lockShared(off, len) : wa.dbf.lock(off, len);
    if (r == platform::LockResult::Locked)
        return true;
    // Gone, or taken by another station once it was gone: either way not ours.
    setError(err::kLockViolation, lostText(wa, op));
    wa.lockState = LockState::None;
    wa.lockedRecords.clear();
    return false;
}

bool Engine::unlockRegion(WorkArea& wa, std::int64_t off, std::int64_t len)
{
    if (int rc = wa.dbf.unlock(off, len)) {
        setError(rc, "Error attempting to UNLOCK file " + wa.fileName + " in Workarea " + std::to_string(wa.number));
        return false;
    }
    return true;
}

bool Engine::releaseAll(WorkArea& wa)
{
    bool ok = true;
    if (usesOsLocks(wa) && wa.dbf.isOpen()) {
        switch (wa.lockState) {
        case LockState::File: ok = unlockRegion(wa, kAppendLockOffset, kFileLockLength); break;
        case LockState::Append: ok = unlockRegion(wa, kAppendLockOffset, 1); break;
        case LockState::Records:
            // Most recent first.
            for (auto n = wa.lockedRecords.rbegin(); n != wa.lockedRecords.rend(); ++n)
                ok = unlockRegion(wa, wa.recordLockOffset(*n), wa.recordLen) && ok;
            break;
        case LockState::None: break;
        }
    }
    wa.lockState = LockState::None;
    wa.lockedRecords.clear();
    return ok;
}

void Engine::UnLock()
{
    if (WorkArea* wa = area("UNLOCK"))
        releaseAll(*wa);
}

bool Engine::UnlockRec(std::int64_t n)
{
    WorkArea* wa = area("UnlockRec");
    if (!wa)
        return false;
    auto notLocked = [&] {
        setError(err::kInvalidParameter, "Record not locked. [UnlockRec(" + std::to_string(n) + ")]");
        return false;
    };
    if (wa->lockState != LockState::Records || wa->lockedRecords.empty())
        return notLocked();
    if (n == -3)
        return releaseAll(*wa);
    auto it = wa->lockedRecords.end();
    if (n == -1)
        it = wa->lockedRecords.begin(); // oldest
    else if (n == -2)
        it = wa->lockedRecords.end() - 1; // most recent
    else
        it = std::find(wa->lockedRecords.begin(), wa->lockedRecords.end(), n);
    if (it == wa->lockedRecords.end())
        return notLocked();
    const std::int64_t rec = *it;
    wa->lockedRecords.erase(it);
    if (wa->lockedRecords.empty())
        wa->lockState = LockState::None;
    if (usesOsLocks(*wa))
        return unlockRegion(*wa, wa->recordLockOffset(rec), wa->recordLen);
    return true;
}

bool Engine::IsLocked(std::int64_t n)
{
    WorkArea* wa = area("IsLocked");
    if (!wa)
        return false;
    if (wa->lockState == LockState::File)
        return true;
    return wa->lockState == LockState::Records
           && std::find(wa->lockedRecords.begin(), wa->lockedRecords.end(), n) != wa->lockedRecords.end();
}

} // namespace qb::engine
