#include "NamesTable.h"

#include "platform/CodePage.h"
#include "platform/FileOps.h"
#include "platform/PosixFile.h"
#include "platform/AsciiCase.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <sys/stat.h>

namespace qb::board {

using engine::CommitResult;
using platform::Access;
using platform::PosixFile;
using platform::Share;

namespace {

template <typename T>
void put(std::vector<T>& list, std::size_t i, T value)
{
    if (i < list.size())
        list[i] = std::move(value);
    else
        list.push_back(std::move(value));
}

std::string nowText(const platform::Clock& clock)
{
    platform::LocalTime t = platform::toLocal(clock.now());
    char buf[40];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", t.month, t.day, t.year, t.hour, t.minute,
                  t.second);
    return buf;
}

// Best effort: a short time-critical window keeps the record lock brief.
struct PriorityBoost {
    int saved = ::getpriority(PRIO_PROCESS, 0);
    PriorityBoost() { [[maybe_unused]] int r = ::setpriority(PRIO_PROCESS, 0, -10); }
    ~PriorityBoost() { [[maybe_unused]] int r = ::setpriority(PRIO_PROCESS, 0, saved); }
    PriorityBoost(const PriorityBoost&) = delete;
    PriorityBoost& operator=(const PriorityBoost&) = delete;
};

} // namespace

NamesTable::NamesTable(Station& station, Board& board, RemarkLog& log)
    : m_station(station), m_board(board), m_log(log), m_mirror("QBMirror", station.engine),
      m_server("QBNames", station.engine)
{
    m_mirror.CreateIfNotFound = false;
    m_mirror.DbfFields = fieldList();
    m_server.CreateIfNotFound = false;
    m_server.HideDeletedRecs = true;
    m_server.DbfFields = fieldList();
}

std::vector<std::string> NamesTable::fieldList()
{
    return {"ident, N, 4, 0",  "chgcntr, N, 3, 0", "inuse, L, 1, 0",  "name, C, 40, 0",
            "remark, C, 40, 0", "group, C, 40, 0",  "misc, C, 40, 0",  "color, C, 40, 0",
            "time, F, 10, 5",   "msgcnt, N, 4, 0",  "password, C, 10, 0"};
}

CopyResult NamesTable::copy(const std::string& source, const std::string& destination)
{
    PosixFile src;
    if (src.open(source, Access::ReadOnly, Share::DenyNone) != 0) {
        m_station.log.error("Error reading " + source);
        setServerState(ServerState::Unreachable, {});
        return CopyResult::SourceUnreadable;
    }
    // The copy goes beside the mirror first; only a copy that opens as a
    // names table takes the mirror's place, in one rename.
    const std::string partial = destination + ".new";
    PosixFile dst;
    bool haveDst = false;
    for (int i = 0; i < 4 && !haveDst; ++i)
        haveDst = dst.open(partial, Access::ReadWrite, Share::NoSharing) == 0;
    if (!haveDst)
        haveDst = dst.create(partial) == 0;
    if (!haveDst) {
        m_station.log.error("Error  updating ..." + destination);
        return CopyResult::MirrorUnwritable;
    }

    std::vector<char> buf(8192);
    std::int64_t copied = 0;
    bool complete = true;
    for (;;) {
        std::int64_t got = src.readAt(copied, buf.data(), buf.size());
        if (got < 0)
            complete = false;
        if (got <= 0)
            break;
        if (dst.writeAt(copied, buf.data(), static_cast<std::size_t>(got)) != 0) {
            complete = false;
            break;
        }
        copied += got;
    }
    dst.truncate(copied);
    dst.close();
    src.close();
    if (!complete) {
        platform::removeFile(partial);
        m_station.log.error("Error  updating ..." + destination);
        return CopyResult::MirrorUnwritable;
    }

    // Opened with its own component so that the mirror's stays closed.
    std::string problem;
    {
        engine::TTzDbf check("QBCopyCheck", m_station.engine);
        check.CreateIfNotFound = false;
        check.setDbfFileName(partial);
        std::uint16_t saved = m_station.engine.openModeOverride;
        m_station.engine.openModeOverride = engine::openmode::kReadOnlyDenyNone;
        m_station.engine.clearError();
        bool open = check.setActive(true) && m_station.engine.lastError() == 0;
        m_station.engine.openModeOverride = saved;
        if (!open) {
            problem = m_station.engine.lastErrorText();
            if (problem.empty())
                problem = "the table does not open";
            // The text is about the server's bytes: name the server's file,
            // never this station's copy of it.
            for (auto at = problem.find(partial); at != std::string::npos; at = problem.find(partial, at))
                problem.replace(at, partial.size(), source);
        } else {
            for (const std::string& line : fieldList()) {
                std::string name = line.substr(0, line.find(','));
                if (check.FieldNo(name) <= 0) {
                    problem = "field " + name + " is missing";
                    break;
                }
            }
        }
        check.setActive(false);
        m_station.engine.clearError();
    }
    if (!problem.empty()) {
        platform::removeFile(partial);
        m_station.log.error("Error reading " + source + ": " + problem);
        setServerState(ServerState::Damaged, problem);
        return CopyResult::Damaged;
    }
    if (std::rename(partial.c_str(), destination.c_str()) != 0) {
        platform::removeFile(partial);
        m_station.log.error("Error  updating ..." + destination);
        return CopyResult::MirrorUnwritable;
    }

    if (m_station.setRefreshCaption)
        m_station.setRefreshCaption("Last update: " + nowText(m_station.clock));
    m_lastCopyTime = nowText(m_station.clock);
    int rows = copied > kHeaderLength ? static_cast<int>((copied - kHeaderLength) / kRecordLength) : 0;
    if (rows > m_board.largestRowCount)
        m_board.largestRowCount = rows;
    else if (rows < m_board.largestRowCount)
        m_station.log.error("Error  getting server data");
    setServerState(ServerState::Reachable, {});
    return CopyResult::Copied;
}

