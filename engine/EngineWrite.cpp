// Writing records: Replace, Append, delete and recall, Flush, Commit (Pack
// is in EnginePack.cpp).
#include "Engine.h"

#include "engine/RecordCodec.h"
#include "engine/WorkArea.h"

#include <algorithm>

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
    if (!confirmLock(*wa, "REPLACE"))
        return;
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
    if (!confirmLock(*wa, "APPEND"))
        return;
    refreshCount(*wa, true);
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

template <typename Confirm>
static void markRecord(Engine& e, WorkArea* wa, bool del, bool locked, Confirm confirm)
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
    if (!confirm(op))
        return;
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
        markRecord(*this, wa, true, recordLocked(*wa), [&](const char* op) { return confirmLock(*wa, op); });
        if (m_lastError == 0 && writeThrough)
            wa->dbf.sync();
    }
}

void Engine::RecallRec()
{
    if (WorkArea* wa = area("RecallRec")) {
        markRecord(*this, wa, false, recordLocked(*wa), [&](const char* op) { return confirmLock(*wa, op); });
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

} // namespace qb::engine
