// Pack: the live records into a new table and their memos into a new memo
// file, put in place with two renames under a marker that names the files
// they replace.
//
// Why a kill or a refused rename never loses a committed record
// --------------------------------------------------------------
// A pack never writes into the table or memo file it packs. It runs with
// the table open exclusively (the share-mode byte write-locked) and the file
// lock region held, so no station that keeps the lock rules reads or writes
// meanwhile, and:
//   1. writes the packed table to "<stem>.pkd" and the new memo file to
//      "<stem>.pkm" beside the originals, syncs both and opens them with the
//      same share-mode and file locks as the originals;
//   2. creates the marker "<stem>.pk$" naming the identity (device, inode,
//      size, last-write time) of the table and memo file it replaces and of
//      the two packed files, and syncs it and the directory;
//   3. renames the memo file, then the table into place (the descriptors
//      keep their locks, so the new files are never unlocked under their
//      real names while we live) and syncs the directory;
//   4. removes the marker and syncs the directory.
// A rename can be refused (on a share, a station that has the file open
// without the share-mode byte makes it fail). Then the pack undoes itself at
// once: a refused memo rename changed nothing, so the temporaries and the
// marker go; a refused table rename comes after the memo file was replaced,
// so the old memo file is copied back from the descriptor still open on it
// (".pko", renamed into place) before they go. Pack returns false and the
// table is as it was. Only when even that copy fails is the packed memo left
// in place with the marker, and the work area is closed, so that the next
// open finishes the pack before anybody reads.
//
// Whoever opens (USE) or packs the table next settles what it finds before
// reading the header. It rolls forward (renames what is left into place,
// memo first, and removes the marker) only when the marker reads whole and
// each of table and memo file is either still the original it names, with
// its packed file beside it as named, or already the packed one. Anything
// else (no marker, a torn or forged one, an original written since, a
// packed file that is not the one named) discards the temporaries and the
// marker: the originals are then what holds the records. The one state that
// can be neither finished nor discarded, the packed memo in place and the
// table rename refused again, fails the open instead of showing the new
// memos beside the old records. Each step can be repeated, so a kill while
// settling is settled the same way by the next opener.
//
// Identities compare inode, size and last-write time. The device number is
// written for whoever reads the marker but not compared: a network mount's
// device number differs from station to station and from one mount to the
// next, and the station that opens the table after a crash is often another
// one, or the same one restarted.
//
// Settling needs the table exclusively. A station that cannot have it so
// opens normally and leaves settling to a later open, which is safe:
//   - a pack under way holds the old table exclusively until step 3 and the
//     new one from then on, so nobody can open it, let alone settle it;
//   - a killed pack's locks die with it, so the first station to open the
//     table afterwards is alone, gets it exclusively and settles it.
// Stations that ignore the share-mode byte (network locking off) are outside
// this, as they are outside every other lock rule.
#include "Engine.h"

#include "engine/RecordCodec.h"
#include "engine/WorkArea.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <map>
#include <sstream>