std::string NamesTable::serverStateLine() const
{
    std::string when = m_lastCopyTime;
    if (when.empty()) {
        // A mirror left by an earlier run: its own file time says how old it is.
        struct stat st {};
        if (::stat(m_station.mirrorPath().c_str(), &st) == 0) {
            std::tm tm {};
            localtime_r(&st.st_mtime, &tm);
            char buf[40];
            std::strftime(buf, sizeof buf, "%m/%d/%Y %H:%M:%S", &tm);
            when = buf;
        }
    }
    const std::string copy = when.empty() ? std::string("no copy of the board is available")
                                          : "showing the last copy, from " + when;
    switch (m_serverState) {
    case ServerState::Reachable: return {};
    case ServerState::Unreachable: return "Server not reachable \u2014 " + copy;
    case ServerState::Damaged: return "Names table on the server damaged \u2014 " + copy;
    }
    return {};
}

std::vector<std::string> NamesTable::damagedAlert() const
{
    return {"ERROR: The names table qb3.dbf on the server is damaged: ", m_serverError + " ",
            "The administrator should run: qbtool check " + m_station.dataDir};
}

void NamesTable::setServerState(ServerState state, std::string error)
{
    if (state == m_serverState && error == m_serverError)
        return;
    m_serverState = state;
    m_serverError = std::move(error);
    if (onServerStateChanged)
        onServerStateChanged();
}

