#include "platform/Paths.h"
#include "platform/Profile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using namespace qb::platform;
using qb::test::readFile;
using qb::test::TempDir;
using qb::test::writeFile;

namespace {

// Sets an environment variable for one test and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

mode_t modeOf(const std::string& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

} // namespace

TEST(ProfileLookup, SectionsAndKeysIgnoreCaseAndBlanks)
{
    TempDir dir;
    writeFile(dir.file("a.ini"), "[State]\nFilter = Sales team \n  FONT=12\n[bkcolor]\n3=255\n");
    Profile p(dir.file("a.ini"));
    EXPECT_EQ(p.readString("state", "filter", "x"), "Sales team");
    EXPECT_EQ(p.readInt("STATE", "font", 10), 12);
    EXPECT_EQ(p.readInt(" BKcolor ", "3", 0), 255);
    EXPECT_EQ(p.readString("State", "missing", "dflt"), "dflt");
    EXPECT_EQ(p.readString("Other", "filter", "dflt"), "dflt");
}

TEST(ProfileLookup, FirstSectionAndFirstKeyWin)
{
    TempDir dir;
    writeFile(dir.file("a.ini"), "[S]\nk=first\nK=second\n[s]\nk=third\nonly=later\n");
    Profile p(dir.file("a.ini"));
    EXPECT_EQ(p.readString("S", "k", ""), "first");
    EXPECT_FALSE(p.value("S", "only").has_value()) << "a repeated section is never consulted";

    ASSERT_EQ(p.writeString("S", "K", "new"), 0);
    EXPECT_EQ(readFile(dir.file("a.ini")), "[S]\nk=new\nK=second\n[s]\nk=third\nonly=later\n");
}

TEST(ProfileLookup, ValuesComeBackAsStored)
{
    TempDir dir;
    writeFile(dir.file("a.ini"), "[S]\nq=\"quoted\"\np=a=b;c%20\nempty=\nnoequals\n;k=comment\n");
    Profile p(dir.file("a.ini"));
    EXPECT_EQ(p.readString("S", "q", ""), "\"quoted\"");
    EXPECT_EQ(p.readString("S", "p", ""), "a=b;c%20");
    EXPECT_EQ(p.value("S", "empty"), std::optional<std::string>(""));
    EXPECT_FALSE(p.value("S", "noequals").has_value());
    EXPECT_FALSE(p.value("S", ";k").has_value());
}

TEST(ProfileLookup, NumbersAndSwitches)
{
    EXPECT_EQ(Profile::parseInt(" -42 "), -42);
    EXPECT_EQ(Profile::parseInt("$FF"), 255);
    EXPECT_EQ(Profile::parseInt("0x10"), 16);
    EXPECT_FALSE(Profile::parseInt("12abc"));
    EXPECT_FALSE(Profile::parseInt(""));
    EXPECT_FALSE(Profile::parseInt("99999999999999999999"));
    EXPECT_EQ(Profile::parseBool("1"), true);
    EXPECT_EQ(Profile::parseBool("0"), false);
    EXPECT_EQ(Profile::parseBool("TRUE"), true);
    EXPECT_EQ(Profile::parseBool("n"), false);
    EXPECT_FALSE(Profile::parseBool("maybe"));

    TempDir dir;
    writeFile(dir.file("a.ini"), "[S]\nbig=4294967296\nbad=x\n");
    Profile p(dir.file("a.ini"));
    EXPECT_EQ(p.readInt("S", "big", 7), 7) << "beyond int gives the default";
    EXPECT_TRUE(p.readBool("S", "bad", true));
    EXPECT_FALSE(p.readBool("S", "bad", false));
}

TEST(ProfileWrite, UnrelatedLinesStayInPlace)
{
    TempDir dir;
    const std::string before = "; written by hand\n"
                               "[Form]\n"
                               "top=5\n"
                               "garbage line without equals\n"
                               "\n"
                               "[Header]\n"
                               "w0 = 140\n";
    writeFile(dir.file("a.ini"), before);
    Profile p(dir.file("a.ini"));
    ASSERT_EQ(p.writeInt("form", "TOP", 44), 0);
    ASSERT_EQ(p.writeInt("Form", "left", 30), 0);
    ASSERT_EQ(p.writeString("SYS", "test", "123"), 0);
    EXPECT_EQ(readFile(dir.file("a.ini")), "; written by hand\n"
                                           "[Form]\n"
                                           "top=44\n"
                                           "garbage line without equals\n"
                                           "left=30\n"
                                           "\n"
                                           "[Header]\n"
                                           "w0 = 140\n"
                                           "\n"
                                           "[SYS]\n"
                                           "test=123\n");
}

TEST(ProfileWrite, EraseSectionTakesItsLinesOnly)
{
    TempDir dir;
    writeFile(dir.file("a.ini"), "[Form]\ntop=5\n\n[IDLE]\n0=To In\n; note\n\n[Header]\nw0=140\n");
    Profile p(dir.file("a.ini"));
    ASSERT_EQ(p.eraseSection("idle"), 0);
    EXPECT_EQ(readFile(dir.file("a.ini")), "[Form]\ntop=5\n\n[Header]\nw0=140\n");
    // Gone sections and files are no error, and nothing is created.
    EXPECT_EQ(p.eraseSection("idle"), 0);
    Profile missing(dir.file("none.ini"));
    EXPECT_EQ(missing.eraseSection("idle"), 0);
    EXPECT_FALSE(missing.value("idle", "0"));
    EXPECT_EQ(p.eraseSection("bad]name"), Profile::kInvalidParameter);
}

TEST(ProfileWrite, CrLfKeptForSharedFile)
{
    TempDir dir;
    writeFile(dir.file("color.ini"), "[BKlock]\r\n0=1\r\n[BKcolor]\r\n0=255\r\n");
    Profile p(dir.file("color.ini"), {Profile::LineEnd::CrLf, false});
    EXPECT_EQ(p.readInt("BKcolor", "0", 0), 255) << "the CR is no part of the value";
    ASSERT_EQ(p.writeBool("BKlock", "1", true), 0);
    EXPECT_EQ(readFile(dir.file("color.ini")), "[BKlock]\r\n0=1\r\n1=1\r\n[BKcolor]\r\n0=255\r\n");

    Profile lf(dir.file("local.ini"));
    ASSERT_EQ(lf.writeString("A", "b", "c"), 0);
    EXPECT_EQ(readFile(dir.file("local.ini")), "[A]\nb=c\n");
}

TEST(ProfileWrite, MissingFileAndDirectory)
{
    TempDir dir;
    Profile p(dir.file("new.ini"));
    EXPECT_EQ(p.readString("A", "b", "d"), "d");
    ASSERT_EQ(p.writeAll({{"A", "b", "1"}, {"A", "c", "2"}, {"B", "d", "3"}}), 0);
    EXPECT_EQ(readFile(dir.file("new.ini")), "[A]\nb=1\nc=2\n\n[B]\nd=3\n");

    Profile nowhere(dir.file("no/such/dir.ini"));
    EXPECT_NE(nowhere.writeString("A", "b", "c"), 0);
}

TEST(ProfileWrite, ManyKeysInOneRewriteLandInTheirSections)
{
    // Inserts into an early section move the later ones down; a section the
    // rewrite itself appends takes the keys that follow.
    TempDir dir;
    writeFile(dir.file("a.ini"), "\xEF\xBB\xBF[A]\nx=1\n\n[B]\ny=2\n[a]\nz=3\n");
    Profile p(dir.file("a.ini"));
    ASSERT_EQ(p.writeAll({{"A", "n1", "p"},
                          {"b", "y", "q"},
                          {"A", "n2", "r"},
                          {"B", "n3", "s"},
                          {"C", "k", "t"},
                          {"c", "k2", "u"},
                          {"A", "z", "v"}}),
              0);
    EXPECT_EQ(readFile(dir.file("a.ini")),
              "\xEF\xBB\xBF[A]\nx=1\nn1=p\nn2=r\nz=v\n\n[B]\ny=q\nn3=s\n[a]\nz=3\n\n[C]\nk=t\nk2=u\n");
    EXPECT_EQ(p.readString("a", "z", ""), "v");
    EXPECT_EQ(p.readString("C", "k2", ""), "u");
}

TEST(ProfileWrite, LineBreaksAndBadNamesRefused)
{
    TempDir dir;
    writeFile(dir.file("a.ini"), "[A]\nk=old\n");
    Profile p(dir.file("a.ini"));
    EXPECT_EQ(p.writeString("A", "k", "one\r\n[SYS]\ntest=123"), Profile::kInvalidParameter);
    EXPECT_EQ(p.writeString("A", "k", std::string("a\0b", 3)), Profile::kInvalidParameter);
    EXPECT_EQ(p.writeString("A]", "k", "v"), Profile::kInvalidParameter);
    EXPECT_EQ(p.writeString("A", "k=j", "v"), Profile::kInvalidParameter);
    EXPECT_EQ(p.writeString("A", " ", "v"), Profile::kInvalidParameter);
    EXPECT_EQ(p.writeAll({{"A", "k", "fine"}, {"A", "j", "bad\n"}}), Profile::kInvalidParameter);
    EXPECT_EQ(readFile(dir.file("a.ini")), "[A]\nk=old\n") << "a refused write leaves the file alone";
}

TEST(ProfileWrite, ReadOnlyDirectoryWithWritableFileRewritesInPlace)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only directories";
    TempDir dir;
    std::string sub = dir.file("ro");
    ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
    writeFile(sub + "/a.ini", "[A]\nk=1\n");
    ASSERT_EQ(::chmod(sub.c_str(), 0555), 0);
    Profile p(sub + "/a.ini");
    int rc = p.writeString("A", "k", "2");
    ::chmod(sub.c_str(), 0755);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(readFile(sub + "/a.ini"), "[A]\nk=2\n");
}

