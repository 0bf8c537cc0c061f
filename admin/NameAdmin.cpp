#include "NameAdmin.h"

#include "core/TableNames.h"
#include "engine/RecordCommit.h"
#include "engine/TTzSession.h"
#include "platform/CodePage.h"
#include "platform/FileOps.h"
#include "platform/AsciiCase.h"
#include "platform/Utf8.h"

#include <algorithm>
#include <cstdio>

namespace qb::admin {

namespace {

constexpr int kLockAttempts = 20;

// True when neither msgN.dbf nor msgN.dbt is left.
bool deleteMessageTable(board::Station& station, int index)
{
    bool ok = true;
    const std::string table = station.dataPath(core::messageTableName(index));
    const std::string memo = table.substr(0, table.size() - 4) + ".dbt";
    for (const std::string& file : {table, memo}) {
        std::string p = engine::TTzDbf::resolvePath(file);
        if (platform::fileExists(p) && platform::removeFile(p) != 0)
            ok = false;
    }
    return ok;
}

// An earlier person's planner table is renamed beside it ("sh007.dbf" ->
// "sh007-removed-20261208-104500.dbf") and his information cards get ident
// -index: both stay readable for the administrator, neither is found for the
// new person. False when something could not be set aside.
bool setAsidePersonalFiles(board::Station& station, int index, std::vector<std::string>& setAside)
{
    char planner[32];
    std::snprintf(planner, sizeof planner, "s/sh%.3d", index);
    const std::string plannerPath = engine::TTzDbf::resolvePath(station.dataPath(std::string(planner) + ".dbf"));
    if (platform::fileExists(plannerPath)) {
        const platform::LocalTime t = platform::toLocal(station.clock.now());
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "-removed-%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour,
                      t.minute, t.second);
        std::string target;
        for (int k = 0; k < 100; ++k) {
            target = station.dataPath(std::string(planner) + stamp + (k ? "-" + std::to_string(k) : "") + ".dbf");
            if (!platform::fileExists(target))
                break;
        }
        if (std::rename(plannerPath.c_str(), target.c_str()) != 0)
            return false;
        setAside.push_back("planner " + target.substr(station.dataDir.size() + 1));
    }

    const std::string infoPath = engine::TTzDbf::resolvePath(station.dataPath("moreinfo.dbf"));
    if (!platform::fileExists(infoPath))
        return true;
    engine::TTzDbf info("QBInfoAside", station.engine);
    info.CreateIfNotFound = false;
    info.setDbfFileName(infoPath);
    station.engine.clearError();
    if (!info.setActive(true))
        return false;
    bool ok = true;
    int cards = 0;
    const std::int64_t count = info.RecCount();
    for (std::int64_t r = 2; r <= count && ok; ++r) { // record 1 holds the captions
        info.Go(r);
        if (info.Deleted() || info.GetLongField("ident") != index)
            continue;
        if (!info.RLock()) {
            ok = false;
            break;
        }
        info.Go(r);
        info.SetLongField("ident", -index);
        station.engine.clearError();
        info.Replace();
        ok = station.engine.lastError() == 0;
        info.Flush();
        info.UnLock();
        ++cards;
    }
    info.setActive(false);
    if (cards > 0)
        setAside.push_back(std::to_string(cards) + " information card" + (cards > 1 ? "s" : "") + " (now ident -" +
                           std::to_string(index) + ")");
    return ok;
}

void fillNewRecord(engine::TTzDbf& t, const std::string& name, const std::string& group, int index,
                   const platform::Clock& clock)
{
    t.ClearRecord();
    t.setText("name", name);
    t.SetLongField("ident", index);
    t.setText("remark", "Please change your password!");
    std::string g = group.empty() ? "?" : group;
    std::replace(g.begin(), g.end(), '&', '+');
    t.setText("group", g.substr(0, 40));
    t.SetLongField("chgcntr", 119);
    t.SetCField("color", "+ww");
    t.SetRealField("time", engine::encodeStoredTime(platform::nowDateTime(clock)));
}

// Case folding for comparing names: ASCII, Latin-1 and Greek capitals,
// which covers every letter the OEM code pages can store.
std::u32string foldedName(const std::string& utf8)
{
    std::u32string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const platform::Utf8Char c = platform::decodeUtf8(utf8, i);
        // A byte of a malformed sequence stands for itself, apart from any
        // character, so an overlong form never equals the letter it hides.
        char32_t cp = c.valid ? c.codePoint : 0xDC00 + static_cast<unsigned char>(utf8[i]);
        i += c.valid ? c.length : 1;
        if ((cp >= 'A' && cp <= 'Z') || (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) || (cp >= 0x391 && cp <= 0x3A9))
            cp += 0x20;
        out += cp;
    }
    while (!out.empty() && out.back() == U' ')
        out.pop_back();
    return out;
}

} // namespace

