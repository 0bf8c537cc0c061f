#include "NameAdmin.h"

#include "board/NamesTable.h"
#include "engine/RecordCommit.h"
#include "platform/FileOps.h"

#include <algorithm>

namespace qb::board {

namespace {

constexpr int kLockAttempts = 20;

void deleteMessageTable(Station& station, int index)
{
    for (const char* ext : {".dbf", ".dbt"}) {
        std::string p = engine::TTzDbf::resolvePath(station.dataPath("msg" + std::to_string(index) + ext));
        if (platform::fileExists(p))
            platform::removeFile(p);
    }
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
        auto c = static_cast<unsigned char>(utf8[i]);
        std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 4;
        char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        for (std::size_t k = 1; k < len && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += len;
        if ((cp >= 'A' && cp <= 'Z') || (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) || (cp >= 0x391 && cp <= 0x3A9))
            cp += 0x20;
        out += cp;
    }
    while (!out.empty() && out.back() == U' ')
        out.pop_back();
    return out;
}

} // namespace

AddNameResult addName(Station& station, const std::string& name, const std::string& group, AddedName* added)
{
    if (name.empty())
        return AddNameResult::EmptyName;
    engine::Engine& e = station.engine;
    engine::TTzDbf table("QBAddName", e);
    table.CreateIfNotFound = false;
    table.setDbfFileName(station.dataPath(NamesTable::kFileName));
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
    if (result == AddNameResult::Ok) {
        deleteMessageTable(station, index);
        if (added) {
            added->boardIndex = index;
            added->reused = reuse != 0;
        }
    }
    return result;
}

bool removeName(Station& station, int boardIndex)
{
    if (boardIndex <= 0)
        return false;
    engine::TTzDbf table("QBRemove", station.engine);
    table.CreateIfNotFound = false;
    table.setDbfFileName(station.dataPath(NamesTable::kFileName));
    station.engine.clearError();
    if (!table.setActive(true) || boardIndex >= table.RecCount())
        return false;
    table.Go(boardIndex + 1);
    bool ok = false;
    if (table.RLock()) {
        table.SetCField("name", "");
        station.engine.clearError();
        table.Replace();
        station.engine.DeleteRec();
        ok = station.engine.lastError() == 0;
        table.Flush();
        table.UnLock();
    }
    table.setActive(false);
    if (ok)
        deleteMessageTable(station, boardIndex);
    return ok;
}

} // namespace qb::board