TEST(ProfileWrite, PrivateFileCreatedClosedAndExistingModesKept)
{
    TempDir dir;
    Profile priv(dir.file("local.ini"), {Profile::LineEnd::Lf, true});
    ASSERT_EQ(priv.writeString("A", "b", "c"), 0);
    EXPECT_EQ(modeOf(dir.file("local.ini")), 0600u);
    ::chmod(dir.file("local.ini").c_str(), 0660);
    ASSERT_EQ(priv.writeString("A", "b", "d"), 0);
    EXPECT_EQ(modeOf(dir.file("local.ini")), 0660u) << "opened up on purpose for a shared workstation directory";

    writeFile(dir.file("color.ini"), "[A]\n");
    ::chmod(dir.file("color.ini").c_str(), 0664);
    Profile shared(dir.file("color.ini"), {Profile::LineEnd::CrLf, false});
    ASSERT_EQ(shared.writeString("A", "b", "c"), 0);
    EXPECT_EQ(modeOf(dir.file("color.ini")), 0664u);
}

TEST(ProfileWrite, FileOfAnotherAccountKeepsItsOwner)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to hand a file to another account";
    TempDir dir;
    writeFile(dir.file("a.ini"), "[A]\nk=1\n");
    ASSERT_EQ(::chown(dir.file("a.ini").c_str(), 4242, 4243), 0);
    ASSERT_EQ(Profile(dir.file("a.ini")).writeString("A", "k", "2"), 0);
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("a.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4242u);
    EXPECT_EQ(st.st_gid, 4243u);
    EXPECT_EQ(readFile(dir.file("a.ini")), "[A]\nk=2\n");
}

