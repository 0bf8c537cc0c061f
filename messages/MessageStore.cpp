#include "MessageStore.h"

#include "engine/TTzDbf.h"
#include "engine/TTzSession.h"
#include "platform/FileOps.h"

#include <algorithm>
#include <sys/stat.h>

namespace qb::messages {

namespace {
platform::CodePage storedCodePage() { return engine::TTzSession::instance().codePage; }

bool isBusy(int error)
{
    return error == platform::oserr::kSharingViolation || error == platform::oserr::kLockViolation;
}
} // namespace

std::vector<std::string> messageFieldList()
{
    return {"no, N, 4, 0",    "read, L, 1, 0",   "fromid, N, 4, 0", "time, C, 18, 0",
            "msg, M, 10, 0",  "from, C, 40, 0",  "subj, C, 40, 0",  "state, C, 1, 0"};
}


PreparedMessage prepareMessage(const Message& m, bool scramble, platform::CodePage cp)
{
    PreparedMessage p;
    p.fromId = m.fromId;
    p.from = m.from;
    p.subject = m.subject;
    p.time = m.time;
    p.read = m.read;
    p.state = flagChar(m.flags, cp);
    p.lines = encodeText(m.lines, scramble, cp, &p.scrambled);
    return p;
}

SendResult deliver(board::Station& station, int recipient, const PreparedMessage& message, const SendPolicy& policy)
{
    engine::TTzDbf table("QBSendMsg", station.engine);
    table.DbfFields = messageFieldList();
    table.setDbfFileName(station.dataPath(messageTableName(recipient)));
    bool open = false;
    int openError = 0;
    for (int k = 1; k <= policy.openTries && !open; ++k) {
        table.CreateIfNotFound = k > policy.openTriesWithoutCreate;
        station.engine.clearError();
        open = table.setActive(true) && station.engine.lastError() == 0;
        if (!open) {
            openError = station.engine.lastError();
            table.setActive(false);
            if (policy.pauseBetweenOpens && k < policy.openTries)
                station.pause(std::chrono::milliseconds(25 * k));
        }
    }
    if (!open)
        return isBusy(openError) ? SendResult::OpenBusy : SendResult::OpenFailed;

    SendResult result = SendResult::LockBusy;
    for (int attempt = 0; attempt < policy.lockTries; ++attempt) {
        table.ClearRecord();
        table.SetLField("read", message.read);
        table.setText("time", message.time);
        table.setText("from", message.from);
        table.setText("subj", message.subject);
        table.SetLongField("fromid", message.fromId);
        table.SetCField("state", message.state);
        if (!table.ALock()) {
            table.UnLock();
            continue;
        }
        // Counted under the lock: the count just before this message.
        table.SetLongField("no", table.RecCount());
        station.engine.clearError();
        if (table.SetMField("msg", message.lines)) {
            table.Append();
            result = station.engine.lastError() == 0 ? SendResult::Delivered : SendResult::WriteFailed;
        } else {
            result = SendResult::WriteFailed;
        }
        table.Flush();
        if (policy.commit)
            table.Commit();
        table.UnLock();
        break;
    }
    table.setActive(false);
    station.engine.clearError();
    return result;
}

bool appendMessage(board::Station& station, int recipient, const Message& message)
{
    return deliver(station, recipient, prepareMessage(message, false, storedCodePage())) == SendResult::Delivered;
}

StoredMessage readMessage(engine::TTzDbf& table)
{
    const platform::CodePage cp = table.codePage();
    StoredMessage m;
    m.recNo = table.RecNo();
    m.deleted = table.Deleted();
    m.no = static_cast<int>(table.GetLongField("no"));
    m.read = table.GetLField("read");
    m.fromId = static_cast<int>(table.GetLongField("fromid"));
    m.time = table.getText("time");
    m.from = table.getText("from");
    m.subject = table.getText("subj");
    m.flags = flagsOf(table.GetCField("state"), cp);
    std::vector<std::string> stored;
    table.GetMField("msg", stored);
    m.lines = decodeText(stored, cp, &m.scrambled);
    return m;
}

bool openMailbox(engine::TTzDbf& table, board::Station& station, int boardIndex, bool hideDeleted)
{
    table.CreateIfNotFound = false;
    table.HideDeletedRecs = hideDeleted;
    table.DbfFields = messageFieldList();
    table.setDbfFileName(station.dataPath(messageTableName(boardIndex)));
    station.engine.clearError();
    return table.setActive(true) && station.engine.lastError() == 0;
}

std::int64_t countMessages(board::Station& station, int boardIndex)
{
    const std::string path = engine::TTzDbf::resolvePath(station.dataPath(messageTableName(boardIndex)));
    if (!platform::fileExists(path))
        return -1;
    engine::TTzDbf table("QBCheckMsg", station.engine);
    for (int k = 0; k < 2; ++k) {
        if (k > 0)
            station.pause(std::chrono::milliseconds(400));
        if (openMailbox(table, station, boardIndex, false)) {
            std::int64_t n = table.RecCount();
            table.setActive(false);
            return n;
        }
        table.setActive(false);
    }
    station.engine.clearError();
    return -1;
}

bool mailboxDamaged(const std::string& dataDir, int boardIndex)
{
    const std::string path = engine::TTzDbf::resolvePath(dataDir + "/" + messageTableName(boardIndex));
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size < 6;
}

std::optional<MailboxDamage> mailboxDamageAtLogin(const std::string& dataDir, int boardIndex)
{
    if (boardIndex < 1 || !mailboxDamaged(dataDir, boardIndex))
        return std::nullopt;
    const std::string name = messageTableName(boardIndex);
    return MailboxDamage {"Message file " + name + " damaged", name + " Database file not found ",
                          {"ERROR: Message file " + name, "is damaged."}};
}

std::string checkMailboxAtLogin(board::Station& station, int boardIndex)
{
    const std::optional<MailboxDamage> damage = mailboxDamageAtLogin(station.dataDir, boardIndex);
    if (!damage)
        return {};
    station.log.error(damage->logText);
    station.showAlert(damage->alert);
    return damage->statusText;
}

bool deleteMailbox(const std::string& dataDir, int boardIndex)
{
    const std::string table = dataDir + "/" + messageTableName(boardIndex);
    const std::string memo = table.substr(0, table.size() - 4) + ".dbt";
    bool ok = true;
    for (const std::string& file : {table, memo}) {
        const std::string path = engine::TTzDbf::resolvePath(file);
        if (platform::fileExists(path) && platform::removeFile(path) != 0)
            ok = false;
    }
    return ok;
}

int UnreadProbe::probe(board::Station& station, int boardIndex)
{
    recordsRead = 0;
    const std::string path = engine::TTzDbf::resolvePath(station.dataPath(messageTableName(boardIndex)));
    if (!platform::fileExists(path))
        return -1;
    engine::TTzDbf table("QBCheckMsg", station.engine);
    if (!openMailbox(table, station, boardIndex, false)) {
        station.pause(std::chrono::milliseconds(400));
        table.setActive(false);
        openMailbox(table, station, boardIndex, false);
    }
    if (table.Active() && table.RecCount() == 0) {
        table.setActive(false);
        return -1;
    }
    if (!table.Active() || station.engine.lastError() != 0) {
        table.setActive(false);
        station.engine.clearError();
        return 0;
    }
    // Positioned with Go: a single record each time, where GoBottom and Skip
    // would read a block ahead of a pass through the table.
    std::int64_t recNo = table.RecCount();
    table.Go(recNo);
    for (int look = 0; look < 2; ++look) {
        ++recordsRead;
        if (!table.GetLField("read") && !table.Deleted()) {
            foundRecNo = table.RecNo();
            if (look == 0 && step > 4)
                step = 0;
            ++step;
            table.setActive(false);
            return 1;
        }
        if (look == 1)
            break;
        if (recNo <= 1) {
            step = 0;
            break;
        }
        recNo = std::max<std::int64_t>(1, recNo - step);
        table.Go(recNo);
        if (processEvents)
            processEvents();
        station.pause(std::chrono::milliseconds(1));
    }
    ++step;
    table.setActive(false);
    station.engine.clearError();
    return 0;
}

} // namespace qb::messages