AddNameResult addName(board::Station& station, const std::string& name, const std::string& group, AddedName* added)
{
    if (name.empty())
        return AddNameResult::EmptyName;
    engine::Engine& e = station.engine;
    engine::TTzDbf table("QBAddName", e);
    table.CreateIfNotFound = false;
    table.setDbfFileName(station.dataPath(core::namesTableName()));
    e.clearError();
    if (!table.setActive(true))
        return AddNameResult::OpenFailed;

    // Serialise adders on the append lock before choosing a position.
    bool locked = false;
    for (int i = 0; i < kLockAttempts && !locked; ++i) {
        locked = table.ALock();
        if (!locked)
            station.pause(std::chrono::milliseconds(25));
    }
    if (!locked)
        return AddNameResult::LockFailed;

    table.HideDeletedRecs = false;
    std::int64_t count = table.RecCount();
    std::int64_t reuse = 0;
    const std::u32string wanted = foldedName(name);
    for (std::int64_t r = 1; r <= count; ++r) {
        table.Go(r);
        if (table.Deleted()) {
            if (reuse == 0 && r > 1)
                reuse = r;
        } else if (r > 1 && foldedName(table.getText("name")) == wanted) {
            table.UnLock();
            table.setActive(false);
            return AddNameResult::Duplicate;
        }
    }
    if (reuse == 0 && count > kMaxNames) {
        table.UnLock();
        return AddNameResult::Full;
    }
    int index = static_cast<int>(reuse ? reuse - 1 : count);
    // Before the name appears: no other station may show the new person an
    // earlier person's mailbox, planner or card, even for a moment.
    std::vector<std::string> setAside;
    if (!setAsidePersonalFiles(station, index, setAside) || !deleteMessageTable(station, index)) {
        table.UnLock();
        table.setActive(false);
        return AddNameResult::NotSetAside;
    }
    AddNameResult result = AddNameResult::Ok;
    if (reuse) {
        // The record lock lives in a second work area: one work area cannot
        // hold a record lock beside its append lock.
        engine::TTzDbf rec("QBAddRec", e);
        rec.CreateIfNotFound = false;
        rec.setDbfFileName(table.DbfFileName());
        if (!rec.setActive(true)) {
            result = AddNameResult::OpenFailed;
        } else {
            rec.Go(reuse);
            bool recLocked = false;
            for (int i = 0; i < kLockAttempts && !recLocked; ++i) {
                recLocked = rec.RLock();
                if (!recLocked)
                    station.pause(std::chrono::milliseconds(25));
            }
            if (!recLocked) {
                result = AddNameResult::LockFailed;
            } else {
                fillNewRecord(rec, name, group, index, station.clock);
                rec.engine().clearError();
                rec.Replace(); // writes the cleared deletion flag as well
                if (rec.engine().lastError() != 0)
                    result = AddNameResult::WriteFailed;
                rec.Flush();
                rec.UnLock();
            }
            rec.setActive(false);
        }
    } else {
        fillNewRecord(table, name, group, index, station.clock);
        e.clearError();
        table.Append();
        if (e.lastError() != 0)
            result = AddNameResult::WriteFailed;
        table.Flush();
    }
    table.UnLock();
    table.setActive(false);
    if (result == AddNameResult::Ok && added) {
        added->boardIndex = index;
        added->reused = reuse != 0;
        added->setAside = std::move(setAside);
    }
    return result;
}

bool removeName(board::Station& station, int boardIndex)
{
    return removePerson(station, boardIndex) == NameEditResult::Ok;
}

