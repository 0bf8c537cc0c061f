#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/FileOps.h"
#include "platform/PosixFile.h"
#include "platform/Utf8.h"
#include "tests/support/TestSupport.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace qb::platform;
using qb::test::FakeClock;
using qb::test::LockPath;
using qb::test::TempDir;

namespace {

std::string makeFile(const TempDir& dir, const std::string& name, const std::string& bytes = "0123456789")
{
    std::string p = dir.file(name);
    qb::test::writeFile(p, bytes);
    return p;
}

} // namespace

// A child that takes a lock on a region, signals through a file and waits.
QB_CHILD_ROLE(holdLock)
{
    PosixFile f;
    if (f.open(args[0], Access::ReadWrite, Share::DenyNone) != 0)
        return 2;
    if (f.lock(std::stoll(args[1]), std::stoll(args[2])) != LockResult::Locked)
        return 3;
    qb::test::writeFile(args[3], "ready");
    qb::test::waitForText(args[3], "stop");
    return 0;
}

// Byte locks on both lock paths: OFD locks, and the classic-lock fallback
// taken where a mount refuses them.
class ByteRangeLocks : public ::testing::TestWithParam<LockPath> {
protected:
    qb::test::LockPathScope lockPath{GetParam()};
};

// Tries a lock once: exit 0 when granted, 1 when busy.
QB_CHILD_ROLE(tryLock)
{
    PosixFile f;
    if (f.open(args[0], Access::ReadWrite, Share::DenyNone) != 0)
        return 2;
    LockResult r = f.lock(std::stoll(args[1]), std::stoll(args[2]));
    return r == LockResult::Locked ? 0 : r == LockResult::Busy ? 1 : 3;
}

TEST_P(ByteRangeLocks, TwoHandlesOfOneProcessExcludeEachOther)
{
    TempDir dir;
    std::string p = makeFile(dir, "t.dbf");
    PosixFile a, b;
    ASSERT_EQ(a.open(p, Access::ReadWrite, Share::DenyNone), 0);
    ASSERT_EQ(b.open(p, Access::ReadWrite, Share::DenyNone), 0);
    EXPECT_EQ(a.lock(0x40000001, 1), LockResult::Locked);
    EXPECT_EQ(b.lock(0x40000001, 1), LockResult::Busy);
    EXPECT_EQ(b.lock(0x40000002, 5), LockResult::Locked) << "a neighbouring region is free";
    EXPECT_EQ(a.unlock(0x40000001, 1), 0);
    EXPECT_EQ(b.lock(0x40000001, 1), LockResult::Locked);
    EXPECT_EQ(a.usesClassicLocks(), GetParam() == LockPath::Classic);
    // Both hold the shared share-mode byte; one letting go must not free it for a writer.
    PosixFile c;
    ASSERT_EQ(c.open(p, Access::ReadWrite, Share::DenyNone), 0);
    EXPECT_EQ(a.unlock(kShareModeByte, 1), 0);
    EXPECT_EQ(c.lock(kShareModeByte, 1), LockResult::Busy);
    // An unlock over a range drops only the caller's own locks inside it.
    EXPECT_EQ(a.unlock(0x40000000, 0x10000), 0);
    EXPECT_EQ(c.lock(0x40000003, 1), LockResult::Busy);
    EXPECT_EQ(b.unlock(0x40000003, 1), 0);
    EXPECT_EQ(c.lock(0x40000003, 1), LockResult::Locked) << "the middle of b's region is free again";
    EXPECT_EQ(c.lock(0x40000004, 1), LockResult::Busy) << "the rest of b's region is still b's";
}

TEST_P(ByteRangeLocks, ClosingAnotherDescriptorKeepsTheLock)
{
    TempDir dir;
    std::string p = makeFile(dir, "t.dbf");
    PosixFile a, other, probe;
    ASSERT_EQ(a.open(p, Access::ReadWrite, Share::DenyNone), 0);
    ASSERT_EQ(a.lock(0x40000100, 10), LockResult::Locked);
    ASSERT_EQ(other.open(p, Access::ReadOnly, Share::DenyNone), 0);
    other.close(); // with classic process locks this would drop a's lock
    ASSERT_EQ(closeDescriptor(::open(p.c_str(), O_RDONLY | O_CLOEXEC)), 0); // a descriptor opened elsewhere
    ASSERT_EQ(probe.open(p, Access::ReadWrite, Share::DenyNone), 0);
    EXPECT_EQ(probe.lock(0x40000100, 10), LockResult::Busy);
    EXPECT_TRUE(probe.probe(0x40000100, 10, true));
    EXPECT_EQ(qb::test::runChild("tryLock", {p, "1073742080", "10"}), 1) << "another process still sees the lock";
    a.close();
    EXPECT_EQ(qb::test::runChild("tryLock", {p, "1073742080", "10"}), 0);
}

