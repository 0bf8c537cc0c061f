// Pack: the live records into a new table and their memos into a new memo
// file, committed with two renames under a roll-forward marker.
//
// Why a kill at any moment leaves the old table or the packed one
// ----------------------------------------------------------------
// A pack never writes into the table or memo file it packs. It runs with
// the table open exclusively (the share-mode byte write-locked) and the file
// lock region held, so no other station reads or writes meanwhile, and:
//   1. writes the packed table to "<stem>.pkd" and the new memo file to
//      "<stem>.pkm" beside the originals, syncs both and opens them with the
//      same share-mode and file locks as the originals;
//   2. creates the marker "<stem>.pk$" and syncs it and the directory: from
//      here on the pack counts as done;
//   3. renames the memo file, then the table into place (the descriptors
//      keep their locks, so the new files are never unlocked under their
//      real names while we live) and syncs the directory;
//   4. removes the marker and syncs the directory.
// A kill before 2 leaves the originals untouched beside stray temporaries;
// a kill after 2 leaves the marker and the renames still to do, and the
// temporaries then are complete (they were synced before the marker).
// Whoever opens (USE) or packs the table next settles it before reading the
// header: with the marker it renames the temporaries that are left into
// place, memo first, and removes the marker (roll forward); without it it
// deletes the temporaries (roll back). Each step can be repeated, so a kill
// while settling is settled the same way by the next opener.
//
// Settling needs the table exclusively. A station that cannot have it so
// opens normally and leaves settling to a later open, which is safe:
//   - a pack under way holds the old table exclusively until step 3 and the
//     new one from then on, so nobody can open it, let alone settle it;
//   - a killed pack's locks die with it, so the first station to open the
//     table afterwards is alone, gets it exclusively and settles it. Between
//     the renames of step 3 the memo file is new and the table old; nobody
//     sees that mix, because anybody who can open the table at all comes
//     after that first opener has settled it, or while it holds the table
//     exclusively (then the open fails with a sharing violation, as during
//     any pack).
// Stations that ignore the share-mode byte (network locking off) are outside
// this, as they are outside every other lock rule.
#include "Engine.h"

#include "engine/RecordCodec.h"
#include "engine/WorkArea.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace qb::engine {

namespace {
std::string readOnlyText(const WorkArea& wa, const char* op)
{
    return "File is read-only: " + wa.fileName + " [" + op + "]";
}

bool exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Makes renames, creations and removals in the table's directory durable.
int syncDirectoryOf(const std::string& path)
{
    std::size_t slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return platform::errnoToCode(errno);
    int rc = ::fsync(fd) == 0 ? 0 : platform::errnoToCode(errno);
    ::close(fd);
    return rc;
}

int removeIfThere(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 || errno == ENOENT ? 0 : platform::errnoToCode(errno);
}

// Creates the marker with O_EXCL (a leftover one was settled before) and
// syncs it; its presence is all it says.
int createMarker(const std::string& path)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return platform::errnoToCode(errno);
    static const char kText[] = "pack committed: rename the .pkm and .pkd files into place\r\n";
    int rc = ::write(fd, kText, sizeof kText - 1) == static_cast<ssize_t>(sizeof kText - 1) && ::fsync(fd) == 0
                 ? 0
                 : platform::errnoToCode(errno ? errno : EIO);
    ::close(fd);
    return rc;
}

void putU32(unsigned char* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}
} // namespace

bool Engine::settlePack(const std::string& tablePath, bool haveExclusive)
{
    const std::string marker = companionPath(tablePath, ".pk$");
    const std::string packedTable = companionPath(tablePath, ".pkd");
    const std::string packedMemo = companionPath(tablePath, ".pkm");
    const bool forward = exists(marker);
    if (!forward && !exists(packedTable) && !exists(packedMemo))
        return true;
    platform::PosixFile guard;
    if (!haveExclusive && guard.open(tablePath, platform::Access::ReadWrite, platform::Share::DenyAll) != 0)
        return true; // open elsewhere: settled already or being settled (see above)
    int rc = 0;
    if (forward) {
        if (exists(packedMemo) && ::rename(packedMemo.c_str(), companionName(tablePath, ".dbt").c_str()) != 0)
            rc = platform::errnoToCode(errno);
        if (rc == 0 && exists(packedTable) && ::rename(packedTable.c_str(), tablePath.c_str()) != 0)
            rc = platform::errnoToCode(errno);
        if (rc == 0)
            rc = syncDirectoryOf(tablePath);
        if (rc == 0)
            rc = removeIfThere(marker);
    } else {
        rc = removeIfThere(packedTable);
        if (rc == 0)
            rc = removeIfThere(packedMemo);
    }
    if (rc == 0)
        rc = syncDirectoryOf(tablePath);
    if (rc) {
        setError(rc, "Cannot finish an interrupted pack of " + tablePath + " [USE/Pack]");
        return false;
    }
    return true;
}

