// The dBASE III table engine: work areas, navigation, typed record buffer,
// append/replace/delete/pack, memo files and the byte-range lock protocol
// shared by every station.
//
// Contract: operations act on the current work area, clear the last error
// first and, on failure, set lastError()/lastErrorText() and return a neutral
// value. Nothing here throws for table errors. An Engine is used from one
// thread; several Engine objects (one per simulated station) may share files.
// No Qt.
#pragma once

#include "platform/Clock.h"
#include "platform/Files.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qb::engine {

// One entry of a field list for CreateDbf.
struct FieldSpec {
    std::string name;
    char type = 'C';
    int length = 0;
    int decimals = 0;
};

// A field descriptor as read from the table.
struct FieldInfo {
    std::string name; // upper case as stored
    char type = 'C';
    int length = 0;
    int decimals = 0;
    int offset = 0; // byte offset inside the stored record (deletion flag is byte 0)
};

// Typed value of one field. Which member is used depends on the field:
//   C, D          text (C: exactly the field length after a read; D: date text
//                 in the current date format)
//   N/F, dec 0    integer
//   N/F, dec > 0  real
//   L             logical
//   M             integer (first memo block, 0 = none)
// For D fields a read also leaves the stored date as the number YYYYMMDD in
// integer, so a two-digit year written back keeps its century.
struct FieldValue {
    std::string text;
    std::int64_t integer = 0;
    double real = 0.0;
    bool logical = false;
};

struct TypedRecord {
    bool deleted = false;
    std::vector<FieldValue> fields; // index 0 is field 1
};

enum class DateOrder { MonthDayYear, YearMonthDay, DayMonthYearSlash, DayMonthYearDash, DayMonthYearDot };

// Error codes of the engine (others pass through from the OS; the file
// codes are those of platform/Files.h).
namespace err {
constexpr int kFileNotFound = platform::oserr::kFileNotFound;
constexpr int kPathNotFound = platform::oserr::kPathNotFound;
constexpr int kTooManyOpenFiles = platform::oserr::kTooManyOpenFiles;
constexpr int kAccessDenied = platform::oserr::kAccessDenied;
constexpr int kSharingViolation = platform::oserr::kSharingViolation;
constexpr int kLockViolation = platform::oserr::kLockViolation;
constexpr int kReadError = platform::oserr::kReadFault;
constexpr int kWriteError = platform::oserr::kWriteFault;
constexpr int kNotDbase = 210;
constexpr int kInvalidField = 211;
constexpr int kRange = 212;
constexpr int kUnexpectedEof = 213;
constexpr int kNoDatabase = 215;
constexpr int kNoMemory = 217;
constexpr int kInvalidParameter = 220;
constexpr int kInvalidMemoAddress = 1003;
constexpr int kMemoLock = 1017;
constexpr int kMemoUnlock = 1018;
constexpr int kVirtualTable = 1100;
constexpr int kInvalidOperation = 1103;
constexpr int kRecordNotLocked = 1200;
} // namespace err

// Open-mode override values.
namespace openmode {
constexpr std::uint16_t kNone = 0xFFFF;
constexpr std::uint16_t kReadOnlyDenyNone = 0x40;
constexpr std::uint16_t kReadWriteDenyNone = 0x42;
constexpr std::uint16_t kReadWriteDenyAll = 0x12;
constexpr std::uint16_t kReadWriteNoShare = 2;
} // namespace openmode

struct WorkArea;     // defined in the implementation
enum class LockState; // defined with WorkArea
struct DateSettings; // RecordCodec.h

class Engine {
public:
    static constexpr int kWorkAreas = 35;
    static constexpr int kCallerWorkAreas = 33;
    // The lock map of platform/Files.h.
    static constexpr std::int64_t kLockBase = platform::lockmap::kLockBase;
    static constexpr std::int64_t kAppendLockOffset = platform::lockmap::kAppendLockOffset;
    static constexpr std::int64_t kFileLockLength = platform::lockmap::kFileLockLength;
    static constexpr std::int64_t kMemoLockOffset = platform::lockmap::kMemoLockOffset;
    // Read-ahead block size of a work area.
    static constexpr std::int64_t kReadAheadBytes = 64 * 1024;

    explicit Engine(platform::Clock& clock = platform::SystemClock::instance());
    // An engine whose tables live in fs (in-memory or fault-injecting files
    // in tests); fs must outlive it.
    explicit Engine(platform::FileSystem& fs, platform::Clock& clock = platform::SystemClock::instance());
    ~Engine(); // closes every work area
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // --- errors -----------------------------------------------------------
    int lastError() const { return m_lastError; }
    const std::string& lastErrorText() const { return m_lastErrorText; }
    void clearError();
    void setError(int code, std::string text);