TEST(ProfileRobustness, GarbageHugeLinesAndOversizedFiles)
{
    TempDir dir;
    std::string garbage = "\xEF\xBB\xBF[Sec]\nk=v\n";
    garbage += std::string(200000, 'x') + "\n";           // one huge line
    garbage += std::string("\0\x01\xFF=[\n", 6);           // binary junk
    garbage += "[broken\nz=9\n[Sec2]\nlong=" + std::string(100000, 'y') + "\n";
    writeFile(dir.file("g.ini"), garbage);
    Profile p(dir.file("g.ini"));
    EXPECT_EQ(p.readString("sec", "k", ""), "v") << "a byte order mark is no part of the name";
    EXPECT_EQ(p.readInt("broken", "z", 0), 9);
    EXPECT_EQ(p.readString("Sec2", "long", "").size(), 100000u);
    ASSERT_EQ(p.writeString("Sec", "k", "w"), 0);
    std::string after = readFile(dir.file("g.ini"));
    EXPECT_EQ(after.size(), garbage.size());
    EXPECT_EQ(p.readString("Sec", "k", ""), "w");

    std::string big(Profile::kMaxFileSize + 10, 'a');
    writeFile(dir.file("big.ini"), "[A]\nk=1\n" + big);
    Profile b(dir.file("big.ini"));
    EXPECT_EQ(b.readInt("A", "k", 5), 5);
    EXPECT_EQ(b.writeString("A", "k", "2"), Profile::kFileTooLarge);
    EXPECT_EQ(readFile(dir.file("big.ini")).size(), big.size() + 8) << "never truncated";
}