bool Engine::Pack()
{
    WorkArea* wa = area("PACK");
    if (!wa)
        return false;
    if (wa->readOnly) {
        setError(err::kAccessDenied, readOnlyText(*wa, "PACK"));
        return false;
    }
    refreshCount(*wa);
    {
        // Only what the file really holds: a damaged header count of an
        // exclusive area would otherwise make the scan run for billions of records.
        std::int64_t size = wa->dbf.size();
        std::int64_t inFile = size > wa->headerLen ? (size - wa->headerLen) / wa->recordLen : 0;
        if (size >= 0 && wa->recCount > inFile)
            wa->recCount = inFile;
    }
    if (wa->recCount < 1)
        return false;
    wa->dropCache();
    if (!flushArea(*wa, "Error packing " + wa->fileName))
        return false;
    releaseAll(*wa);

    const platform::Access access = wa->access;
    const platform::Share share = wa->share;
    const bool wasShared = share == platform::Share::DenyNone;
    if (wasShared && !reopen(*wa, platform::Access::ReadWrite, platform::Share::DenyAll, "Pack")) {
        int code = m_lastError;
        std::string text = m_lastErrorText;
        if (!reopen(*wa, access, share, "Pack")) {
            setError(m_lastError, "Cannot re-open database sharable. " + wa->fileName + " [Pack]");
            closeArea(*wa, false);
            return false;
        }
        setError(code, text);
        return false;
    }

    // Windows stations do not see the share-mode byte but honour the file lock.
    bool fileLocked = false;
    if (share != platform::Share::NoSharing) {
        ++m_lockAttempts;
        platform::LockResult lr = wa->dbf.lock(kAppendLockOffset, kFileLockLength);
        fileLocked = lr == platform::LockResult::Locked;
        if (!fileLocked)
            setError(err::kLockViolation, "Error packing " + wa->fileName);
    }
    bool ok = fileLocked || share == platform::Share::NoSharing;
    if (ok)
        ok = packRecords(*wa);
    wa->dropCache();
    if (fileLocked)
        wa->dbf.unlock(kAppendLockOffset, kFileLockLength); // the packed table's, when it is in place
    int code = m_lastError;
    std::string text = m_lastErrorText;

    if (wa->recCount >= 1) {
        if (readRecord(*wa, 1))
            wa->eof = wa->bof = false;
    } else {
        blankRecord(*wa);
        wa->recNo = 0;
        wa->eof = wa->bof = true;
    }
    if (wasShared && !reopen(*wa, access, share, "Pack")) {
        setError(m_lastError, "Cannot re-open database sharable. " + wa->fileName + " [Pack]");
        closeArea(*wa, false);
        return false;
    }
    if (code)
        setError(code, text);
    else
        clearError();
    return ok;
}

