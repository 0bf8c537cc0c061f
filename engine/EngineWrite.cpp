// Writing records: Replace, Append, delete and recall, Flush, Commit, Pack.
#include "Engine.h"

#include "engine/RecordCodec.h"
#include "engine/WorkArea.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <sys/stat.h>

namespace qb::engine {

namespace {
std::string readOnlyText(const WorkArea& wa, const char* op)
{
    return "File is read-only: " + wa.fileName + " [" + op + "]";
}
} // namespace

bool Engine::holdsWriteLock(const WorkArea& wa) const
{
    return wa.lockState == LockState::Append || wa.lockState == LockState::File;
}

bool Engine::recordLocked(const WorkArea& wa) const
{
    if (wa.exclusive || wa.lockState == LockState::File)
        return true;
    return wa.lockState == LockState::Records
           && std::find(wa.lockedRecords.begin(), wa.lockedRecords.end(), wa.recNo) != wa.lockedRecords.end();
}

bool Engine::writeRecord(WorkArea& wa, std::int64_t r)
{
    // Only date fields need the current year from the clock.
    DateSettings ds;
    ds.order = dateOrder;
    ds.century = century;
    if (std::any_of(wa.fields.begin(), wa.fields.end(), [](const FieldInfo& f) { return f.type == 'D'; }))
        ds = dateSettings();
    std::string raw(static_cast<std::size_t>(wa.recordLen), ' ');
    // Bytes past the last field (a record longer than its fields) are kept.
    if (r >= 1 && r <= wa.recCount && wa.raw.size() == raw.size())
        raw = wa.raw;
    raw[0] = wa.typed.deleted ? '*' : ' ';
    wa.typed.fields.resize(wa.fields.size());
    for (std::size_t i = 0; i < wa.fields.size(); ++i) {
        const FieldInfo& f = wa.fields[i];
        std::string s = RecordCodec::encode(f, wa.typed.fields[i], ds);
        std::copy(s.begin(), s.end(), raw.begin() + f.offset);
    }
    if (r > wa.recCount)
        r = wa.recCount + 1;
    wa.dropCache(); // own writes change what a block holds
    int rc = wa.dbf.writeAt(wa.recordOffset(r), raw.data(), raw.size());
    if (rc == 0 && writeThrough)
        rc = wa.dbf.sync();
    if (rc) {
        setError(rc, "File:  " + wa.fileName + " [Replace/Append/PutDbfRecord]");
        return false;
    }
    if (r > wa.recCount)
        wa.recCount = r;
    wa.recNo = r;
    wa.raw = std::move(raw);
    return true;
}

void Engine::Replace()
{
    WorkArea* wa = area("REPLACE");
    if (!wa)
        return;
    std::string db = "Database \"" + wa->alias + "\"";
    if (wa->recNo < 1) {
        setError(err::kRange, db + " is empty." + " [REPLACE]");
        return;
    }
    if (wa->recNo > wa->recCount) {
        setError(err::kRange, db + " is at EOF." + " [REPLACE]");
        return;
    }
    if (wa->readOnly) {
        setError(err::kAccessDenied, readOnlyText(*wa, "REPLACE"));
        return;
    }
    if (!recordLocked(*wa)) {
        setError(err::kRecordNotLocked,
                 "Record #" + std::to_string(wa->recNo) + " in " + wa->fileName + " [REPLACE]");
        return;
    }
    if (!writeRecord(*wa, wa->recNo))
        return;
    if (wa->mod == ModState::Unchanged)
        wa->mod = ModState::Rewritten;
    // The buffer shows the record as stored; the bytes just written are those
    // bytes (the record lock keeps others out), so no read back is needed.
    decodeRecord(*wa);
}

void Engine::Append()
{
    WorkArea* wa = area("APPEND");
    if (!wa)
        return;
    if (wa->readOnly) {
        setError(err::kAccessDenied, readOnlyText(*wa, "APPEND"));
        return;
    }
    if (!wa->exclusive && !holdsWriteLock(*wa)) {
        setError(err::kAccessDenied, "File must be locked to append: " + wa->fileName + " [APPEND]");
        return;
    }
    refreshCount(*wa);
    if (wa->exclusive) {
        // An exclusive area keeps the header's count, which a damaged header
        // may put billions of records past the data: never append beyond
        // the file's last whole record.
        std::int64_t size = wa->dbf.size();
        std::int64_t inFile = size > wa->headerLen ? (size - wa->headerLen) / wa->recordLen : 0;
        if (size >= 0 && wa->recCount > inFile)
            wa->recCount = inFile;
    }
    if (!writeRecord(*wa, wa->recCount + 1))
        return;
    wa->mod = ModState::Appended;
    wa->eof = wa->bof = false;
    decodeRecord(*wa); // as stored, without reading it back (see Replace)
}

static void markRecord(Engine& e, WorkArea* wa, bool del, bool locked)
{
    const char* op = del ? "DeleteRec" : "RecallRec";
    if (wa->eof || wa->recNo < 1 || wa->recNo > wa->recCount) {
        e.setError(err::kInvalidOperation, wa->fileName + " at EOF [" + op + "]");
        return;
    }
    if (wa->readOnly) {
        e.setError(err::kAccessDenied, readOnlyText(*wa, op));
        return;
    }
    if (!locked) {
        e.setError(err::kRecordNotLocked, wa->fileName + " " + "Record not locked " + "[" + op + "]");
        return;
    }
    const char flag = del ? '*' : ' ';
    wa->dropCache();
    if (int rc = wa->dbf.writeAt(wa->recordOffset(wa->recNo), &flag, 1)) {
        e.setError(rc, "File:  " + wa->fileName + " [DeleteRec/RecallRec]");
        return;
    }
    wa->typed.deleted = del;
    if (!wa->raw.empty())
        wa->raw[0] = flag;
    if (wa->mod == ModState::Unchanged)
        wa->mod = ModState::Rewritten;
}

void Engine::DeleteRec()
{
    if (WorkArea* wa = area("DeleteRec")) {
        markRecord(*this, wa, true, recordLocked(*wa));
        if (m_lastError == 0 && writeThrough)
            wa->dbf.sync();
    }
}

void Engine::RecallRec()
{
    if (WorkArea* wa = area("RecallRec")) {
        markRecord(*this, wa, false, recordLocked(*wa));
        if (m_lastError == 0 && writeThrough)
            wa->dbf.sync();
    }
}

void Engine::FlushDbf()
{
    if (WorkArea* wa = area("FlushDbf"))
        flushArea(*wa, "File:  " + wa->fileName + " [FlushDbf]");
}

void Engine::CommitDbf()
{
    WorkArea* wa = area("CommitDbf");
    if (!wa)
        return;
    if (wa->mod != ModState::Unchanged && !wa->exclusive && !holdsWriteLock(*wa)) {
        setError(err::kAccessDenied, "File must be locked " + wa->fileName + " [CommitDbf]");
        return;
    }
    if (!flushArea(*wa, "File:  " + wa->fileName + " [CommitDbf]"))
        return;
    releaseAll(*wa);
    int code = m_lastError;
    std::string text = m_lastErrorText;
    // Closing and reopening the handle makes NFS and SMB clients drop their
    // cached view of the file.
    if (!reopen(*wa, wa->access, wa->share, "CommitDbf")) {
        code = m_lastError;
        text = m_lastErrorText;
        closeArea(*wa, false);
    }
    setError(code, text);
}

// --- pack ---------------------------------------------------------------------------

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
    wa->dropCache(); // the records were rewritten beneath the block
    if (fileLocked)
        wa->dbf.unlock(kAppendLockOffset, kFileLockLength);
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
    if (wa.hasMemo && wa.memo.isOpen()) {
        // Copy the memos of the live records into a fresh memo file, then
        // put it in place of the old one.
        std::string memoName = wa.memo.path();
        std::string tmpName = memoName + ".pack";
        MemoFile fresh;
        int rc = MemoFile::create(tmpName);
        if (rc == 0)
            rc = fresh.open(tmpName, platform::Access::ReadWrite, platform::Share::NoSharing);
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
        struct stat st {};
        if (rc == 0 && ::fstat(wa.memo.file().fd(), &st) == 0)
            ::fchmod(fresh.file().fd(), st.st_mode & 07777); // keep the memo file's permissions
        fresh.close();
        if (rc == 0 && std::rename(tmpName.c_str(), memoName.c_str()) != 0)
            rc = platform::errnoToCode(errno);
        if (rc) {
            std::remove(tmpName.c_str());
            setError(rc, failText);
            return false;
        }
        wa.memo.close();
        if (int orc = wa.memo.open(memoName, wa.access, wa.share)) {
            setError(orc, failText);
            return false;
        }
    }
    for (std::size_t i = 0; i < live.size(); ++i) {
        if (int rc = wa.dbf.writeAt(wa.recordOffset(static_cast<std::int64_t>(i) + 1), live[i].data(), live[i].size())) {
            setError(rc, failText);
            return false;
        }
    }
    wa.recCount = static_cast<std::int64_t>(live.size());
    const std::int64_t end = wa.recordOffset(wa.recCount + 1);
    int rc = wa.dbf.truncate(end);
    wa.mod = ModState::Appended; // header rewrite writes count and the end byte
    LockState saved = wa.lockState;
    wa.lockState = LockState::File; // the region is held for real (or nobody shares the file)
    if (rc == 0 && !rewriteHeader(wa, failText))
        rc = m_lastError;
    wa.lockState = saved;
    if (rc == 0)
        rc = wa.dbf.sync();
    if (rc) {
        setError(rc, failText);
        return false;
    }
    return true;
}

} // namespace qb::engine