TEST(WellKnownPaths, WorkstationDirectoryChoiceAndCreation)
{
    TempDir dir;
    {
        ScopedEnv sys("QUELLBOARD_SYSDIR", dir.file("sys/"));
        EXPECT_EQ(Paths::workstationDir(), dir.file("sys"));
        EXPECT_TRUE(::access(dir.file("sys").c_str(), W_OK) == 0) << "created when missing";
    }
    {
        ScopedEnv sys("QUELLBOARD_SYSDIR", "");
        ScopedEnv cfg("XDG_CONFIG_HOME", dir.file("cfg"));
        EXPECT_EQ(Paths::workstationDir(), dir.file("cfg/quellboard"));
        EXPECT_TRUE(::access(dir.file("cfg/quellboard").c_str(), W_OK) == 0);
    }
    {
        ScopedEnv sys("QUELLBOARD_SYSDIR", "");
        ScopedEnv cfg("XDG_CONFIG_HOME", "");
        ScopedEnv home("HOME", dir.file("home"));
        EXPECT_EQ(Paths::workstationDir(), dir.file("home/.config/quellboard"));
        ScopedEnv cache("XDG_CACHE_HOME", "");
        EXPECT_EQ(Paths::cacheDir(), dir.file("home/.cache/quellboard"));
    }
}

TEST(WellKnownPaths, DesktopFromUserDirsElseHome)
{
    TempDir dir;
    ScopedEnv home("HOME", dir.path());
    ScopedEnv cfg("XDG_CONFIG_HOME", dir.file("cfg"));
    EXPECT_EQ(Paths::desktopDir(), dir.path()) << "no user-dirs file";

    ::mkdir(dir.file("cfg").c_str(), 0700);
    writeFile(dir.file("cfg/user-dirs.dirs"), "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    EXPECT_EQ(Paths::desktopDir(), dir.path()) << "named directory does not exist";
    ::mkdir(dir.file("Schreibtisch").c_str(), 0700);
    EXPECT_EQ(Paths::desktopDir(), dir.file("Schreibtisch"));

    writeFile(dir.file("cfg/user-dirs.dirs"), "XDG_DESKTOP_DIR=\"" + dir.file("abs") + "\"\n");
    ::mkdir(dir.file("abs").c_str(), 0700);
    EXPECT_EQ(Paths::desktopDir(), dir.file("abs"));
}

TEST(WellKnownPaths, UserProgramAndTemp)
{
    EXPECT_FALSE(Paths::userName().empty());
    EXPECT_NE(Paths::programPath().find("platform_tests"), std::string::npos);
    EXPECT_EQ(Paths::programDir() + "/platform_tests", Paths::programPath());
    ScopedEnv tmp("TMPDIR", "/var/tmp/");
    EXPECT_EQ(Paths::tempDir(), "/var/tmp");
    ScopedEnv none("TMPDIR", "");
    EXPECT_EQ(Paths::tempDir(), "/tmp");
}

// Prints Paths::startDir() into the file named by the argument.
QB_CHILD_ROLE(printStartDir)
{
    writeFile(args.at(0), Paths::startDir());
    return 0;
}

// The local mirror holds the password column: it lives beside the program
// only in the launcher's per-user copy, never in an installed program's
// (system) directory, even for root who could write there.
TEST(WellKnownPaths, MirrorBesideTheProgramOnlyInTheLaunchersCopy)
{
    TempDir dir;
    ScopedEnv cache("XDG_CACHE_HOME", dir.file("cache"));
    EXPECT_EQ(Paths::startDir(), dir.file("cache/quellboard"));
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("cache/quellboard").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    ASSERT_EQ(qb::test::runCommand("mkdir -p '" + Paths::launcherCopyDir() + "' && cp '" + Paths::programPath() + "' '"
                                   + Paths::launcherCopyDir() + "/'"),
              0);
    const std::string copy = Paths::launcherCopyDir() + "/platform_tests";
    ASSERT_EQ(qb::test::runCommand("'" + copy + "' --qb-child=printStartDir '" + dir.file("out") + "'"), 0);
    EXPECT_EQ(readFile(dir.file("out")), Paths::launcherCopyDir());
    ASSERT_EQ(qb::test::runCommand("'" + Paths::programPath() + "' --qb-child=printStartDir '" + dir.file("out") + "'"),
              0);
    EXPECT_EQ(readFile(dir.file("out")), dir.file("cache/quellboard"));
}