bool Engine::packRecords(WorkArea& wa)
{
    const std::string failText = "Error packing " + wa.fileName;
    // Temporaries of an earlier pack cut short go first; we hold the table
    // exclusively, so nobody else is settling it.
    if (!settlePack(wa.fileName, true)) {
        setError(m_lastError, failText);
        return false;
    }
    const std::string marker = companionPath(wa.fileName, ".pk$");
    const std::string packedTable = companionPath(wa.fileName, ".pkd");
    const std::string packedMemo = companionPath(wa.fileName, ".pkm");
    const bool withMemo = wa.hasMemo && wa.memo.isOpen();

    std::vector<std::string> live;
    std::string raw;
    for (std::int64_t r = 1; r <= wa.recCount; ++r) {
        if (!readRaw(wa, r, raw, "Pack")) {
            setError(m_lastError, failText);
            return false;
        }
        if (raw[0] != '*')
            live.push_back(raw);
    }
    std::string head(static_cast<std::size_t>(wa.headerLen), '\0');
    if (wa.dbf.readAt(0, head.data(), head.size()) != static_cast<std::int64_t>(head.size())) {
        setError(err::kReadError, failText);
        return false;
    }

    MemoFile fresh;
    platform::PosixFile packed;
    auto fail = [&](int rc) {
        fresh.close();
        packed.close();
        std::remove(packedTable.c_str());
        std::remove(packedMemo.c_str());
        setError(rc, failText);
        return false;
    };
    const bool locking = wa.share != platform::Share::NoSharing;
    struct stat st {};

    if (withMemo) {
        // The memos of the live records, each once, into a fresh memo file.
        int rc = MemoFile::create(packedMemo);
        if (rc == 0)
            rc = fresh.open(packedMemo, platform::Access::ReadWrite, platform::Share::NoSharing);
        std::map<std::int64_t, std::int64_t> moved;
        for (auto& rec : live) {
            for (const FieldInfo& f : wa.fields) {
                if (rc || f.type != 'M')
                    continue;
                std::string_view cell(rec.data() + f.offset, static_cast<std::size_t>(f.length));
                std::int64_t block = RecordCodec::parseInteger(cell);
                std::int64_t target = 0;
                if (block > 0) {
                    auto it = moved.find(block);
                    if (it != moved.end()) {
                        target = it->second;
                    } else {
                        std::string text;
                        int mr = wa.memo.read(block, text);
                        if (mr == 0) {
                            rc = fresh.write(text, false, target);
                        } else if (mr != err::kInvalidMemoAddress) {
                            rc = mr;
                        } // a block outside the old file held nothing to keep
                        moved[block] = target;
                    }
                }
                std::string s = formatInteger(target, f.length);
                std::copy(s.begin(), s.end(), rec.begin() + f.offset);
            }
        }
        if (rc == 0 && ::fstat(wa.memo.file().fd(), &st) == 0)
            ::fchmod(fresh.file().fd(), st.st_mode & 07777); // keep the memo file's permissions
        if (rc == 0)
            rc = fresh.file().sync();
        fresh.close();
        // Locked as the file it replaces before it takes that file's name.
        if (rc == 0)
            rc = fresh.open(packedMemo, platform::Access::ReadWrite, wa.share);
        if (rc)
            return fail(rc);
    }

    // The packed table: the header as it is but for date and count, the
    // live records, the end byte.
    platform::LocalTime lt = platform::toLocal(m_clock.now());
    auto* h = reinterpret_cast<unsigned char*>(head.data());
    h[1] = static_cast<unsigned char>(std::clamp(lt.year - 1900, 0, 255));
    h[2] = static_cast<unsigned char>(lt.month);
    h[3] = static_cast<unsigned char>(lt.day);
    putU32(h + 4, static_cast<std::uint32_t>(live.size()));
    int rc = packed.create(packedTable);
    std::int64_t off = 0;
    std::string chunk = head;
    for (std::size_t i = 0; rc == 0 && i <= live.size(); ++i) {
        if (i < live.size())
            chunk += live[i];
        else
            chunk += '\x1A';
        if (chunk.size() >= static_cast<std::size_t>(kReadAheadBytes) || i == live.size()) {
            rc = packed.writeAt(off, chunk.data(), chunk.size());
            off += static_cast<std::int64_t>(chunk.size());
            chunk.clear();
        }
    }
    if (rc == 0 && ::fstat(wa.dbf.fd(), &st) == 0)
        ::fchmod(packed.fd(), st.st_mode & 07777);
    if (rc == 0)
        rc = packed.sync();
    packed.close();
    if (rc == 0)
        rc = packed.open(packedTable, platform::Access::ReadWrite, wa.share);
    if (rc == 0 && locking && packed.lock(kAppendLockOffset, kFileLockLength) != platform::LockResult::Locked)
        rc = err::kLockViolation;
    if (rc)
        return fail(rc);

    // Commit: from the synced marker on, the pack is done (see above).
    rc = createMarker(marker);
    if (rc == 0)
        rc = syncDirectoryOf(marker);
    if (rc) {
        std::remove(marker.c_str());
        return fail(rc);
    }
    if (withMemo)
        rc = fresh.file().renameTo(wa.memo.path());
    if (rc == 0)
        rc = packed.renameTo(wa.fileName);
    if (rc) {
        // The marker stays: the next open of the table finishes the renames.
        // Until then this area goes on with the files it has open.
        fresh.close();
        packed.close();
        setError(rc, failText);
        return false;
    }
    if (syncDirectoryOf(wa.fileName) == 0 && removeIfThere(marker) == 0)
        syncDirectoryOf(marker); // a marker left behind is removed by the next open

    wa.dbf = std::move(packed);
    if (withMemo)
        wa.memo = std::move(fresh);
    wa.recCount = static_cast<std::int64_t>(live.size());
    wa.mod = ModState::Unchanged;
    char date[16];
    std::snprintf(date, sizeof date, "%02d/%02d/%02d", lt.month % 100, lt.day % 100, lt.year % 100);
    wa.dateText = century ? std::string(date, 6) + std::to_string(lt.year) : std::string(date);
    return true;
}

} // namespace qb::engine