namespace qb::engine {

namespace {
std::string readOnlyText(const WorkArea& wa, const char* op)
{
    return "File is read-only: " + wa.fileName + " [" + op + "]";
}

int removeIfThere(platform::FileSystem& fs, const std::string& path)
{
    int rc = fs.remove(path);
    return rc == err::kFileNotFound ? 0 : rc;
}

void putU32(unsigned char* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// What the marker says. Without a memo file the memo lines are absent.
struct PackMarker {
    platform::FileIdentity table, packedTable, memo, packedMemo;
    bool withMemo = false;
};

constexpr char kMarkerTitle[] = "pack committed: rename the .pkm and .pkd files into place if the files are these";

std::string identityLine(const char* what, const platform::FileIdentity& id)
{
    char line[160];
    std::snprintf(line, sizeof line, "%s %" PRIu64 " %" PRIu64 " %" PRId64 " %" PRId64 "\r\n", what, id.device, id.inode,
                  id.size, id.mtimeNs);
    return line;
}

std::string markerText(const PackMarker& m)
{
    std::string t = std::string(kMarkerTitle) + "\r\n" + identityLine("table", m.table)
                    + identityLine("packed-table", m.packedTable);
    if (m.withMemo)
        t += identityLine("memo", m.memo) + identityLine("packed-memo", m.packedMemo);
    return t + "end\r\n";
}

// Only a marker written whole counts; anything else (torn, empty, forged in
// another shape) reads as no marker.
bool parseMarker(const std::string& text, PackMarker& m)
{
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != std::string(kMarkerTitle) + "\r")
        return false;
    bool table = false, packedTable = false, memo = false, packedMemo = false, end = false;
    while (std::getline(in, line)) {
        if (line.empty() || line.back() != '\r' || end)
            return false;
        line.pop_back();
        if (line == "end") {
            end = true;
            continue;
        }
        std::istringstream f(line);
        std::string what, rest;
        platform::FileIdentity id;
        if (!(f >> what >> id.device >> id.inode >> id.size >> id.mtimeNs) || (f >> rest) || id.size < 0)
            return false;
        bool* seen = what == "table" ? &table : what == "packed-table" ? &packedTable : what == "memo" ? &memo
                                                : what == "packed-memo" ? &packedMemo : nullptr;
        if (!seen || *seen)
            return false;
        *seen = true;
        (what == "table" ? m.table : what == "packed-table" ? m.packedTable : what == "memo" ? m.memo : m.packedMemo) = id;
    }
    m.withMemo = memo;
    return end && table && packedTable && memo == packedMemo;
}

bool sameFile(const platform::FileIdentity& a, const platform::FileIdentity& b)
{
    return a.inode == b.inode && a.size == b.size && a.mtimeNs == b.mtimeNs;
}

bool readMarker(platform::FileSystem& fs, const std::string& path, PackMarker& m)
{
    platform::FileHandle f;
    if (f.open(fs, path, platform::Access::ReadOnly, platform::Share::NoSharing) != 0)
        return false;
    std::string text(4096, '\0');
    std::int64_t n = f.readAt(0, text.data(), text.size());
    if (n <= 0 || n == static_cast<std::int64_t>(text.size()))
        return false;
    text.resize(static_cast<std::size_t>(n));
    return parseMarker(text, m);
}

// One of table and memo file: where it stands against the marker.
enum class Part { Original, Packed, Mismatch };

Part partState(platform::FileSystem& fs, const std::string& path, const std::string& packedPath,
               const platform::FileIdentity& original, const platform::FileIdentity& packed)
{
    platform::FileIdentity cur, tmp;
    if (fs.stat(path, cur) != 0)
        return Part::Mismatch;
    if (sameFile(cur, packed))
        return Part::Packed;
    if (sameFile(cur, original) && fs.stat(packedPath, tmp) == 0 && sameFile(tmp, packed))
        return Part::Original;
    return Part::Mismatch;
}
} // namespace

bool Engine::settlePack(const std::string& tablePath, bool haveExclusive)
{
    const std::string marker = companionPath(tablePath, ".pk$");
    const std::string packedTable = companionPath(tablePath, ".pkd");
    const std::string packedMemo = companionPath(tablePath, ".pkm");
    const std::string oldMemoCopy = companionPath(tablePath, ".pko");
    if (!m_fs.exists(marker) && !m_fs.exists(packedTable) && !m_fs.exists(packedMemo) && !m_fs.exists(oldMemoCopy))
        return true;
    platform::FileHandle guard;
    if (!haveExclusive
        && guard.open(m_fs, tablePath, platform::Access::ReadWrite, platform::Share::DenyAll) != 0)
        return true; // open elsewhere: settled already or being settled (see above)

    PackMarker m;
    bool forward = readMarker(m_fs, marker, m);
    Part table = Part::Mismatch, memo = Part::Packed;
    const std::string memoPath = companionName(tablePath, ".dbt");
    if (forward) {
        table = partState(m_fs, tablePath, packedTable, m.table, m.packedTable);
        if (m.withMemo)
            memo = partState(m_fs, memoPath, packedMemo, m.memo, m.packedMemo);
        forward = table != Part::Mismatch && memo != Part::Mismatch;
    }
    int rc = 0;
    if (forward) {
        bool moved = table == Part::Packed || (m.withMemo && memo == Part::Packed);
        if (memo == Part::Original) {
            rc = m_fs.rename(packedMemo, memoPath);
            moved = moved || rc == 0;
        }
        if (rc == 0 && table == Part::Original)
            rc = m_fs.rename(packedTable, tablePath);
        if (rc && moved) {
            setError(rc, "Cannot finish an interrupted pack of " + tablePath + " [USE/Pack]");
            return false;
        }
        // Refused before anything moved: the originals stand, so the pack is
        // undone instead.
        forward = rc == 0;
        rc = 0;
    }
    if (!forward) {
        rc = removeIfThere(m_fs, packedTable);
        if (rc == 0)
            rc = removeIfThere(m_fs, packedMemo);
    }
    // The marker goes only after what it names is settled. Whatever cannot
    // be removed now is harmless: a marker that no longer matches, or
    // temporaries beside the originals, are discarded by the next open.
    if (rc == 0 && m_fs.syncDirectoryOf(tablePath) == 0 && removeIfThere(m_fs, marker) == 0)
        removeIfThere(m_fs, oldMemoCopy);
    m_fs.syncDirectoryOf(tablePath);
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
    if (ok) {
        // The records to keep are those the file holds now that nobody else
        // can write: another station may have appended and closed between
        // our count and the exclusive open. An exclusive area keeps its
        // header count, but never more than the file holds (a damaged
        // count would make the scan run for billions of records).
        std::int64_t size = wa->dbf.endOffset();
        std::int64_t inFile = size > wa->headerLen ? (size - wa->headerLen) / wa->recordLen : 0;
        if (size >= 0 && (wasShared || wa->recCount > inFile))
            wa->recCount = inFile;
    }
    bool halfway = false;
    if (ok)
        ok = packRecords(*wa, halfway);
    if (halfway) {
        // The packed memo file is in place beside the old table: nothing may
        // be read or written here until the next open has finished the pack.
        int code = m_lastError;
        std::string text = m_lastErrorText;
        closeArea(*wa, false);
        setError(code, text);
        return false;
    }
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

bool Engine::packRecords(WorkArea& wa, bool& halfway)
{
    halfway = false;
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
        if (!readRaw(wa, r, raw, "Pack", +1)) {
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
    platform::FileHandle packed;
    auto fail = [&](int rc) {
        fresh.close();
        packed.close();
        removeIfThere(m_fs, packedTable);
        removeIfThere(m_fs, packedMemo);
        setError(rc, failText);
        return false;
    };
    const bool locking = wa.share != platform::Share::NoSharing;

    if (withMemo) {
        // The memos of the live records, each once, into a fresh memo file.
        int rc = MemoFile::create(m_fs, packedMemo);
        if (rc == 0)
            rc = fresh.open(m_fs, packedMemo, platform::Access::ReadWrite, platform::Share::NoSharing);
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
        if (int mode = wa.memo.file().mode(); rc == 0 && mode >= 0)
            fresh.file().setMode(mode); // keep the memo file's permissions
        if (rc == 0)
            rc = fresh.file().sync();
        fresh.close();
        // Locked as the file it replaces before it takes that file's name.
        if (rc == 0)
            rc = fresh.open(m_fs, packedMemo, platform::Access::ReadWrite, wa.share);
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
    int rc = packed.create(m_fs, packedTable);
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
    if (int mode = wa.dbf.mode(); rc == 0 && mode >= 0)
        packed.setMode(mode);
    if (rc == 0)
        rc = packed.sync();
    packed.close();
    if (rc == 0)
        rc = packed.open(m_fs, packedTable, platform::Access::ReadWrite, wa.share);
    if (rc == 0 && locking && packed.lock(kAppendLockOffset, kFileLockLength) != platform::LockResult::Locked)
        rc = err::kLockViolation;
    if (rc)
        return fail(rc);

    // Commit: the marker names the four files as they are now (nothing
    // writes to any of them from here on) and is synced before any rename.
    PackMarker m;
    m.withMemo = withMemo;
    rc = wa.dbf.identity(m.table);
    if (rc == 0)
        rc = packed.identity(m.packedTable);
    if (rc == 0 && withMemo)
        rc = wa.memo.file().identity(m.memo);
    if (rc == 0 && withMemo)
        rc = fresh.file().identity(m.packedMemo);
    if (rc)
        return fail(rc);
    {
        platform::FileHandle mf;
        const std::string text = markerText(m);
        rc = mf.createNew(m_fs, marker); // a leftover one was settled above
        if (rc == 0)
            rc = mf.writeAt(0, text.data(), text.size());
        if (rc == 0)
            rc = mf.sync();
        if (rc == 0)
            rc = m_fs.syncDirectoryOf(marker);
        if (rc) {
            mf.close();
            removeIfThere(m_fs, marker);
            return fail(rc);
        }
    }
    const std::string memoPath = wa.memo.path();
    if (withMemo && (rc = fresh.file().renameTo(memoPath)) != 0) {
        // Refused before anything moved: the table is as it was.
        removeIfThere(m_fs, marker);
        m_fs.syncDirectoryOf(marker);
        return fail(rc);
    }
    if ((rc = packed.renameTo(wa.fileName)) != 0) {
        fresh.close();
        packed.close();
        if (withMemo && restoreMemo(wa, memoPath) != 0) {
            // The packed memo file stays in place with the marker, which
            // still names the old table: the next open finishes the pack.
            halfway = true;
            setError(rc, failText);
            return false;
        }
        removeIfThere(m_fs, marker);
        m_fs.syncDirectoryOf(marker);
        return fail(rc);
    }
    if (m_fs.syncDirectoryOf(wa.fileName) == 0 && removeIfThere(m_fs, marker) == 0)
        m_fs.syncDirectoryOf(marker); // a marker left behind no longer matches: the next open discards it

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

int Engine::restoreMemo(WorkArea& wa, const std::string& memoPath)
{
    // The old memo file is gone from the directory but still open here:
    // its bytes go to a copy beside it, which is renamed over the packed one.
    const std::string copy = companionPath(wa.fileName, ".pko");
    platform::FileHandle out;
    int rc = out.create(m_fs, copy);
    std::string buf(static_cast<std::size_t>(kReadAheadBytes), '\0');
    for (std::int64_t off = 0; rc == 0;) {
        std::int64_t n = wa.memo.file().readAt(off, buf.data(), buf.size());
        if (n < 0)
            rc = err::kReadError;
        if (n <= 0)
            break;
        rc = out.writeAt(off, buf.data(), static_cast<std::size_t>(n));
        off += n;
    }
    if (int mode = wa.memo.file().mode(); rc == 0 && mode >= 0)
        out.setMode(mode);
    if (rc == 0)
        rc = out.sync();
    out.close();
    if (rc == 0)
        rc = m_fs.rename(copy, memoPath);
    if (rc) {
        removeIfThere(m_fs, copy);
        return rc;
    }
    m_fs.syncDirectoryOf(memoPath);
    // Go on with the file under the memo's name, not the one left behind.
    wa.memo.close();
    return wa.memo.open(m_fs, memoPath, wa.access, wa.share);
}

} // namespace qb::engine