TEST_P(ByteRangeLocks, ExcludeBetweenProcesses)
{
    TempDir dir;
    std::string p = makeFile(dir, "t.dbf");
    std::string flag = dir.file("flag");
    int pid = qb::test::startChild("holdLock", {p, "1073741825", "1", flag});
    qb::test::waitForText(flag, "ready");
    PosixFile f;
    ASSERT_EQ(f.open(p, Access::ReadWrite, Share::DenyNone), 0);
    EXPECT_EQ(f.lock(0x40000001, 1), LockResult::Busy);
    pid_t holder = 0;
    EXPECT_TRUE(f.probe(0x40000001, 1, true, &holder));
    qb::test::writeFile(flag, "stop");
    EXPECT_EQ(qb::test::waitChild(pid), 0);
    EXPECT_EQ(f.lock(0x40000001, 1), LockResult::Locked) << "a lock vanishes with its process";
}

INSTANTIATE_TEST_SUITE_P(BothLockPaths, ByteRangeLocks, ::testing::Values(LockPath::Ofd, LockPath::Classic),
                         [](const auto& info) { return std::string(qb::test::lockPathName(info.param)); });

TEST(ShareModes, ExclusiveOpenRefusedWhileSharedOpen)
{
    TempDir dir;
    std::string p = makeFile(dir, "t.dbf");
    PosixFile shared, excl;
    ASSERT_EQ(shared.open(p, Access::ReadWrite, Share::DenyNone), 0);
    EXPECT_EQ(excl.open(p, Access::ReadWrite, Share::DenyAll), oserr::kSharingViolation);
    EXPECT_FALSE(excl.isOpen());
    shared.close();
    ASSERT_EQ(excl.open(p, Access::ReadWrite, Share::DenyAll), 0);
    EXPECT_EQ(shared.open(p, Access::ReadOnly, Share::DenyNone), oserr::kSharingViolation);
    PosixFile second;
    EXPECT_EQ(second.open(p, Access::ReadWrite, Share::DenyAll), oserr::kSharingViolation);
}

TEST(ShareModes, MissingFileAndDirectory)
{
    TempDir dir;
    PosixFile f;
    EXPECT_EQ(f.open(dir.file("none.dbf"), Access::ReadWrite, Share::DenyNone), oserr::kFileNotFound);
    std::string plain = makeFile(dir, "plain");
    EXPECT_EQ(f.open(plain + "/x.dbf", Access::ReadWrite, Share::DenyNone), oserr::kPathNotFound);
}

TEST(FileTimes, SizeAndTimeFromDescriptor)
{
    TempDir dir;
    std::string p = makeFile(dir, "t.dbf", "abc");
    PosixFile f;
    ASSERT_EQ(f.open(p, Access::ReadWrite, Share::DenyNone), 0);
    EXPECT_EQ(f.size(), 3);
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 500}};
    ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
    // 2001-09-09 01:46:40 UTC in 100 ns units since 1601, plus 5 units.
    EXPECT_EQ(f.lastWriteTime(), 126444736000000000ULL + 5ULL);
    EXPECT_EQ(lastWriteTimeOf(p), f.lastWriteTime());
    ASSERT_EQ(f.writeAt(10, "x", 1), 0);
    EXPECT_EQ(f.size(), 11);
    EXPECT_EQ(lastWriteTimeOf(dir.file("missing")), 0u);
}

TEST(FileCopy, KeepsBytesTimeAndExecutableBit)
{
    TempDir dir;
    std::string bytes;
    for (int i = 0; i < 20000; ++i)
        bytes += static_cast<char>(i * 7);
    std::string src = makeFile(dir, "src.dbf", bytes);
    ::chmod(src.c_str(), 0755);
    struct timespec times[2] = {{1600000000, 0}, {1600000000, 123456700}};
    ASSERT_EQ(::utimensat(AT_FDCWD, src.c_str(), times, 0), 0);
    std::string dst = dir.file("dst.dbf");
    ASSERT_EQ(copyFileKeepTime(src, dst), 0);
    EXPECT_EQ(qb::test::readFile(dst), bytes);
    EXPECT_EQ(lastWriteTimeOf(dst), lastWriteTimeOf(src));
    struct stat st {};
    ::stat(dst.c_str(), &st);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    EXPECT_EQ(copyFileKeepTime(dir.file("nothing"), dst), oserr::kFileNotFound);
}