namespace {

std::string withoutOuterBlanks(const std::string& s)
{
    const auto b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// Opens the shared names table with deleted records shown.
bool openNames(board::Station& station, engine::TTzDbf& t)
{
    t.CreateIfNotFound = false;
    t.HideDeletedRecs = false;
    t.setDbfFileName(station.dataPath(core::namesTableName()));
    station.engine.clearError();
    return t.setActive(true);
}

// Changes fields of a live person's record under its record lock, reading
// the record again under the lock so that columns other stations changed
// meanwhile are kept, and stamps the time of the change.
NameEditResult changePerson(board::Station& station, int boardIndex, const std::function<void(engine::TTzDbf&)>& change,
                            bool markDeleted = false)
{
    if (boardIndex <= 0)
        return NameEditResult::Missing;
    engine::TTzDbf t("QBNameEdit", station.engine);
    if (!openNames(station, t))
        return NameEditResult::WriteFailed;
    NameEditResult result = NameEditResult::Ok;
    t.Go(boardIndex + 1);
    if (boardIndex >= t.RecCount() || t.RecNo() != boardIndex + 1 || t.Deleted()
        || t.GetLongField("ident") != boardIndex) {
        result = NameEditResult::Missing;
    } else if (!t.RLock()) {
        result = NameEditResult::LockFailed;
    } else {
        t.Go(boardIndex + 1);
        if (t.Deleted()) {
            result = NameEditResult::Missing;
        } else {
            change(t);
            t.SetRealField("time", engine::encodeStoredTime(platform::nowDateTime(station.clock)));
            station.engine.clearError();
            t.Replace();
            if (markDeleted && station.engine.lastError() == 0)
                station.engine.DeleteRec();
            if (station.engine.lastError() != 0)
                result = NameEditResult::WriteFailed;
            t.Flush();
        }
        t.UnLock();
    }
    t.setActive(false);
    return result;
}

} // namespace

std::string storedTextProblem(const std::string& text, const char* what)
{
    for (std::size_t i = 0; i < text.size();) {
        const platform::Utf8Char c = platform::decodeUtf8(text, i);
        if (!c.valid)
            return std::string(what) + " is not valid UTF-8";
        if (c.codePoint < 0x20 || c.codePoint == 0x7F || (c.codePoint >= 0x80 && c.codePoint < 0xA0))
            return std::string(what) + " holds a control character (newline, escape, ...)";
        i += c.length;
    }
    const platform::CodePage cp = engine::TTzSession::instance().codePage;
    const std::string stored = platform::fromUtf8(text, cp);
    if (std::count(stored.begin(), stored.end(), '?') != std::count(text.begin(), text.end(), '?'))
        return std::string(what) + " holds characters code page " + platform::codePageName(cp) + " cannot store";
    if (stored.size() > 40)
        return std::string(what) + " has " + std::to_string(stored.size()) + " characters; at most 40 fit";
    return {};
}

std::string nameProblem(const std::string& name)
{
    if (std::string p = storedTextProblem(name, "the name"); !p.empty())
        return p;
    const std::string trimmed = withoutOuterBlanks(name);
    if (trimmed.empty())
        return "a name must have 1 to 40 characters";
    if (platform::asciiLower(trimmed) == "admin")
        return "\"Admin\" is the administrator's record, not a person";
    if (trimmed == core::kDeletedName)
        return "\"__\" marks a removed person on the board";
    return {};
}

AddPersonOutcome addPerson(board::Station& station, const NewPerson& person, const std::function<bool()>& waitMore)
{
    AddPersonOutcome out;
    const std::string name = withoutOuterBlanks(person.name);
    const std::string group = withoutOuterBlanks(person.group);
    out.problem = nameProblem(person.name);
    if (out.problem.empty())
        out.problem = storedTextProblem(group, "the group");
    if (!out.problem.empty()) {
        out.result = AddPersonResult::Invalid;
        return out;
    }
    AddNameResult r;
    for (;;) {
        r = addName(station, name, group, &out.added);
        if (r != AddNameResult::LockFailed || !waitMore || !waitMore())
            break;
    }
    switch (r) {
    case AddNameResult::Ok: break;
    case AddNameResult::Duplicate:
        out.result = AddPersonResult::Duplicate;
        out.problem = name + " is on the board already";
        return out;
    case AddNameResult::Full:
        out.result = AddPersonResult::Full;
        out.problem = "the board is full";
        return out;
    case AddNameResult::LockFailed:
        out.result = AddPersonResult::LockFailed;
        out.problem = "qb3.dbf stays locked by another station";
        return out;
    case AddNameResult::NotSetAside:
        out.result = AddPersonResult::NotSetAside;
        out.problem = "the mailbox, planner or information card an earlier person left at this board index cannot "
                      "be removed or set aside; nothing was added";
        return out;
    default:
        out.result = AddPersonResult::NotWritable;
        out.problem = "cannot write qb3.dbf in " + station.dataDir;
        return out;
    }

    // The person counts as added only when the record reads back as written
    // and the options record is stored; otherwise the record is removed again.
    const int index = out.added.boardIndex;
    if (personName(station, index) != name) {
        out.problem = "the record at board index " + std::to_string(index) + " does not read back as written";
    } else {
        admin::ConfigTable config(station.engine, station.clock, station.dataDir);
        engine::CommitResult saved;
        for (;;) {
            saved = config.saveRecord(index, person.options);
            if (saved != engine::CommitResult::LockFailed || !waitMore || !waitMore())
                break;
        }
        if (saved == engine::CommitResult::LockFailed)
            out.problem = "qb3cfg3.dbf stays locked by another station";
        else if (saved != engine::CommitResult::Ok)
            out.problem = "the options record cannot be written to qb3cfg3.dbf";
    }
    if (out.problem.empty()) {
        out.result = AddPersonResult::Ok;
        return out;
    }
    out.result = AddPersonResult::OptionsFailed;
    bool undone = false;
    for (int attempt = 0; attempt < 200 && !undone; ++attempt) {
        undone = removeName(station, index);
        if (!undone)
            station.pause(std::chrono::milliseconds(25));
    }
    out.undoFailed = !undone;
    return out;
}

int findPerson(board::Station& station, const std::string& name)
{
    engine::TTzDbf t("QBFindName", station.engine);
    if (!openNames(station, t))
        return -1;
    const std::u32string wanted = foldedName(withoutOuterBlanks(name));
    int found = -1;
    const std::int64_t count = t.RecCount();
    for (std::int64_t r = 2; r <= count && found < 0; ++r) {
        t.Go(r);
        if (!t.Deleted() && foldedName(t.getText("name")) == wanted)
            found = static_cast<int>(r - 1);
    }
    t.setActive(false);
    return found;
}

std::string personName(board::Station& station, int boardIndex)
{
    engine::TTzDbf t("QBNameOf", station.engine);
    if (boardIndex <= 0 || !openNames(station, t))
        return {};
    std::string name;
    t.Go(boardIndex + 1);
    if (t.RecNo() == boardIndex + 1 && boardIndex < t.RecCount() && !t.Deleted()
        && t.GetLongField("ident") == boardIndex)
        name = t.getText("name");
    t.setActive(false);
    return name;
}

NameEditResult renameName(board::Station& station, int boardIndex, const std::string& newName, std::string* problem)
{
    std::string why = nameProblem(newName);
    const std::string name = withoutOuterBlanks(newName);
    NameEditResult result = NameEditResult::Invalid;
    if (why.empty()) {
        const int holder = findPerson(station, name);
        if (holder > 0 && holder != boardIndex) {
            why = name + " is on the board already";
            result = NameEditResult::Duplicate;
        }
    }
    if (!why.empty()) {
        if (problem)
            *problem = why;
        return result;
    }
    return changePerson(station, boardIndex, [&](engine::TTzDbf& t) { t.setText("name", name); });
}

NameEditResult removePerson(board::Station& station, int boardIndex)
{
    // The position stays, marked deleted, so later people keep their indexes.
    NameEditResult r = changePerson(station, boardIndex, [](engine::TTzDbf& t) { t.SetCField("name", ""); }, true);
    if (r == NameEditResult::Ok)
        deleteMessageTable(station, boardIndex);
    return r;
}

NameEditResult setGroup(board::Station& station, int boardIndex, const std::string& group)
{
    std::string g = group;
    std::replace(g.begin(), g.end(), '&', '+');
    if (!storedTextProblem(g, "the group").empty())
        return NameEditResult::Invalid;
    return changePerson(station, boardIndex, [&](engine::TTzDbf& t) { t.setText("group", g); });
}

NameEditResult resetPassword(board::Station& station, int boardIndex)
{
    return changePerson(station, boardIndex, [](engine::TTzDbf& t) { t.SetCField("password", ""); });
}

} // namespace qb::admin
