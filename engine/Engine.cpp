// Work areas, USE/CreateDbf, header reading and rewriting, navigation and
// field access. Writes are in EngineWrite.cpp, locks in EngineLocking.cpp,
// searches in EngineSearch.cpp, memos in EngineMemo.cpp.
#include "Engine.h"

#include "engine/FieldNames.h"
#include "engine/RecordCodec.h"
#include "engine/WorkArea.h"
#include "platform/FileOps.h"
#include "platform/AsciiCase.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace qb::engine {

namespace {
std::uint32_t getU32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
           | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t getU16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::string upper(std::string_view s)
{
    std::string r(s);
    for (auto& c : r)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

using platform::equalsIgnoringCase;

std::string two(int v)
{
    std::string s = std::to_string(v % 100);
    return s.size() < 2 ? "0" + s : s;
}

std::string dateTextOf(int year, int month, int day, bool century)
{
    return two(month) + "/" + two(day) + "/" + (century ? std::to_string(year) : two(year));
}

bool hasExtension(const std::string& path)
{
    std::size_t slash = path.find_last_of('/');
    std::size_t dot = path.find_last_of('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

// Table file names are matched without regard to case, as on the Windows
// stations sharing the directory: an exact name wins, else the first entry of
// the directory that differs only in case.
std::string resolveCase(platform::FileSystem& fs, const std::string& path)
{
    if (fs.exists(path))
        return path;
    std::size_t slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    for (const std::string& name : fs.list(dir))
        if (equalsIgnoringCase(name, base))
            return slash == std::string::npos ? name : path.substr(0, slash + 1) + name;
    return path;
}

std::string notDbase(const std::string& name, const char* why)
{
    return name + " is not a dBASE database." + " (" + why + ") [USE/OpenDBF]";
}

bool validType(char t)
{
    return t == 'C' || t == 'D' || t == 'F' || t == 'L' || t == 'M' || t == 'N';
}
} // namespace

// --- construction and errors --------------------------------------------------

Engine::Engine(platform::Clock& clock) : Engine(platform::FileSystem::posix(), clock) {}

Engine::Engine(platform::FileSystem& fs, platform::Clock& clock) : m_clock(clock), m_fs(fs)
{
    for (int i = 0; i < kWorkAreas; ++i) {
        m_areas.push_back(std::make_unique<WorkArea>());
        m_areas.back()->number = i + 1;
    }
}

Engine::~Engine() { closeAll(); }

void Engine::clearError()
{
    m_lastError = 0;
    m_lastErrorText.clear();
}

void Engine::setError(int code, std::string text)
{
    m_lastError = code;
    m_lastErrorText = std::move(text);
}

DateSettings Engine::dateSettings() const
{
    DateSettings ds;
    ds.order = dateOrder;
    ds.century = century;
    ds.currentYear = platform::toLocal(m_clock.now()).year;
    return ds;
}

WorkArea* Engine::area(const char* op)
{
    clearError();
    WorkArea* wa = m_areas[static_cast<std::size_t>(m_current - 1)].get();
    if (!wa->open) {
        setError(err::kNoDatabase,
                 std::string("No database in use [") + op + "]  WorkArea = " + std::to_string(m_current));
        return nullptr;
    }
    return wa;
}

std::string Engine::formatInteger(std::int64_t value, int width)
{
    std::string s = std::to_string(value);
    if (width < 0)
        width = 0;
    if (static_cast<int>(s.size()) > width)
        return std::string(static_cast<std::size_t>(width), '*');
    return std::string(static_cast<std::size_t>(width) - s.size(), ' ') + s;
}

std::string Engine::formatNumber(double value, int width, int decimals)
{
    if (width < 0)
        width = 0;
    std::string stars(static_cast<std::size_t>(width), '*');
    if (value != value || value > 1e300 || value < -1e300 || decimals < 0 || decimals > 255)
        return stars;
    char buf[700];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (ec != std::errc())
        return stars;
    std::string s(buf, p);
    // Correct rounding leaves an exact tie (0.125 to two places) to the even
    // digit; the stored text rounds it away from zero, as the Windows
    // stations write it. A tie shows as a trailing 5 one place further and is
    // confirmed on the exact expansion of the binary value.
    if (decimals < 340) {
        char more[720];
        auto [q, ec2] = std::to_chars(more, more + sizeof more, value, std::chars_format::fixed, decimals + 1);
        if (ec2 == std::errc() && q[-1] == '5') {
            char exact[1500];
            auto [x, ec3] = std::to_chars(exact, exact + sizeof exact, value, std::chars_format::fixed, 1100);
            const std::string_view digits(exact, static_cast<std::size_t>(x - exact));
            const std::size_t tail = digits.find('.') + 1 + static_cast<std::size_t>(decimals) + 1;
            if (ec3 == std::errc() && digits[tail - 1] == '5' && digits.find_first_not_of('0', tail) == std::string_view::npos) {
                // Away from zero: the truncated digits plus one unit in the last place.
                s.assign(digits.substr(0, tail - (decimals == 0 ? 2 : 1)));
                std::size_t i = s.size();
                while (i > 0) {
                    char& c = s[--i];
                    if (c == '.' || c == '-')
                        continue;
                    if (c != '9') {
                        ++c;
                        break;
                    }
                    c = '0';
                    if (i == 0 || s[i - 1] == '-') {
                        s.insert(i, 1, '1');
                        break;
                    }
                }
            }
        }
    }
    // "-0.00" would read back as 0 anyway; store it the way a zero is stored.
    if (!s.empty() && s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos)
        s.erase(0, 1);
    if (static_cast<int>(s.size()) > width)
        return stars;
    return std::string(static_cast<std::size_t>(width) - s.size(), ' ') + s;
}

// --- work areas ------------------------------------------------------------------

bool Engine::Select(int n)
{
    clearError();
    if (n >= 1 && n <= kCallerWorkAreas) {
        m_current = n;
        return true;
    }
    if (n == 0) {
        for (int i = 1; i <= kCallerWorkAreas; ++i) {
            if (!m_areas[static_cast<std::size_t>(i - 1)]->open) {
                m_current = i;
                return true;
            }
        }
        setError(err::kInvalidParameter, "No free workarea available [Select(0)]");
        return false;
    }
    setError(err::kInvalidParameter, "Invalid workarea selected = [Select(" + std::to_string(n) + ")]");
    return false;
}

bool Engine::isOpen(int n) const
{
    return n >= 1 && n <= kWorkAreas && m_areas[static_cast<std::size_t>(n - 1)]->open;
}

void Engine::closeAll()
{
    for (auto& wa : m_areas)
        if (wa->open)
            closeArea(*wa, false);
}

void Engine::CloseDbf()
{
    WorkArea* wa = area("CloseDbf");
    if (wa)
        closeArea(*wa, true);
}

void Engine::closeArea(WorkArea& wa, bool reportErrors)
{
    if (wa.open) {
        int savedCode = m_lastError;
        std::string savedText = m_lastErrorText;
        if (wa.mod != ModState::Unchanged)
            rewriteHeader(wa, "File:  " + wa.fileName + " [CloseDbf(" + wa.fileName + ")]");
        releaseAll(wa);
        if (!reportErrors)
            setError(savedCode, savedText);
    }
    wa.dbf.close();
    wa.memo.close();
    wa.reset();
}

void Engine::openModeFor(const WorkArea& wa, platform::Access& access, platform::Share& share) const
{
    using platform::Access;
    using platform::Share;
    access = Access::ReadWrite;
    if (openModeOverride != openmode::kNone) {
        // Low bits: access (0 read-only); bits 4..6: sharing (0x40 deny none,
        // 0x10..0x30 some denial, 0 no sharing mode at all).
        access = (openModeOverride & 3) == 0 ? Access::ReadOnly : Access::ReadWrite;
        int sharing = openModeOverride & 0x70;
        share = sharing == 0x40 ? Share::DenyNone : sharing == 0 ? Share::NoSharing : Share::DenyAll;
        return;
    }
    if (!networkLocking)
        share = Share::NoSharing;
    else
        share = wa.exclusive ? Share::DenyAll : Share::DenyNone;
}

bool Engine::USE(std::string_view command)
{
    clearError();
    WorkArea& wa = *m_areas[static_cast<std::size_t>(m_current - 1)];
    if (wa.open)
        closeArea(wa, false);

    // Keywords are taken from the end so that a file name may hold blanks.
    std::string rest(command);
    auto rtrim = [](std::string& s) {
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
            s.pop_back();
    };
    auto ltrim = [](std::string& s) {
        std::size_t i = s.find_first_not_of(" \t");
        s.erase(0, i == std::string::npos ? s.size() : i);
    };
    ltrim(rest);
    rtrim(rest);
    if (rest.empty())
        return true;
    auto lastToken = [](const std::string& s) {
        std::size_t b = s.find_last_of(" \t");
        return b == std::string::npos ? s : s.substr(b + 1);
    };
    auto dropLast = [&](std::string& s) {
        std::size_t b = s.find_last_of(" \t");
        s.erase(b == std::string::npos ? 0 : b);
        rtrim(s);
    };
    bool exclusive = false;
    std::string aliasName;
    for (;;) {
        std::string last = lastToken(rest);
        if (last.size() < rest.size() && equalsIgnoringCase(last, "EXCLUSIVE")) {
            exclusive = true;
            dropLast(rest);
            continue;
        }
        std::string before = rest;
        dropLast(before);
        if (!before.empty() && last.size() < rest.size() && aliasName.empty()
            && equalsIgnoringCase(lastToken(before), "ALIAS") && lastToken(before).size() < before.size()) {
            aliasName = last;
            rest = before;
            dropLast(rest);
            continue;
        }
        break;
    }
    std::string name = rest;
    if (!hasExtension(name))
        name += ".dbf";
    if (aliasName.empty()) {
        std::size_t slash = name.find_last_of('/');
        std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
        aliasName = upper(base.substr(0, base.find('.')));
    }
    wa.alias = aliasName.substr(0, 10);
    return openTable(wa, resolveCase(m_fs, name), exclusive);
}

bool Engine::openTable(WorkArea& wa, const std::string& path, bool exclusive)
{
    std::string alias = wa.alias;
    wa.fileName = path;
    wa.exclusive = exclusive;
    wa.osLocks = networkLocking && !exclusive;
    openModeFor(wa, wa.access, wa.share);
    // A pack cut short is finished or undone first; one that can be neither
    // would show the packed memos beside the old records.
    if (!settlePack(path, false)) {
        wa.reset();
        return false;
    }
    if (int rc = wa.dbf.open(m_fs, path, wa.access, wa.share)) {
        setError(rc, "Failure to open " + path + " [USE/OpenDbf]");
        wa.reset();
        return false;
    }
    wa.readOnly = wa.access == platform::Access::ReadOnly;
    wa.open = true;
    if (!readHeader(wa)) {
        closeArea(wa, true);
        return false;
    }
    for (auto& other : m_areas) {
        if (other.get() != &wa && other->open && equalsIgnoringCase(other->alias, alias)) {
            closeArea(wa, true);
            setError(err::kInvalidParameter, "Alias name \"" + alias + "\" already in use. [USE]");
            return false;
        }
    }
    if (wa.hasMemo && !openMemo(wa)) {
        closeArea(wa, true);
        return false;
    }
    if (autoFixRecCount) {
        std::int64_t size = wa.dbf.size();
        wa.recCount = size > wa.headerLen ? (size - wa.headerLen) / wa.recordLen : 0;
    }
    wa.raw.assign(static_cast<std::size_t>(wa.recordLen), ' ');
    if (wa.recCount >= 1) {
        if (!readRecord(wa, 1)) {
            closeArea(wa, true);
            return false;
        }
        wa.eof = wa.bof = false;
    } else {
        blankRecord(wa);
        wa.recNo = 0;
        wa.eof = wa.bof = true;
    }
    return true;
}

bool Engine::readHeader(WorkArea& wa)
{
    const std::string& name = wa.fileName;
    unsigned char pro[32] = {};
    wa.dbf.sizeOnceWritten(); // a table created this instant may still be empty
    std::int64_t n = wa.dbf.readAt(0, pro, sizeof pro);
    if (n < 0) {
        setError(err::kReadError, "Error reading " + name + " [USE/OpenDBF]");
        return false;
    }
    if (n < 32) {
        setError(err::kNotDbase, notDbase(name, "Prolog is less than 32 bytes"));
        return false;
    }
    int low = pro[0] & 7;
    if (low != 2 && low != 3) {
        setError(err::kNotDbase,
                 name + " is not a dBASE database." + "(" + "Invalid version byte" + ")+ [USE/OpenDBF]");
        return false;
    }
    wa.version = pro[0];
    wa.fields.clear();
    if (low == 3) {
        wa.hasMemo = (pro[0] & 0x80) != 0;
        wa.recCount = getU32(pro + 4);
        wa.headerLen = getU16(pro + 8);
        wa.recordLen = getU16(pro + 10);
        int nf = wa.headerLen >= 64 ? ((wa.headerLen - 32) / 32) % 256 : 0;
        if (nf == 0) {
            setError(err::kNotDbase,
                     name + " is not a dBASE database." + " (" + "Number of fields is out of range" + ") [Use/OpenDbf]");
            return false;
        }
        std::string desc(static_cast<std::size_t>(wa.headerLen - 32), '\0');
        if (wa.dbf.readAt(32, desc.data(), desc.size()) != static_cast<std::int64_t>(desc.size())) {
            setError(err::kReadError, "Error reading " + name + " [USE/OpenDBF]");
            return false;
        }
        for (int i = 0; i < nf; ++i) {
            const auto* d = reinterpret_cast<const unsigned char*>(desc.data()) + 32 * i;
            if (d[0] == 0x0D)
                break; // terminator before the header's end: the rest is padding
            FieldInfo f;
            const char* nm = reinterpret_cast<const char*>(d);
            f.name.assign(nm, strnlen(nm, 11));
            f.type = static_cast<char>(d[11]);
            f.length = d[16];
            f.decimals = d[17];
            wa.fields.push_back(f);
        }
        wa.dateText = dateTextOf(1900 + pro[1], pro[2], pro[3], century);
    } else {
        // dBASE II: fixed 521-byte header, 16-byte descriptors from offset 8.
        wa.dbase2 = true;
        wa.readOnly = true;
        wa.hasMemo = false;
        unsigned char head[521] = {};
        std::int64_t size = wa.dbf.size();
        if (size <= 520 || wa.dbf.readAt(0, head, sizeof head) != static_cast<std::int64_t>(sizeof head)) {
            setError(err::kNotDbase, notDbase(name, "Header is less than 521 bytes"));
            return false;
        }
        wa.recCount = getU16(head + 1);
        wa.recordLen = getU16(head + 6);
        wa.headerLen = 521;
        bool terminated = false;
        for (int i = 0; i < 32; ++i) {
            const unsigned char* d = head + 8 + 16 * i;
            if (d[0] == 0x0D) {
                terminated = true;
                break;
            }
            FieldInfo f;
            const char* nm = reinterpret_cast<const char*>(d);
            f.name.assign(nm, strnlen(nm, 11));
            f.type = static_cast<char>(d[11]);
            f.length = d[12];
            f.decimals = d[15];
            wa.fields.push_back(f);
        }
        if (!terminated || wa.fields.empty()) {
            setError(err::kNotDbase, notDbase(name, "Number of fields is out of range"));
            return false;
        }
        int year = head[5] < 100 ? 1900 + head[5] : 1900 + head[5];
        wa.dateText = dateTextOf(year, head[3], head[4], century);
    }
    if (wa.fields.empty()) {
        setError(err::kNotDbase,
                 name + " is not a dBASE database." + " (" + "Number of fields is out of range" + ") [Use/OpenDbf]");
        return false;
    }
    int offset = 1;
    for (auto& f : wa.fields) {
        if (!validType(f.type)) {
            setError(err::kInvalidField, "Field: " + f.name + " [" + std::string(1, f.type) + "] in " + name
                                             + " is not a valid field type");
            return false;
        }
        if (f.type != 'N' && f.type != 'F')
            f.decimals = 0;
        f.offset = offset;
        offset += f.length;
    }
    // Fields that do not fit the stated record would make every record read
    // run past its buffer.
    if (offset > wa.recordLen) {
        setError(err::kNotDbase, notDbase(name, "Record length is less than the sum of field lengths"));
        return false;
    }
    return true;
}

std::string Engine::companionName(const std::string& tablePath, const char* ext)
{
    return resolveCase(m_fs, companionPath(tablePath, ext));
}

std::string Engine::companionPath(const std::string& tablePath, const char* ext)
{
    std::string stem = tablePath.substr(0, tablePath.find_last_of('.'));
    std::string tableExt = tablePath.substr(stem.size());
    bool upperExt = tableExt.size() > 1 && std::all_of(tableExt.begin() + 1, tableExt.end(), [](char c) {
        return !std::islower(static_cast<unsigned char>(c));
    });
    std::string e = ext;
    for (auto& c : e)
        c = static_cast<char>(upperExt ? std::toupper(static_cast<unsigned char>(c)) : std::tolower(static_cast<unsigned char>(c)));
    return stem + e;
}

bool Engine::openMemo(WorkArea& wa)
{
    std::string memoName = companionName(wa.fileName, ".dbt");
    if (!m_fs.exists(memoName)) {
        setError(err::kFileNotFound, "Memo file not found: " + memoName + " [USE/OpenDbf]");
        return false;
    }
    if (int rc = wa.memo.open(m_fs, memoName, wa.access, wa.share)) {
        setError(rc, "Failure to open " + memoName + " [USE/OpenDbf]");
        return false;
    }
    wa.memo.file().sizeOnceWritten(); // its header must be there before the first memo write
    return true;
}

bool Engine::reopen(WorkArea& wa, platform::Access access, platform::Share share, const char* op)
{
    std::string memoName = wa.memo.path();
    bool hadMemo = wa.memo.isOpen();
    wa.memo.close();
    wa.dbf.close();
    wa.dropCache();
    wa.lockState = LockState::None;
    wa.lockedRecords.clear();
    int rc = wa.dbf.open(m_fs, wa.fileName, access, share);
    if (rc == 0 && hadMemo) {
        rc = wa.memo.open(m_fs, memoName, access, share);
        if (rc)
            wa.dbf.close();
    }
    if (rc) {
        setError(rc, "Failure to open " + wa.fileName + " [" + op + "]");
        return false;
    }
    // Someone may have replaced the file meanwhile; a different layout must
    // not be written with the old one.
    unsigned char pro[12] = {};
    if (!wa.dbase2
        && (wa.dbf.readAt(0, pro, sizeof pro) != static_cast<std::int64_t>(sizeof pro)
            || getU16(pro + 8) != wa.headerLen || getU16(pro + 10) != wa.recordLen)) {
        wa.dbf.close();
        wa.memo.close();
        setError(err::kNotDbase, notDbase(wa.fileName, "Header changed while reopening"));
        return false;
    }
    wa.access = access;
    wa.share = share;
    return true;
}

// --- header ------------------------------------------------------------------------

void Engine::refreshCount(WorkArea& wa, bool toWrite)
{
    if (wa.exclusive || !wa.open || wa.recordLen <= 0)
        return;
    std::int64_t size = 0;
    if (toWrite) {
        // Deciding where to write: the size from the server (see EngineLocking.cpp).
        size = wa.dbf.endOffset();
        if (size < 0)
            return;
    } else {
        size = wa.dbf.size();
        if (size < 0)
            return;
    }
    wa.recCount = size > wa.headerLen ? (size - wa.headerLen) / wa.recordLen : 0;
}

bool Engine::rewriteHeader(WorkArea& wa, const std::string& failText)
{
    if (wa.readOnly || wa.dbase2) {
        wa.mod = ModState::Unchanged;
        return true;
    }
    // Under the append or file lock the count written is the server's.
    refreshCount(wa, holdsWriteLock(wa));
    platform::LocalTime lt = platform::toLocal(m_clock.now());
    unsigned char head[8];
    head[0] = static_cast<unsigned char>(wa.version);
    head[1] = static_cast<unsigned char>(std::clamp(lt.year - 1900, 0, 255));
    head[2] = static_cast<unsigned char>(lt.month);
    head[3] = static_cast<unsigned char>(lt.day);
    auto count = static_cast<std::uint32_t>(wa.recCount);
    head[4] = static_cast<unsigned char>(count);
    head[5] = static_cast<unsigned char>(count >> 8);
    head[6] = static_cast<unsigned char>(count >> 16);
    head[7] = static_cast<unsigned char>(count >> 24);
    int rc = wa.dbf.writeAt(0, head, sizeof head);
    if (rc == 0 && wa.mod == ModState::Appended) {
        // The end byte goes after the last record. Without the append or file
        // lock another station may be appending right there, so it is only
        // written when that lock can be had for the moment.
        bool mayWrite = !wa.osLocks || wa.lockState == LockState::Append || wa.lockState == LockState::File;
        bool tookLock = false;
        if (!mayWrite) {
            ++m_lockAttempts;
            tookLock = mayWrite = wa.dbf.lock(kAppendLockOffset, 1) == platform::LockResult::Locked;
        }
        if (tookLock)
            refreshCount(wa, true);
        if (mayWrite) {
            const unsigned char eofByte = 0x1A;
            rc = wa.dbf.writeAt(wa.recordOffset(wa.recCount + 1), &eofByte, 1);
        }
        if (tookLock)
            wa.dbf.unlock(kAppendLockOffset, 1);
    }
    if (rc) {
        setError(rc, failText);
        return false;
    }
    wa.mod = ModState::Unchanged;
    wa.dateText = dateTextOf(lt.year, lt.month, lt.day, century);
    return true;
}

bool Engine::flushArea(WorkArea& wa, const std::string& failText)
{
    if (wa.mod == ModState::Unchanged)
        return true;
    if (!confirmLock(wa, "FlushDbf"))
        return false;
    if (!rewriteHeader(wa, failText))
        return false;
    if (int rc = wa.dbf.sync()) {
        setError(rc, failText);
        return false;
    }
    return true;
}

// --- records -------------------------------------------------------------------------

// Read-ahead
// ----------
// Another station may rewrite any record at any moment. A block of records
// read ahead therefore serves only the pass that read it: a run of reads
// moving one way (GoTop and Skip forward, GoBottom and Skip back, the scan of
// a Locate or a pack). GoTop, GoBottom, GO and any other read that positions
// the work area outside a pass, a turn of direction, any lock taken and any
// own write drop it, so what another station wrote before a pass began is
// what the pass shows, and a later pass shows later writes. Whether a block
// is fresh is never judged by comparing file times with our clock: on a share
// those come from the server's clock, through attribute caches.
// Exclusive tables have no other writer and keep their block until an own
// write.
const char* Engine::fetchRecord(WorkArea& wa, std::int64_t r, const char* op, int pass)
{
    if (r < 1 || r > wa.recCount) {
        setError(err::kRange, "Invalid record number = " + std::to_string(r) + " (" + wa.fileName + ")  [" + op + "]");
        return nullptr;
    }
    const auto len = static_cast<std::size_t>(wa.recordLen);
    if (r >= wa.cacheFirst && r < wa.cacheFirst + wa.cacheCount
        && (wa.exclusive || (pass != 0 && pass == wa.cachePass && (r - wa.cacheLast) * pass > 0))) {
        wa.cacheLast = r;
        return wa.cache.data() + static_cast<std::size_t>(r - wa.cacheFirst) * len;
    }

    const bool fill = wa.exclusive || pass != 0;
    std::int64_t first = r;
    std::int64_t count = 1;
    std::string* buf = &wa.single;
    if (fill) {
        wa.dropCache();
        const std::int64_t per = std::max<std::int64_t>(1, kReadAheadBytes / wa.recordLen);
        if (pass < 0 || (pass == 0 && wa.recNo == r + 1)) // moving backwards: end the block at r
            first = std::max<std::int64_t>(1, r - per + 1);
        count = std::min(per, wa.recCount - first + 1);
        buf = &wa.cache;
    }
    const std::size_t want = static_cast<std::size_t>(count) * len;
    // Only as much as this block needs: a small table (most of a board's)
    // never pays for zeroing a whole read-ahead block.
    if (buf->size() < want)
        buf->resize(want);
    std::int64_t n = wa.dbf.readAt(wa.recordOffset(first), buf->data(), want);
    const std::int64_t got = n > 0 ? n / wa.recordLen : 0;
    if (r >= first + got) {
        // The file ends before the count we knew: someone cut it short. The
        // count follows the file, so that the caller can tell the end of
        // file (r beyond the new count) from a damaged read.
        if (n >= 0)
            refreshCount(wa);
        setError(n < 0 ? platform::errnoToCode(errno) : err::kUnexpectedEof, "File:  " + wa.fileName + "  [" + op + "]");
        return nullptr;
    }
    if (fill) {
        wa.cacheFirst = first;
        wa.cacheCount = got;
        wa.cachePass = pass;
        wa.cacheLast = r;
    }
    return buf->data() + static_cast<std::size_t>(r - first) * len;
}

bool Engine::endedShort(WorkArea& wa, std::int64_t r)
{
    if (r <= wa.recCount)
        return false;
    clearError(); // the end of the file, not a failure
    return true;
}

bool Engine::readRaw(WorkArea& wa, std::int64_t r, std::string& raw, const char* op, int pass)
{
    const char* p = fetchRecord(wa, r, op, pass);
    if (!p)
        return false;
    raw.assign(p, static_cast<std::size_t>(wa.recordLen));
    return true;
}

void Engine::decodeRecord(WorkArea& wa)
{
    // Only date fields need the current year, and asking the clock for it
    // cost a tenth of a scan of a table without any.
    DateSettings ds;
    ds.order = dateOrder;
    ds.century = century;
    if (std::any_of(wa.fields.begin(), wa.fields.end(), [](const FieldInfo& f) { return f.type == 'D'; }))
        ds = dateSettings();
    wa.typed.deleted = !wa.raw.empty() && wa.raw[0] == '*';
    wa.typed.fields.resize(wa.fields.size());
    std::string_view raw(wa.raw);
    for (std::size_t i = 0; i < wa.fields.size(); ++i) {
        const FieldInfo& f = wa.fields[i];
        RecordCodec::decode(f, raw.substr(static_cast<std::size_t>(f.offset), static_cast<std::size_t>(f.length)),
                            wa.typed.fields[i], ds);
    }
}

bool Engine::readRecord(WorkArea& wa, std::int64_t r, int pass)
{
    if (pass == 0 && !wa.exclusive)
        wa.dropCache(); // positioned outside a pass: the pass is over
    const char* p = fetchRecord(wa, r, "GetDbfRecord", pass);
    if (!p)
        return false;
    wa.raw.assign(p, static_cast<std::size_t>(wa.recordLen)); // keeps its capacity
    decodeRecord(wa);
    wa.recNo = r;
    return true;
}

void Engine::blankRecord(WorkArea& wa)
{
    // A blank date needs only the format, not the current year: no clock,
    // and no time zone to load at start-up.
    DateSettings ds;
    ds.order = dateOrder;
    ds.century = century;
    wa.typed.deleted = false;
    wa.typed.fields.resize(wa.fields.size());
    for (std::size_t i = 0; i < wa.fields.size(); ++i)
        RecordCodec::clear(wa.fields[i], wa.typed.fields[i], ds);
    wa.raw.assign(static_cast<std::size_t>(wa.recordLen), ' ');
}

void Engine::setEof(WorkArea& wa, bool bof)
{
    blankRecord(wa);
    // Past the last record, or record 0 in an empty table, so that a Replace
    // there reports the table as empty.
    wa.recNo = wa.recCount >= 1 ? wa.recCount + 1 : 0;
    wa.eof = true;
    wa.bof = bof;
}

bool Engine::isVisible(WorkArea& wa)
{
    if (hideDeleted && wa.typed.deleted)
        return false;
    if (wa.filter) {
        // The callback reads the record through the engine and may select
        // another work area; the caller's selection is restored.
        int current = m_current;
        bool keep = wa.filter();
        m_current = current;
        return keep;
    }
    return true;
}

// --- navigation ------------------------------------------------------------------------

void Engine::goTopIn(WorkArea& wa)
{
    refreshCount(wa);
    if (!wa.exclusive)
        wa.dropCache(); // a new pass
    if (wa.recCount < 1)
        return;
    for (std::int64_t r = 1; r <= wa.recCount; ++r) {
        if (!readRecord(wa, r, +1)) {
            endedShort(wa, r);
            setEof(wa, false); // a damaged file must not trap "until end of file" loops
            return;
        }
        wa.eof = wa.bof = false;
        if (isVisible(wa))
            return;
    }
    setEof(wa, false);
}

void Engine::GoTop()
{
    if (WorkArea* wa = area("GoTop"))
        goTopIn(*wa);
}

void Engine::GoBottom()
{
    WorkArea* wa = area("GoBottom");
    if (!wa)
        return;
    refreshCount(*wa);
    if (!wa->exclusive)
        wa->dropCache(); // a new pass
    if (wa->recCount < 1)
        return;
    for (std::int64_t r = wa->recCount; r >= 1; --r) {
        if (!readRecord(*wa, r, -1)) {
            if (endedShort(*wa, r)) {
                r = wa->recCount + 1; // start again at the new last record
                continue;
            }
            setEof(*wa, true);
            return;
        }
        wa->eof = wa->bof = false;
        if (isVisible(*wa))
            return;
    }
    setEof(*wa, true);
}

void Engine::GO(std::int64_t n)
{
    WorkArea* wa = area("GO");
    if (!wa)
        return;
    if (n > wa->recCount)
        refreshCount(*wa);
    auto bad = [&] {
        return "Invalid record number = " + std::to_string(n) + " " + "Database \"" + wa->alias + "\" [GO]";
    };
    if (wa->recCount < 1) {
        setEof(*wa, true);
        setError(err::kRange, bad());
        return;
    }
    if (n >= 1 && n <= wa->recCount) {
        wa->eof = wa->bof = false;
        if (!readRecord(*wa, n) && endedShort(*wa, n)) {
            setEof(*wa, false);
            setError(err::kRange, bad());
        }
        return;
    }
    setEof(*wa, false);
    setError(err::kRange, bad());
}

void Engine::Skip(std::int64_t n)
{
    WorkArea* wa = area("SKIP");
    if (!wa)
        return;
    // The count is recomputed only when the known one runs out: a shared
    // table only grows while we have it open (a pack needs it exclusively),
    // and the caller's end-of-file test has just refreshed it anyway.
    if (wa->eof && n > 0) {
        setError(err::kRange, "Database \"" + wa->alias + "\"" + " is past EOF." + " [SKIP]");
        return;
    }
    if (wa->recCount < 1)
        refreshCount(*wa);
    if (wa->recCount < 1) {
        wa->eof = wa->bof = true;
        setError(err::kRange, "Database \"" + wa->alias + "\"" + " is empty." + " [SKIP]");
        return;
    }
    if (n == 0) {
        if (wa->recNo >= 1 && wa->recNo <= wa->recCount && !readRecord(*wa, wa->recNo) && endedShort(*wa, wa->recNo))
            setEof(*wa, false);
        return;
    }
    wa->eof = wa->bof = false;
    std::int64_t r = std::clamp<std::int64_t>(wa->recNo, 0, wa->recCount + 1);
    std::int64_t left = n > 0 ? n : -n;
    int step = n > 0 ? 1 : -1;
    while (left > 0) {
        r += step;
        if (r > wa->recCount) {
            refreshCount(*wa);
            if (r > wa->recCount) {
                setEof(*wa, false);
                return;
            }
        }
        if (r < 1) {
            goTopIn(*wa);
            wa->bof = true;
            return;
        }
        if (!readRecord(*wa, r, step)) {
            endedShort(*wa, r);
            setEof(*wa, false);
            return;
        }
        if (isVisible(*wa))
            --left;
    }
}

bool Engine::dEOF()
{
    WorkArea* wa = area("dEOF");
    if (!wa)
        return true; // a loop "until end of file" must end on a closed area
    // While we hold the share byte nobody can pack, so a shared table only
    // grows: the size needs asking only once the position reaches the count
    // last seen (a file cut short anyway shows at the short read, see
    // fetchRecord). Asking before every test cost a system call per record.
    if (wa->recNo >= wa->recCount)
        refreshCount(*wa);
    if (wa->recNo > wa->recCount)
        wa->eof = true;
    return wa->eof;
}

bool Engine::dBOF()
{
    WorkArea* wa = area("dBOF");
    return wa ? wa->bof : true;
}

std::int64_t Engine::RecNo()
{
    WorkArea* wa = area("RecNo");
    return wa ? wa->recNo : 0;
}

std::int64_t Engine::RecCount()
{
    WorkArea* wa = area("RecCount");
    if (!wa)
        return 0;
    refreshCount(*wa);
    return wa->recCount;
}

void Engine::SetFilterToCB(std::function<bool()> callback)
{
    if (WorkArea* wa = area("SetFilterToCB"))
        wa->filter = std::move(callback);
}

// --- fields ----------------------------------------------------------------------------

int Engine::findField(const WorkArea& wa, std::string_view name) const { return fieldNumberByName(wa.fields, name); }

bool Engine::checkField(const WorkArea& wa, int n, const char* op)
{
    if (n >= 1 && n <= static_cast<int>(wa.fields.size()))
        return true;
    setError(err::kInvalidParameter, std::string("Invalid field number. [") + op + "(" + std::to_string(n) + ")]");
    return false;
}

int Engine::FieldCount()
{
    WorkArea* wa = area("FieldCount");
    return wa ? static_cast<int>(wa->fields.size()) : 0;
}

int Engine::FieldNo(std::string_view name)
{
    WorkArea* wa = area("FieldNo");
    return wa ? findField(*wa, name) : 0;
}

std::string Engine::Field(int n)
{
    WorkArea* wa = area("Field");
    if (!wa || !checkField(*wa, n, "Field"))
        return {};
    return wa->fields[static_cast<std::size_t>(n - 1)].name;
}

char Engine::FieldType(int n)
{
    WorkArea* wa = area("FieldType");
    if (!wa || !checkField(*wa, n, "FieldType"))
        return 0;
    return wa->fields[static_cast<std::size_t>(n - 1)].type;
}

int Engine::FieldLen(int n)
{
    WorkArea* wa = area("FieldLen");
    if (!wa || !checkField(*wa, n, "FieldLen"))
        return 0;
    return wa->fields[static_cast<std::size_t>(n - 1)].length;
}

int Engine::FieldDec(int n)
{
    WorkArea* wa = area("FieldDec");
    if (!wa || !checkField(*wa, n, "FieldDec"))
        return 0;
    return wa->fields[static_cast<std::size_t>(n - 1)].decimals;
}

int Engine::FieldAddress(int n)
{
    WorkArea* wa = area("FieldAddress");
    if (!wa)
        return -1;
    if (n == 0)
        return 0;
    if (!checkField(*wa, n, "FieldAddress"))
        return -1;
    return n;
}

std::string Engine::SField(int n)
{
    WorkArea* wa = area("SField");
    if (!wa || !checkField(*wa, n, "SField"))
        return {};
    const FieldInfo& f = wa->fields[static_cast<std::size_t>(n - 1)];
    const FieldValue& v = wa->typed.fields[static_cast<std::size_t>(n - 1)];
    switch (f.type) {
    case 'N':
    case 'F': {
        if (f.decimals == 0)
            return formatInteger(v.integer, f.length);
        std::string s = formatNumber(v.real, f.length, f.decimals);
        std::replace(s.begin(), s.end(), '.', decimalSeparator);
        return s;
    }
    case 'L': return v.logical ? "Y" : "N";
    case 'M': return v.integer != 0 ? "MEMO" : "none";
    default: return v.text;
    }
}

bool Engine::Deleted()
{
    WorkArea* wa = area("Deleted");
    return wa && wa->typed.deleted;
}

const FieldInfo* Engine::fieldInfo(int n)
{
    WorkArea* wa = area("fieldInfo");
    if (!wa || !checkField(*wa, n, "fieldInfo"))
        return nullptr;
    return &wa->fields[static_cast<std::size_t>(n - 1)];
}

TypedRecord* Engine::record()
{
    WorkArea* wa = m_areas[static_cast<std::size_t>(m_current - 1)].get();
    return wa->open ? &wa->typed : nullptr;
}

void Engine::ClearRecord()
{
    if (WorkArea* wa = area("ClearRecord"))
        blankRecord(*wa);
}

void Engine::PushRecord()
{
    WorkArea* wa = area("PushRecord");
    if (!wa)
        return;
    try {
        wa->stack.push_back(wa->typed);
    } catch (const std::bad_alloc&) {
        setError(err::kNoMemory, "Not enough memory to Push a record [PushRecord]\r\n" + wa->alias);
    }
}

void Engine::PopRecord()
{
    WorkArea* wa = area("PopRecord");
    if (!wa)
        return;
    if (wa->stack.empty()) {
        setError(err::kInvalidOperation, std::string("Push/Pop stack is empty") + " [PopRecord]" + "\r\n" + wa->alias);
        return;
    }
    wa->typed = std::move(wa->stack.back());
    wa->stack.pop_back();
}

// --- information -----------------------------------------------------------------------

std::string Engine::alias()
{
    WorkArea* wa = area("alias");
    return wa ? wa->alias : std::string();
}

std::string Engine::fileName()
{
    WorkArea* wa = area("fileName");
    return wa ? wa->fileName : std::string();
}

int Engine::headerLength()
{
    WorkArea* wa = area("headerLength");
    return wa ? wa->headerLen : 0;
}

int Engine::recordLength()
{
    WorkArea* wa = area("recordLength");
    return wa ? wa->recordLen : 0;
}

bool Engine::isExclusive()
{
    WorkArea* wa = area("isExclusive");
    return wa && wa->exclusive;
}

int Engine::version()
{
    WorkArea* wa = area("version");
    return wa ? wa->version : 0;
}

std::string Engine::lastUpdate()
{
    WorkArea* wa = area("lastUpdate");
    return wa ? wa->dateText : std::string();
}

// --- creation ----------------------------------------------------------------------------

bool Engine::CreateDbf(const std::string& fileName, const std::vector<FieldSpec>& specs)
{
    return createTable(fileName, specs, false);
}

bool Engine::CreateDbfIfMissing(const std::string& fileName, const std::vector<FieldSpec>& specs)
{
    return createTable(fileName, specs, true);
}

bool Engine::createTable(const std::string& fileName, const std::vector<FieldSpec>& specs, bool onlyIfMissing)
{
    clearError();
    std::vector<FieldInfo> fields;
    bool valid = !specs.empty() && specs.size() <= 255;
    int recordLen = 1;
    bool anyMemo = false;
    for (const FieldSpec& s : specs) {
        std::string name = s.name;
        std::size_t b = name.find_first_not_of(' ');
        name = b == std::string::npos ? std::string() : name.substr(b, name.find_last_not_of(' ') - b + 1);
        name = upper(name).substr(0, 10);
        if (name.empty()) {
            setError(err::kInvalidParameter, "Empty field name [CreateDbf(" + fileName + ")]");
            return false;
        }
        FieldInfo f;
        f.name = name;
        f.type = static_cast<char>(std::toupper(static_cast<unsigned char>(s.type)));
        f.length = s.length;
        f.decimals = s.decimals;
        switch (f.type) {
        case 'C':
        case 'N':
        case 'F':
            if (f.length <= 0 || f.length > 255)
                valid = false;
            break;
        case 'D': f.length = 8; break;
        case 'L': f.length = 1; break;
        case 'M':
            f.length = 10;
            anyMemo = true;
            break;
        default: valid = false; break;
        }
        if (f.type != 'N' && f.type != 'F')
            f.decimals = 0;
        else if (f.decimals < 0 || f.decimals > 255)
            valid = false;
        recordLen += std::max(0, f.length);
        fields.push_back(f);
    }
    if (recordLen > 0xFFFF)
        valid = false;
    if (!valid) {
        setError(err::kInvalidField, "Invalid dBASE field definition [CreateDBF]");
        return false;
    }

    const int n = static_cast<int>(fields.size());
    const int headerLen = 32 * n + 33;
    std::string head(static_cast<std::size_t>(headerLen) + 1, '\0');
    auto* h = reinterpret_cast<unsigned char*>(head.data());
    platform::LocalTime lt = platform::toLocal(m_clock.now());
    h[0] = anyMemo ? 0x83 : 0x03;
    h[1] = static_cast<unsigned char>(std::clamp(lt.year - 1900, 0, 255));
    h[2] = static_cast<unsigned char>(lt.month);
    h[3] = static_cast<unsigned char>(lt.day);
    h[8] = static_cast<unsigned char>(headerLen);
    h[9] = static_cast<unsigned char>(headerLen >> 8);
    h[10] = static_cast<unsigned char>(recordLen);
    h[11] = static_cast<unsigned char>(recordLen >> 8);
    for (int i = 0; i < n; ++i) {
        unsigned char* d = h + 32 + 32 * i;
        std::memcpy(d, fields[static_cast<std::size_t>(i)].name.data(), fields[static_cast<std::size_t>(i)].name.size());
        d[11] = static_cast<unsigned char>(fields[static_cast<std::size_t>(i)].type);
        d[16] = static_cast<unsigned char>(fields[static_cast<std::size_t>(i)].length);
        d[17] = static_cast<unsigned char>(fields[static_cast<std::size_t>(i)].decimals);
    }
    h[32 + 32 * n] = 0x0D;
    h[headerLen] = 0x1A; // an empty table ends right after its header

    std::string name = fileName;
    if (!hasExtension(name))
        name += ".dbf";
    if (onlyIfMissing) {
        // The memo file first, so whoever opens the new table finds it.
        std::string stem = name.substr(0, name.find_last_of('.'));
        std::string ext = name.substr(stem.size());
        bool upperExt = std::none_of(ext.begin(), ext.end(), [](char c) { return std::islower(static_cast<unsigned char>(c)); });
        std::string memoName = stem + (upperExt ? ".DBT" : ".dbt");
        if (anyMemo) {
            int mrc = MemoFile::createMissing(m_fs, memoName);
            if (mrc != 0 && mrc != platform::kFileExists) {
                setError(mrc, "Cannot create memo file " + memoName + " [CreateDbf]");
                return false;
            }
        }
        int rc = m_fs.publish(name, head);
        if (rc != 0 && rc != platform::kFileExists) {
            setError(rc, "Error writing " + name + ". [CreateDbf]");
            return false;
        }
        return true;
    }
    platform::FileHandle f;
    // Two stations that both found the table missing may both create it; the
    // later one must not truncate a table the other already has open.
    if (f.open(m_fs, name, platform::Access::ReadWrite, platform::Share::DenyAll) == err::kSharingViolation) {
        setError(err::kSharingViolation, "Error writing " + name + ". [CreateDbf]");
        return false;
    }
    f.close();
    int rc = f.create(m_fs, name);
    if (rc == 0)
        rc = f.writeAt(0, head.data(), head.size());
    if (rc == 0)
        rc = f.sync();
    f.close();
    if (rc) {
        setError(rc, "Error writing " + name + ". [CreateDbf]");
        return false;
    }
    if (anyMemo) {
        std::string stem = name.substr(0, name.find_last_of('.'));
        std::string ext = name.substr(stem.size());
        bool upperExt = std::none_of(ext.begin(), ext.end(), [](char c) { return std::islower(static_cast<unsigned char>(c)); });
        std::string memoName = stem + (upperExt ? ".DBT" : ".dbt");
        if (int mrc = MemoFile::create(m_fs, memoName)) {
            setError(mrc, "Cannot create memo file " + memoName + " [CreateDbf]");
            return false;
        }
    }
    return true;
}

} // namespace qb::engine