bool NamesTable::load(bool forceCopy)
{
    m_board.pollCounter = kPollParked;
    const std::string mirrorPath = m_station.mirrorPath();
    m_mirror.setActive(false);
    m_mirror.setDbfFileName(mirrorPath);
    if (forceCopy || !platform::fileExists(mirrorPath))
        copy(m_station.dataPath(kFileName), mirrorPath);

    m_station.engine.clearError();
    if (!m_mirror.setActive(true)) {
        std::uint16_t saved = m_station.engine.openModeOverride;
        m_station.engine.openModeOverride = engine::openmode::kReadOnlyDenyNone;
        m_station.engine.clearError();
        m_mirror.setActive(true);
        m_station.engine.openModeOverride = saved;
    }
    std::int64_t count = m_mirror.Active() ? m_mirror.RecCount() : 5;
    std::int64_t testCount = m_board.largestRowCount > 0 ? m_board.largestRowCount : count;
    if (!m_mirror.Active() || testCount < 1 || count < 1) {
        m_mirror.setActive(false);
        m_board.pollCounter = -9;
        m_station.log.error("Error reading file " + mirrorPath);
        return false;
    }

    m_mirror.HideDeletedRecs = false;
    m_mirror.SetFilterToCB(nullptr);
    // Field numbers once, not a lookup by name for every value of every row.
    const int fIdent = m_mirror.typedFieldNo("ident", "numeric, without decimals");
    const int fName = m_mirror.typedFieldNo("name", "character");
    const int fRemark = m_mirror.typedFieldNo("remark", "character");
    const int fGroup = m_mirror.typedFieldNo("group", "character");
    const int fMisc = m_mirror.typedFieldNo("misc", "character");
    const int fColor = m_mirror.typedFieldNo("color", "character");
    const int fTime = m_mirror.typedFieldNo("time", "numeric, with decimals");
    const int fChgCntr = m_mirror.typedFieldNo("chgcntr", "numeric, without decimals");
    const int fInUse = m_mirror.typedFieldNo("inuse", "logical");
    m_mirror.GoTop();
    if (m_mirror.longAt(fIdent) != 0)
        m_station.log.error("Error DB index mis-match");

    // One pass: the rows, and the login names and groups.
    m_board.loginNames.clear();
    bool lastNameSeen = false;
    const std::string lastLower = platform::asciiLower(m_board.lastLoginName);
    std::vector<std::string> keys; // lower-case login names, parallel to loginNames
    std::vector<std::string> groups;
    int p = 0;
    for (; !m_mirror.dEOF() && p < kMaxRows; m_mirror.Skip(1), ++p) {
        if (m_mirror.longAt(fIdent) != p)
            m_station.log.error("Error DB index mis-match");
        auto i = static_cast<std::size_t>(p);
        const bool deleted = m_mirror.Deleted();
        std::string name = m_mirror.textAt(fName);
        std::string remarkText = m_mirror.textAt(fRemark);
        std::string group = m_mirror.textAt(fGroup);
        if (p == 0) {
            // "Admin" of record 0 stays the last login name (offered, never logged in).
            if (!lastLower.empty() && platform::asciiLower(name) == lastLower)
                lastNameSeen = true;
        } else if (!deleted) {
            // Record 0 holds the column titles; deleted people are not offered.
            keys.push_back(platform::asciiLower(name));
            if (keys.back() == lastLower)
                lastNameSeen = true;
            m_board.loginNames.emplace_back(name, p);
            if (!group.empty() && std::find(groups.begin(), groups.end(), group) == groups.end())
                groups.push_back(group);
        }
        put(m_board.names, i, deleted ? std::string(kDeletedName) : std::move(name));
        put(m_board.groups, i, std::move(group));
        put(m_board.miscs, i, m_mirror.textAt(fMisc));
        put(m_board.colorTexts, i, m_mirror.textAt(fColor));
        m_board.times[i] = engine::decodeStoredTime(m_mirror.realAt(fTime));
        m_board.colorCodes[i] = static_cast<std::uint8_t>(m_mirror.longAt(fChgCntr) & 0xFF);
        if (p == m_board.ownIndex && p > 0) {
            if (m_mirror.logicalAt(fInUse))
                m_board.ownStatus = remarkText == m_board.outText ? remark::kOut : remark::kIn;
            else
                m_board.ownStatus = remark::kOther;
            m_board.trayHint = (remarkText + ": " + m_board.ownName).substr(0, 60);
        }
        put(m_board.remarks, i, std::move(remarkText));
    }
    if (!lastNameSeen)
        m_board.lastLoginName.clear();
    // By lower-case name, equal names in table order; the keys are made once
    // rather than twice in every comparison.
    std::vector<std::size_t> order(keys.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    std::vector<std::pair<std::string, int>> sorted;
    sorted.reserve(order.size());
    for (std::size_t i : order)
        sorted.push_back(std::move(m_board.loginNames[i]));
    m_board.loginNames = std::move(sorted);
    std::sort(groups.begin(), groups.end());
    m_board.groupList = groups;

    // Rows beyond the table (after a pack) are dropped.
    auto rows = static_cast<std::size_t>(p);
    for (auto* list : {&m_board.names, &m_board.remarks, &m_board.groups, &m_board.miscs, &m_board.colorTexts})
        if (list->size() > rows)
            list->resize(rows);
    rebuildDisplayOrder();
    m_mirror.setActive(false);
    m_station.engine.clearError();
    m_board.pollCounter = -5;
    return true;
}

void NamesTable::rebuildDisplayOrder()
{
    m_board.displayOrder.clear();
    for (int i = 1; i < m_board.rowCount(); ++i)
        if (m_board.isShown(i))
            m_board.displayOrder.push_back(i);
}

bool NamesTable::openShared(engine::TTzDbf& t)
{
    t.setActive(false);
    t.setDbfFileName(m_station.dataPath(kFileName));
    m_station.engine.clearError();
    if (t.setActive(true) && m_station.engine.lastError() == 0)
        return true;
    m_station.pause(std::chrono::milliseconds(30));
    t.setActive(false);
    m_station.engine.clearError();
    return t.setActive(true) && m_station.engine.lastError() == 0;
}

WriteResult NamesTable::writeColumn(int selector, const std::string& text, bool inUse, const Rgb& color,
                                    int boardIndex)
{
    int savedPoll = m_board.pollCounter;
    if (!openShared(m_server)) {
        m_server.setActive(false);
        m_station.log.error("Error writing to qb3.dbf on the server.");
        m_station.showAlert({"ERROR: Unable to pass ", "\"" + text + "\"", "to the server database"});
        m_board.pollCounter = savedPoll;
        return WriteResult::OpenFailed;
    }
    m_board.pollCounter = kPollParked;
    struct Done {
        NamesTable& n;
        ~Done()
        {
            n.m_server.setActive(false);
            n.m_board.pollCounter = 0;
        }
    } done {*this};

    if (boardIndex < 0 || boardIndex >= m_server.RecCount()) {
        m_station.log.error("Error missing record from qb3.dbf on the server.");
        return WriteResult::MissingRecord;
    }
    m_server.Go(boardIndex + 1);
    if (m_server.RecNo() != boardIndex + 1)
        m_server.Go(boardIndex + 1);
    if (m_server.RecNo() != boardIndex + 1) {
        m_station.log.error("Error accessing qb3.dbf on the server.");
        return WriteResult::AccessFailed;
    }
    if (boardIndex == 0 && !m_board.adminMode)
        return WriteResult::NotAllowed;

    const char* field = nullptr;
    std::string value = text;
    switch (selector) {
    case column::kName: field = "name"; break;
    case column::kRemark: field = "remark"; break;
    case column::kGroup: field = "group"; break;
    case column::kMisc: field = "misc"; break;
    case column::kColor:
        if (!m_board.adminMode)
            return WriteResult::NotAllowed;
        field = "color";
        value = "+" + text;
        break;
    default: break;
    }
    // A colour that is exactly one of the letter colours keeps its letter:
    // packed, white would come back as cream (255) and lime as a darker green.
    std::uint8_t code = packColor(color);
    for (char letter : {'a', 'f', 'l', 'r', 'w', 'y'})
        if (colorOfCode(letter) == color)
            code = static_cast<std::uint8_t>(letter);
    std::string personName;
    m_station.engine.setRetry(3, 40);
    CommitResult r = commitUnderLock(m_server, boardIndex + 1, [&](engine::TTzDbf& t) {
        if (selector == column::kRemark) {
            t.SetLongField("chgcntr", code);
            t.SetCField("color", std::string("#") + static_cast<char>(code));
            t.SetLField("inuse", inUse);
        }
        if (field)
            t.setText(field, value);
        if (m_board.options[admin::opt::kLogRemarks])
            personName = t.getText("name");
    });
    m_server.setActive(false);
    if (r != CommitResult::Ok) {
        m_station.log.error("Error writing to qb3.dbf on the server.");
        m_station.showAlert({"ERROR: Unable to pass ", "\"" + text + "\"", "to the server database"});
        return r == CommitResult::LockFailed ? WriteResult::LockFailed : WriteResult::WriteFailed;
    }
    if (selector == column::kRemark && boardIndex < kMaxRows) {
        m_board.colorCodes[static_cast<std::size_t>(boardIndex)] = code;
        m_board.times[static_cast<std::size_t>(boardIndex)] = platform::nowDateTime(m_station.clock);
    }
    if (selector == column::kRemark)
        m_log.append("Remark", text, personName);
    else if (selector == column::kMisc)
        m_log.append("Misc", text, personName);
    return WriteResult::Ok;
}

WriteResult NamesTable::writeOwnRemark(const std::string& text, char colorLetter, bool inUse)
{
    if (m_board.ownIndex < 0)
        return WriteResult::MissingRecord;
    if (m_board.ownIndex == 0 && !m_board.adminMode)
        return WriteResult::NotAllowed;
    WriteResult result = WriteResult::Ok;
    int savedPoll = m_board.pollCounter;
    m_board.pollCounter = kPollParked;
    const std::string serverPath = m_station.dataPath(kFileName);
    for (engine::TTzDbf* t : {&m_server, &m_mirror}) {
        const bool server = t == &m_server;
        // The mirror shows what the server holds: a change the server did not
        // take must not appear there as if it had been saved.
        if (!server && result != WriteResult::Ok)
            break;
        std::string path = server ? serverPath : m_station.mirrorPath();
        t->setActive(false);
        t->setDbfFileName(path);
        m_station.engine.clearError();
        if (!t->setActive(true)) {
            if (server) {
                m_station.showAlert({"ERROR: Unable to save ", "\"" + text + "\"", "in file " + path});
                result = WriteResult::OpenFailed;
            } else {
                // The mirror is this station's own copy: the next load copies
                // it anew, so it is no matter for the user.
                m_station.log.error("Error  updating ..." + path);
            }
            continue;
        }
        m_station.engine.setRetry(3, 40);
        CommitResult r = commitUnderLock(*t, m_board.ownIndex + 1, [&](engine::TTzDbf& row) {
            row.setText("remark", text);
            row.SetLField("inuse", inUse);
            row.SetCField("color", std::string("#") + colorLetter);
            row.SetLongField("chgcntr", static_cast<unsigned char>(colorLetter));
            row.SetLongField("msgcnt", m_board.ownStatus);
        });
        t->setActive(false);
        if (r != CommitResult::Ok && server) {
            m_station.log.error("Error writing to qb3.dbf on the server.");
            m_station.showAlert({"ERROR: Unable to save ", "\"" + text + "\"", "in file " + path});
            result = r == CommitResult::LockFailed ? WriteResult::LockFailed : WriteResult::WriteFailed;
        }
    }
    m_board.pollCounter = savedPoll == kPollParked ? 0 : savedPoll;
    return result;
}

engine::CommitResult NamesTable::commitUnderLock(engine::TTzDbf& t, std::int64_t recNo,
                                                 const std::function<void(engine::TTzDbf&)>& change)
{
    t.Go(recNo);
    if (t.RecNo() != recNo)
        return CommitResult::WriteFailed;
    CommitResult result = CommitResult::Ok;
    {
        PriorityBoost boost;
        if (!t.RLock())
            return CommitResult::LockFailed;
        // The row as it is now: what was read before the lock may be older
        // than another station's change of a different column.
        t.Go(recNo);
        m_station.engine.clearError();
        if (t.RecNo() != recNo) {
            result = CommitResult::WriteFailed;
        } else {
            change(t);
            t.SetRealField("time", engine::encodeStoredTime(platform::nowDateTime(m_station.clock)));
            t.Replace();
            if (m_station.engine.lastError() != 0)
                result = CommitResult::WriteFailed;
            t.Flush();
        }
        t.UnLock();
    }
    int savedError = m_station.engine.lastError();
    std::string savedText = m_station.engine.lastErrorText();
    t.setActive(false);
    t.setActive(true);
    if (savedError != 0 && m_station.engine.lastError() == 0)
        m_station.engine.setError(savedError, savedText);
    return result;
}

} // namespace qb::board