    // --- engine-wide settings ---------------------------------------------
    bool networkLocking = true;
    int lockRetries = 0;
    int recordLockLimit = 0;              // 0 = no limit
    std::function<bool()> lockFailedCallback; // asked when retries are used up
    std::uint16_t openModeOverride = openmode::kNone;
    bool hideDeleted = false;             // set by the component before every call
    bool autoFixRecCount = false;         // count repair at open
    bool writeThrough = false;
    DateOrder dateOrder = DateOrder::MonthDayYear;
    bool century = false;                 // 4-digit years in date text
    char decimalSeparator = '.';
    // Memo lines longer than 254 characters come back in pieces unless this
    // wrap width is set (0 = return lines as stored, split at 254).
    int memoWrapWidth = 0;
    void setRetry(int retries, int /*unused second value*/) { lockRetries = retries; }

    // --- work areas --------------------------------------------------------
    bool Select(int n);
    int currentArea() const { return m_current; }
    bool isOpen(int area) const;
    // Opens "FILE [EXCLUSIVE] [ALIAS name]" in the current work area; an
    // empty command closes it. Keywords are read from the end, so the file
    // name may contain blanks; ".dbf" is added when the name has no
    // extension and the name is matched without regard to case. Without
    // ALIAS the alias is the upper-case file stem.
    // Sharing: a shared open takes a read lock on the share-mode byte, an
    // EXCLUSIVE open a write lock (error 32 while any other handle has the
    // table open); network locking off or an override decide otherwise.
    bool USE(std::string_view command);
    void CloseDbf();
    void closeAll();
    // Creates (truncates) the table and, with memo fields, its memo file.
    // Refused with error 32 while another handle has the table open.
    bool CreateDbf(const std::string& fileName, const std::vector<FieldSpec>& fields);
    // Creates the table only when it does not exist yet, atomically: a
    // table another station created meanwhile is left as it is and counts
    // as success. The memo file appears before the table.
    bool CreateDbfIfMissing(const std::string& fileName, const std::vector<FieldSpec>& fields);

    // --- navigation ----------------------------------------------------------
    void GoTop();
    void GoBottom();
    void GO(std::int64_t n);
    void Skip(std::int64_t n = 1);
    // End-of-file and begin-of-file flags; both answer true (with error 215)
    // when the work area holds no table, so "until end of file" loops end.
    bool dEOF();
    bool dBOF();
    std::int64_t RecNo();
    std::int64_t RecCount();
    void SetFilterToCB(std::function<bool()> callback);

    // --- fields -----------------------------------------------------------------
    int FieldCount();
    int FieldNo(std::string_view name);
    std::string Field(int n);
    char FieldType(int n);
    int FieldLen(int n);
    int FieldDec(int n);
    // Position of field n in the typed buffer (0 = start of the field area);
    // here the index into TypedRecord::fields plus one. -1 on error.
    int FieldAddress(int n);
    std::string SField(int n);
    bool Deleted();
    // Descriptor n (1-based); nullptr and error 220 when out of range.
    const FieldInfo* fieldInfo(int n);
    // The typed buffer of the current work area (nullptr when none is open).
    TypedRecord* record();

    // --- records -------------------------------------------------------------------
    void ClearRecord();
    void Replace();
    void Append();
    void DeleteRec();
    void RecallRec();
    bool Pack();
    void FlushDbf();
    void CommitDbf();
    void PushRecord();
    void PopRecord();
    bool Locate(std::string_view spec, const FieldValue& value);
    bool Continue();
    // On entry field = 0 for any field or the field number to search in; on
    // return the field of the hit or 0.
    bool Search(std::string_view key, int& field, bool fromTop);
    std::string Peek(int field, std::int64_t recNo);

    // --- memo ----------------------------------------------------------------------
    // Lines of the memo of field n of the current record (empty when none).
    std::vector<std::string> GetMemo(int n);
    // Writes the lines as a new memo under the memo lock and stores its block
    // in the typed buffer (block 0 for an empty text). False on failure.
    bool SetMemo(int n, const std::vector<std::string>& lines);

    // --- locks --------------------------------------------------------------------
    // Lock operations return false without an error when the lock is busy; a
    // lock the system refuses outright (EIO/ENOLCK: lost, not busy) also
    // returns false and sets error 33.
    bool ALock();
    // Whole-file lock (also taken by Pack); false while other locks are held.
    bool FLock();
    bool RLock();
    void UnLock();
    bool UnlockRec(std::int64_t n);
    bool IsLocked(std::int64_t n);

    // --- information about the current work area -----------------------------
    std::string alias();
    std::string fileName();
    int headerLength();
    int recordLength();
    bool isExclusive();
    int version();
    std::string lastUpdate(); // month/day/year text of the header date

    platform::Clock& clock() { return m_clock; }
    platform::FileSystem& files() { return m_fs; }
    // Number of lock calls made on table files since construction (for
    // checking the retry count without timing).
    std::uint64_t lockAttempts() const { return m_lockAttempts; }

