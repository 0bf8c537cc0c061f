// The launcher with real files and processes: qbstart itself is run (its
// waits scaled down) and starts a stand-in board that records how it was
// started. The wait schedule is checked on the logic with counted waits.
#include "Launcher.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using qb::test::readFile;
using qb::test::TempDir;
using qb::test::writeFile;

struct Outcome {
    int status = -1;
    std::string err;
};

std::vector<std::string> listDir(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        ::closedir(d);
    }
    return names;
}

void setTime(const std::string& path, time_t sec)
{
    const timespec t[2] = {{sec, 0}, {sec, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), t, 0), 0);
}

struct stat statOf(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
}

class Launcher : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(::mkdir(data.c_str(), 0755), 0);
        probe = readFile(BOARD_PROBE_PATH);
        ASSERT_FALSE(probe.empty());
    }

    void store(const std::string& name, const std::string& bytes, time_t mtime)
    {
        writeFile(data + "/" + name, bytes);
        setTime(data + "/" + name, mtime);
    }

    // Runs qbstart with args from cwd; fsizeLimit > 0 caps the size of any
    // file it writes, as a full disk would.
    Outcome runQbstart(const std::vector<std::string>& args, const std::string& cwd, rlim_t fsizeLimit = 0)
    {
        const std::string errFile = root.file("stderr.txt");
        pid_t pid = ::fork();
        if (pid == 0) {
            int fd = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(fd, 2);
            if (::chdir(cwd.c_str()) != 0)
                ::_exit(90);
            if (fsizeLimit > 0) {
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit lim {fsizeLimit, fsizeLimit};
                ::setrlimit(RLIMIT_FSIZE, &lim);
            }
            std::vector<std::string> env = {"HOME=" + root.path(), "XDG_CACHE_HOME=" + cache,
                                            "QBSTART_WAIT_SCALE=0.001", "QBSTART_PROBE_OUT=" + probeOut,
                                            "PATH=/usr/bin:/bin"};
            std::vector<std::string> argv = {QBSTART_PATH};
            argv.insert(argv.end(), args.begin(), args.end());
            std::vector<char*> av, ev;
            for (auto& a : argv)
                av.push_back(a.data());
            av.push_back(nullptr);
            for (auto& e : env)
                ev.push_back(e.data());
            ev.push_back(nullptr);
            ::execve(QBSTART_PATH, av.data(), ev.data());
            ::_exit(91);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), readFile(errFile)};
    }

    // The stand-in board's record, once it has written it (it runs on after
    // qbstart ends).
    std::string probeRecord(std::chrono::milliseconds limit = std::chrono::seconds(10))
    {
        return qb::test::waitForFile(probeOut, limit) ? readFile(probeOut) : std::string();
    }

    TempDir root;
    const std::string data = root.file("data");
    const std::string cache = root.file("cache");
    const std::string copyDir = cache + "/quellboard/program";
    const std::string local = copyDir + "/qbp3";
    const std::string probeOut = root.file("probe.out");
    std::string probe;
};

TEST_F(Launcher, FirstRunCopiesAndStartsTheCopyWithTheDataDirectory)
{
    store("Q.x", probe, 1600000000);
    Outcome o = runQbstart({data}, root.path());
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");

    char real[PATH_MAX];
    ASSERT_NE(::realpath(data.c_str(), real), nullptr);
    EXPECT_EQ(probeRecord(), "arg=" + local + "\narg=5\narg=" + data + "/\ncwd=" + real + "\n");
    EXPECT_EQ(readFile(local), probe);
    EXPECT_EQ(statOf(local).st_mtim.tv_sec, 1600000000);
    EXPECT_EQ(statOf(local).st_mode & 0777, 0700u);
    struct stat dir = statOf(copyDir);
    EXPECT_EQ(dir.st_mode & 07777, 0700u);
    EXPECT_EQ(dir.st_uid, ::geteuid());
    EXPECT_EQ(listDir(copyDir), std::vector<std::string>{"qbp3"});
}

TEST_F(Launcher, UnchangedStoredFileCopiesNothing)
{
    store("Q.x", probe, 1600000000);
    runQbstart({data}, root.path());
    ASSERT_FALSE(probeRecord().empty());
    struct stat before = statOf(local);
    ::unlink(probeOut.c_str());

    runQbstart({data}, root.path());
    EXPECT_FALSE(probeRecord().empty());
    struct stat after = statOf(local);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_ctim.tv_sec, before.st_ctim.tv_sec);
    EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec);
}

TEST_F(Launcher, OlderStoredFileIsStillCopied)
{
    store("Q.x", probe, 1600000000);
    runQbstart({data}, root.path());
    ASSERT_FALSE(probeRecord().empty());
    ::unlink(probeOut.c_str());

    const std::string older = probe + std::string(100, '\0');
    store("Q.x", older, 1500000000);
    runQbstart({data}, root.path());
    EXPECT_FALSE(probeRecord().empty());
    EXPECT_EQ(readFile(local), older);
    EXPECT_EQ(statOf(local).st_mtim.tv_sec, 1500000000);
}