TEST(CodePages, OemLettersRoundTrip)
{
    // ä ö ü é in CP437 are 0x84 0x94 0x81 0x82; ì is 0x8D in both 437 and 850.
    EXPECT_EQ(toUtf8("\x84\x94\x81\x82", CodePage::Cp437), "äöüé");
    EXPECT_EQ(fromUtf8("äöüé", CodePage::Cp437), "\x84\x94\x81\x82");
    EXPECT_EQ(toUtf8("\x8D", CodePage::Cp850), "ì");
    EXPECT_EQ(fromUtf8("Ø", CodePage::Cp850), "\x9D");
    EXPECT_EQ(fromUtf8("Ø", CodePage::Cp437), "?") << "CP437 has no Ø";
    EXPECT_EQ(fromUtf8("€", CodePage::Windows1252), "\x80");
    EXPECT_EQ(recode("\xE4", CodePage::Windows1252, CodePage::Cp437), "\x84");
    EXPECT_EQ(fromUtf8("a\xFF" "b", CodePage::Cp437), "a?b") << "invalid UTF-8";
    for (CodePage cp : {CodePage::Cp437, CodePage::Cp850}) {
        std::string all;
        for (int b = 0; b < 256; ++b)
            all += static_cast<char>(b);
        EXPECT_EQ(fromUtf8(toUtf8(all, cp), cp), all);
    }
    EXPECT_EQ(codePageFromName("cp850"), CodePage::Cp850);
    EXPECT_EQ(codePageFromName("nonsense"), CodePage::Cp437);
}

// How far a character reaches decides how many '?' a malformed sequence
// leaves in a stored field, and what the tool and the JSON show.
TEST(Utf8, DecodesOneCharacterAndSaysHowFarItReaches)
{
    struct Case {
        std::string_view text;
        char32_t codePoint;
        std::size_t length;
        bool valid;
    } cases[] = {
        {"A", U'A', 1, true},
        {"\xC3\xA4", 0xE4, 2, true},
        {"\xE2\x82\xAC", 0x20AC, 3, true},
        {"\xF0\x9F\x98\x80", 0x1F600, 4, true},
        {"\x80", 0xFFFD, 1, false},             // a continuation byte alone
        {"\xF8\x88\x80\x80\x80", 0xFFFD, 1, false}, // no five-byte forms
        {"\xE2\x82" "b", 0xFFFD, 2, false},      // cut short: "b" is read again
        {"\xE2", 0xFFFD, 1, false},             // cut short by the end
        {"\xC0\x8A", 0xFFFD, 2, false},         // an overlong line feed
        {"\xED\xA0\x80", 0xFFFD, 3, false},     // a surrogate
        {"\xF4\x90\x80\x80", 0xFFFD, 4, false}, // beyond U+10FFFF
    };
    for (const Case& c : cases) {
        const Utf8Char got = decodeUtf8(c.text, 0);
        EXPECT_EQ(got.codePoint, c.codePoint) << c.text;
        EXPECT_EQ(got.length, c.length) << c.text;
        EXPECT_EQ(got.valid, c.valid) << c.text;
    }
    EXPECT_EQ(fromUtf8("a\xE2\x82" "b", CodePage::Windows1252), "a?b");
}

TEST(DateTimes, SerialsAndLocalTime)
{
    EXPECT_EQ(daySerial(1899, 12, 30), 0);
    EXPECT_EQ(daySerial(2001, 11, 6), 37201);
    int y, m, d;
    civilFromSerial(37200, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20011105);
    const LocalTime lt = qb::test::localTime(2026, 3, 1, 13, 45);
    double dt = toDateTime(lt);
    LocalTime back = fromDateTime(dt);
    EXPECT_EQ(back.hour, 13);
    EXPECT_EQ(back.minute, 45);
    EXPECT_EQ(back.dayOfWeek, 0) << "1 March 2026 is a Sunday";
    FakeClock clock(fromLocal(lt));
    clock.advance(std::chrono::minutes(30));
    EXPECT_EQ(toLocal(clock.now()).hour, 14);
    EXPECT_EQ(toLocal(clock.now()).minute, 15);
}