    // Formats a number right-aligned in width with dec decimals; asterisks
    // when it does not fit.
    static std::string formatNumber(double value, int width, int decimals);
    static std::string formatInteger(std::int64_t value, int width);

private:
    enum class LockTry { Locked, Busy, Lost };

    WorkArea* area(const char* op); // current area or error 215
    bool createTable(const std::string& fileName, const std::vector<FieldSpec>& fields, bool onlyIfMissing);
    bool openTable(WorkArea& wa, const std::string& path, bool exclusive);
    bool readHeader(WorkArea& wa);
    bool openMemo(WorkArea& wa);
    void closeArea(WorkArea& wa, bool reportErrors);
    bool reopen(WorkArea& wa, platform::Access access, platform::Share share, const char* op);
    void openModeFor(const WorkArea& wa, platform::Access& access, platform::Share& share) const;
    // Record count of a shared table from its size; toWrite when the count
    // decides where to write (then taken under the lock, from the server).
    void refreshCount(WorkArea& wa, bool toWrite = false);
    // The stored bytes of record r (recordLen of them), from the read-ahead
    // block or the file; valid until the next read of this area. pass is
    // the direction of the pass the read belongs to (+1 forward, -1
    // backward) or 0 for a read outside any pass. nullptr with the error
    // set on failure.
    const char* fetchRecord(WorkArea& wa, std::int64_t r, const char* op, int pass);
    // Reads record r into the buffers and makes it current; a read outside
    // a pass (pass 0) ends the pass in progress.
    bool readRecord(WorkArea& wa, std::int64_t r, int pass = 0);
    bool readRaw(WorkArea& wa, std::int64_t r, std::string& raw, const char* op, int pass = 0);
    // After a failed read of record r: true (and no error) when the file was
    // cut short and r now lies past its end.
    bool endedShort(WorkArea& wa, std::int64_t r);
    void decodeRecord(WorkArea& wa);
    bool writeRecord(WorkArea& wa, std::int64_t r);
    void blankRecord(WorkArea& wa);
    bool isVisible(WorkArea& wa);
    void setEof(WorkArea& wa, bool bof);
    bool rewriteHeader(WorkArea& wa, const std::string& failText);
    bool flushArea(WorkArea& wa, const std::string& failText);
    bool holdsWriteLock(const WorkArea& wa) const;
    bool recordLocked(const WorkArea& wa) const;
    bool usesOsLocks(const WorkArea& wa) const;
    LockTry lockWithRetries(WorkArea& wa, std::int64_t off, std::int64_t len);
    bool takeRegionLock(WorkArea& wa, LockState state, std::int64_t off, std::int64_t len, const char* op);
    bool releaseAll(WorkArea& wa);
    // Before a write that needs the lock the work area holds: false with
    // error 33 when that lock is gone (see EngineLocking.cpp).
    bool confirmLock(WorkArea& wa, const char* op);
    bool unlockRegion(WorkArea& wa, std::int64_t off, std::int64_t len);
    bool locateFrom(WorkArea& wa, std::int64_t start);
    // Writes the packed pair and puts it in place. False with the error set
    // when the table was left as it was, or, with halfway set, when the
    // packed memo file is in place beside the old table (then the area must
    // not be used again: the next open finishes the pack).
    bool packRecords(WorkArea& wa, bool& halfway);
    // Puts the old memo file (still open in wa) back under its name after
    // the packed one took it. Returns 0 or an error code.
    int restoreMemo(WorkArea& wa, const std::string& memoPath);
    // Finishes or undoes a pack of the table that was cut short (see
    // EnginePack.cpp). Without haveExclusive it first takes the table
    // exclusively and, when another handle has it open, leaves it to a later
    // open. Returns false only when a pack was found half done and could not
    // be finished: then the table must not be opened.
    bool settlePack(const std::string& tablePath, bool haveExclusive);
    // The file beside the table with extension ext ("." included), in the
    // case of the table's extension, matched without regard to case.
    std::string companionName(const std::string& tablePath, const char* ext);
    // The same name exactly in that case, without looking at the directory
    // (the pack's own temporaries, which only ever have that name).
    static std::string companionPath(const std::string& tablePath, const char* ext);
    DateSettings dateSettings() const;
    int findField(const WorkArea& wa, std::string_view name) const;
    bool checkField(const WorkArea& wa, int n, const char* op);
    void goTopIn(WorkArea& wa);

    platform::Clock& m_clock;
    platform::FileSystem& m_fs;
    std::uint64_t m_lockAttempts = 0;
    int m_current = 1;
    std::vector<std::unique_ptr<WorkArea>> m_areas; // index 0..34 = areas 1..35
    int m_lastError = 0;
    std::string m_lastErrorText;
};

} // namespace qb::engine