TEST_F(Launcher, CopyCutShortKeepsThePreviousCopyAndStartsIt)
{
    store("Q.x", probe, 1600000000);
    runQbstart({data}, root.path());
    ASSERT_FALSE(probeRecord().empty());
    ::unlink(probeOut.c_str());

    // The new stored program is larger than the writes allowed: the copy
    // fails part-way, as on a full disk.
    const rlim_t limit = 1 << 20;
    store("Q.x", probe + std::string(3 << 20, '\0'), 1700000000);
    Outcome o = runQbstart({data}, root.path(), limit);
    EXPECT_NE(o.err.find("writing the copy failed"), std::string::npos) << o.err;
    EXPECT_FALSE(probeRecord().empty());
    EXPECT_EQ(readFile(local), probe);
    EXPECT_EQ(statOf(local).st_mtim.tv_sec, 1600000000);
    EXPECT_EQ(listDir(copyDir), std::vector<std::string>{"qbp3"});
}

TEST_F(Launcher, StoredFileForAnotherMachineIsNeitherCopiedNorStarted)
{
    store("Q.x", "MZ" + std::string(4000, 'x'), 1600000000);
    Outcome o = runQbstart({data}, root.path());
    EXPECT_NE(o.err.find("Q.x is not a program for this machine"), std::string::npos) << o.err;
    EXPECT_NE(::access(local.c_str(), F_OK), 0);
    EXPECT_EQ(probeRecord(std::chrono::milliseconds(300)), "");
}

TEST_F(Launcher, ProgramNamedForThisPlatformIsPreferred)
{
    utsname u {};
    ASSERT_EQ(::uname(&u), 0);
    ASSERT_EQ(std::string(u.sysname), "Linux");
    store("Q.x", "MZ" + std::string(4000, 'x'), 1600000000);
    store(std::string("Q-linux-") + u.machine + ".x", probe, 1600000001);
    runQbstart({data}, root.path());
    EXPECT_FALSE(probeRecord().empty());
    EXPECT_EQ(readFile(local), probe);
}

TEST_F(Launcher, NoArgumentRefreshesFromTheCurrentDirectoryThenCannotFind)
{
    store("Q.x", probe, 1600000000);
    Outcome o = runQbstart({}, data);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "qbstart: Error: Can not find \n");
    EXPECT_EQ(readFile(local), probe);
    EXPECT_EQ(probeRecord(std::chrono::milliseconds(300)), "");
}

TEST_F(Launcher, OpenCopyDirectoryIsMadePrivate)
{
    ASSERT_EQ(::mkdir(cache.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((cache + "/quellboard").c_str(), 0777), 0);
    ASSERT_EQ(::mkdir(copyDir.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(copyDir.c_str(), 0777), 0);
    store("Q.x", probe, 1600000000);
    runQbstart({data}, root.path());
    EXPECT_FALSE(probeRecord().empty());
    EXPECT_EQ(statOf(copyDir).st_mode & 07777, 0700u);
}

TEST_F(Launcher, CopyDirectoryOfAnotherUserIsNotUsed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a directory away needs root";
    ASSERT_EQ(::mkdir(cache.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((cache + "/quellboard").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(copyDir.c_str(), 0755), 0);
    writeFile(local, probe);
    ASSERT_EQ(::chmod(local.c_str(), 0755), 0);
    ASSERT_EQ(::chown(copyDir.c_str(), 65534, 65534), 0);
    store("Q.x", probe, 1600000000);
    Outcome o = runQbstart({data}, root.path());
    EXPECT_NE(o.err.find("belongs to another user"), std::string::npos) << o.err;
    EXPECT_EQ(probeRecord(std::chrono::milliseconds(300)), "");
}

// The waits, counted: 9 s first, 200 ms after each failed open, then n x 200
// ms before start attempt n.
struct Schedule {
    const char* name;
    bool stored;
    std::vector<int> waits;
};

class LauncherWaits : public ::testing::TestWithParam<Schedule> {};

TEST_P(LauncherWaits, FollowTheSchedule)
{
    TempDir root;
    const std::string data = root.file("data");
    ASSERT_EQ(::mkdir(data.c_str(), 0755), 0);
    if (GetParam().stored)
        writeFile(data + "/Q.x", readFile(BOARD_PROBE_PATH));
    ::setenv("XDG_CACHE_HOME", root.file("cache").c_str(), 1);
    ::setenv("QBSTART_PROBE_OUT", root.file("probe.out").c_str(), 1);
    char cwd[PATH_MAX];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);

    std::vector<int> waits;
    qbstart::Hooks hooks;
    hooks.sleep = [&](int ms) { waits.push_back(ms); };
    hooks.error = [](const std::string&) {};
    hooks.note = [](const std::string&) {};
    const char* args[] = {data.c_str()};
    pid_t pid = qbstart::run(1, args, hooks);
    ASSERT_EQ(::chdir(cwd), 0);
    if (pid > 0)
        ::waitpid(pid, nullptr, 0);

    EXPECT_EQ(pid > 0, GetParam().stored);
    EXPECT_EQ(waits, GetParam().waits);
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, LauncherWaits,
    ::testing::Values(Schedule {"StoredProgramOpensAtOnce", true, {9000, 200}},
                      Schedule {"NothingToStart",
                                false,
                                {9000, 200, 200, 200, 200, 200, 200, 400, 600, 800, 1000, 1200, 1400, 1600, 1800, 2000}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
