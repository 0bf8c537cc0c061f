#include "TableRepair.h"

#include "TableFiles.h"
#include "TableImage.h"

#include "platform/PosixFile.h"

#include <cstring>
#include <string_view>

namespace qb::tools {

namespace pf = qb::platform;

namespace {

constexpr std::int64_t kLockBase = pf::lockmap::kLockBase;
constexpr std::int64_t kAppendByte = pf::lockmap::kAppendLockOffset;
constexpr std::int64_t kFileLockLength = pf::lockmap::kFileLockLength;
constexpr std::int64_t kFileLockLast = kAppendByte + kFileLockLength - 1;
constexpr std::int64_t kMemoLockByte = pf::lockmap::kMemoLockOffset;
constexpr std::int64_t kMemoBlock = 512;
// Naming the locked record costs one probe per record; beyond this many the
// answer stays "a record lock".
constexpr std::int64_t kMaxRecordProbes = 100000;

std::uint32_t u32(const unsigned char* p)
{
    return p[0] | (static_cast<std::uint32_t>(p[1]) << 8) | (static_cast<std::uint32_t>(p[2]) << 16)
           | (static_cast<std::uint32_t>(p[3]) << 24);
}

void putU32(unsigned char* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Which lock another description holds on the table or memo file, in words;
// empty when none. The file lock is asked first: it covers the append byte
// and every record region.
std::string heldLock(const pf::FileHandle& dbf, std::int64_t h, std::int64_t r, std::int64_t records,
                     const pf::FileHandle* memo)
{
    if (dbf.probe(kFileLockLast, 1, true))
        return "the file lock";
    if (dbf.probe(kAppendByte, 1, true))
        return "the append lock";
    const std::int64_t first = kLockBase + h;
    if (first < kFileLockLast && dbf.probe(first, kFileLockLast - first, true)) {
        for (std::int64_t n = 1; n <= records + 1 && n <= kMaxRecordProbes; ++n)
            if (dbf.probe(first + (n - 1) * r, r, true))
                return "a record lock on record " + std::to_string(n);
        return "a record lock";
    }
    if (memo && memo->isOpen() && memo->probe(kMemoLockByte, 1, true))
        return "the memo lock";
    if (dbf.probe(pf::kShareModeByte, 1, true))
        return "the share-mode byte (the table is open at another station)";
    return {};
}

struct MemoState {
    std::int64_t size = -1; // -1: no memo file to mend
    std::uint32_t nextFree = 0;
};

MemoState readMemoState(const pf::FileHandle& memo)
{
    MemoState m;
    const std::int64_t size = memo.size();
    unsigned char mh[4] = {};
    if (size >= kMemoBlock && memo.readAt(0, mh, sizeof mh) == static_cast<std::int64_t>(sizeof mh)) {
        m.size = size;
        m.nextFree = u32(mh);
    }
    return m;
}

// What a repair changes, computed from the sizes alone; -1 means unchanged.
struct Plan {
    std::int64_t truncateTo = -1;
    std::int64_t endByteAt = -1;
    std::int64_t count = -1;
    std::int64_t memoNextFree = -1;
    std::vector<std::string> changes; // one sentence per change
};

Plan makePlan(std::int64_t size, std::int64_t h, std::int64_t r, int lastByte, std::uint32_t headerCount,
              const MemoState& memo)
{
    Plan p;
    const std::int64_t whole = size > h ? (size - h) / r : 0;
    const std::int64_t dataEnd = h + whole * r;
    const std::int64_t tail = size - dataEnd;
    if (tail > 1 || (tail == 1 && lastByte != 0x1A)) {
        p.truncateTo = dataEnd;
        p.changes.push_back("dropped a torn record of " + std::to_string(lastByte == 0x1A ? tail - 1 : tail)
                            + " bytes after record " + std::to_string(whole));
    }
    if (tail != 1 || lastByte != 0x1A) {
        p.endByteAt = dataEnd;
        p.changes.push_back("wrote the end byte 0x1A after record " + std::to_string(whole));
    }
    if (static_cast<std::int64_t>(headerCount) != whole) {
        p.count = whole;
        p.changes.push_back("record count in the header " + std::to_string(headerCount) + " set to the "
                            + std::to_string(whole) + " whole records in the file");
    }
    if (memo.size >= kMemoBlock) {
        // A new memo file (header block plus end byte) keeps 1; otherwise
        // the next memo starts past everything in the file.
        const std::int64_t expected = memo.size == kMemoBlock + 1 ? 1 : (memo.size + kMemoBlock - 1) / kMemoBlock;
        if (static_cast<std::int64_t>(memo.nextFree) != expected) {
            p.memoNextFree = expected;
            p.changes.push_back("next free memo block " + std::to_string(memo.nextFree) + " set to "
                                + std::to_string(expected));
        }
    }
    return p;
}

} // namespace

TableRepair::Result TableRepair::repair(const std::string& path, bool force)
{
    Result res;
    auto fail = [&res](Status s, std::string why) {
        res.status = s;
        res.changes.clear();
        res.reason = std::move(why);
        return res;
    };

    TableImage image(*m_fs);
    if (!image.load(path)) {
        if (image.error().find("sharing violation") != std::string::npos)
            return fail(Status::Refused, "the table is open exclusively at another station");
        return fail(Status::Failed, "cannot read: " + image.error());
    }
    if (!image.usable())
        return fail(Status::Failed, "the layout is unusable (" + image.layoutProblem() + ")");
    if (image.isDbase2())
        return fail(Status::Failed, "dBASE II tables are not repaired");
    if (image.tooLarge())
        return fail(Status::Failed, "the file is " + std::to_string(image.size())
                                        + " bytes, more than a table can hold; it is not a table the stations can use");
    const std::int64_t h = image.headerLength(), r = image.recordLength();
    // Only a layout the engine would open: with fields of no length the end
    // byte itself would count as a record, and each run would add one.
    std::int64_t sum = 1;
    for (const RawField& f : image.fields()) {
        if (f.length < 1 || std::string_view("CNFLDM").find(f.type) == std::string_view::npos || f.type == 0)
            return fail(Status::Failed, "the field descriptors are unusable");
        sum += f.length;
    }
    if (h < 33 || image.fields().empty() || sum > r)
        return fail(Status::Failed, "the header and record lengths are unusable");
    const std::vector<std::string> disagreements = image.layoutDisagreements();
    const bool trusted = disagreements.empty();
    const std::string memoPath = image.memoFlag() ? image.findMemoFile() : std::string();
    if (!trusted && !force) {
        // Say what a forced repair would do, from the file as it is now.
        MemoState memoNow;
        if (!memoPath.empty()) {
            pf::FileHandle m;
            if (openRegular(*m_fs, memoPath, m, pf::Access::ReadOnly, pf::Share::NoSharing, true) == 0)
                memoNow = readMemoState(m);
        }
        Plan plan = makePlan(image.size(), h, r, image.lastByte(), image.headerCount(), memoNow);
        res.status = Status::Untrusted;
        res.reason = "the header cannot be trusted: ";
        for (std::size_t i = 0; i < disagreements.size(); ++i)
            res.reason += (i ? "; " : "") + disagreements[i];
        res.changes = plan.changes;
        return res;
    }
    image = TableImage(*m_fs); // closes our shared open before the exclusive one

    pf::FileHandle dbf;
    // Nothing is written through a link or anything but a regular file.
    if (int rc = openRegular(*m_fs, path, dbf, pf::Access::ReadWrite, pf::Share::NoSharing, true))
        return fail(Status::Failed, "cannot open for writing: " + describeFileError(rc));
    pf::FileHandle memo;
    if (!memoPath.empty())
        if (int rc = openRegular(*m_fs, memoPath, memo, pf::Access::ReadWrite, pf::Share::NoSharing, true))
            return fail(Status::Failed, "cannot open the memo file for writing: " + describeFileError(rc));

    std::int64_t size = dbf.size();
    const std::int64_t inFile = size > h ? (size - h) / r : 0;
    unsigned char head[8] = {};
    if (size < 0 || dbf.readAt(0, head, sizeof head) != static_cast<std::int64_t>(sizeof head))
        return fail(Status::Failed, "cannot read the header");
    std::string holder = heldLock(dbf, h, r, std::max<std::int64_t>(inFile, u32(head + 4)), &memo);
    if (!holder.empty())
        return fail(Status::Refused, holder + " is held by another station");
    // Keep every station out while we work: Linux stations by the share-mode
    // byte, Windows stations by the file lock they honour.
    if (dbf.lock(pf::kShareModeByte, 1) != pf::LockResult::Locked
        || dbf.lock(kAppendByte, kFileLockLength) != pf::LockResult::Locked)
        return fail(Status::Refused, "another station opened or locked the table meanwhile");
    if (memo.isOpen() && memo.lock(kMemoLockByte, 1) != pf::LockResult::Locked)
        return fail(Status::Refused, "the memo lock is held by another station");

    // Sizes again, now that nobody can change them.
    size = dbf.size();
    if (size < 0 || dbf.readAt(0, head, sizeof head) != static_cast<std::int64_t>(sizeof head))
        return fail(Status::Failed, "cannot read the header");
    if (size < h)
        return fail(Status::Failed, "the file is shorter than its header (" + std::to_string(h) + " bytes)");
    if (size > TableImage::kMaxTableBytes)
        return fail(Status::Failed, "the file grew beyond what a table can hold");
    unsigned char lastByte = 0;
    if (size > h && dbf.readAt(size - 1, &lastByte, 1) != 1)
        return fail(Status::Failed, "cannot read the end of the file");
    const MemoState memoNow = memo.isOpen() ? readMemoState(memo) : MemoState();
    const Plan plan = makePlan(size, h, r, size > h ? lastByte : -1, u32(head + 4), memoNow);

    if (plan.truncateTo >= 0)
        if (int rc = dbf.truncate(plan.truncateTo))
            return fail(Status::Failed, "cannot cut the torn record: " + describeFileError(rc));
    if (plan.endByteAt >= 0) {
        const char end = 0x1A;
        if (int rc = dbf.writeAt(plan.endByteAt, &end, 1))
            return fail(Status::Failed, "cannot write the end byte: " + describeFileError(rc));
    }
    if (plan.count >= 0) {
        unsigned char bytes[4];
        putU32(bytes, static_cast<std::uint32_t>(plan.count));
        if (int rc = dbf.writeAt(4, bytes, sizeof bytes))
            return fail(Status::Failed, "cannot write the record count: " + describeFileError(rc));
    }
    if ((plan.truncateTo >= 0 || plan.endByteAt >= 0 || plan.count >= 0) && dbf.sync() != 0)
        return fail(Status::Failed, "cannot flush the table to disk");
    if (plan.memoNextFree >= 0) {
        unsigned char mh[4];
        putU32(mh, static_cast<std::uint32_t>(plan.memoNextFree));
        if (int rc = memo.writeAt(0, mh, sizeof mh))
            return fail(Status::Failed, "cannot write the memo header: " + describeFileError(rc));
        if (memo.sync() != 0)
            return fail(Status::Failed, "cannot flush the memo file to disk");
    }
    res.changes = plan.changes;
    res.status = res.changes.empty() ? Status::NothingToDo : Status::Repaired;
    return res;
}

std::vector<std::string> repairAndRecheck(const std::string& path, TableChecker& checker, std::ostream& out,
                                          bool force)
{
    TableRepair::Result res = TableRepair().repair(path, force);
    std::vector<std::string> left;
    if (res.status == TableRepair::Status::Untrusted) {
        left.push_back("not repaired: " + res.reason + "; nothing was changed");
        for (const auto& c : res.changes)
            left.push_back("--repair --force would do this: " + c);
    } else {
        for (const auto& c : res.changes)
            out << shown(path) << ": repaired: " << c << '\n';
    }
    if (res.status == TableRepair::Status::Refused || res.status == TableRepair::Status::Failed)
        left.push_back("not repaired: " + res.reason);
    for (auto& p : checker.check(path))
        left.push_back(std::move(p));
    return left;
}

} // namespace qb::tools
