#include "TestSupport.h"

#include "platform/PosixFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qb::test {

namespace {
std::map<std::string, ChildRole>& roles()
{
    static std::map<std::string, ChildRole> r;
    return r;
}

std::string selfPath()
{
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    buf[n] = 0;
    return buf;
}
} // namespace

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/qbtest.XXXXXX";
    std::vector<char> b(tmpl.begin(), tmpl.end());
    b.push_back(0);
    if (!::mkdtemp(b.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = b.data();
}

TempDir::~TempDir()
{
    std::string cmd = "rm -rf '" + m_path + "'";
    [[maybe_unused]] int rc = std::system(cmd.c_str());
}

const char* lockPathName(LockPath path) { return path == LockPath::Ofd ? "Ofd" : "Classic"; }

LockPathScope::LockPathScope(LockPath path)
{
    const bool classic = path == LockPath::Classic;
    platform::forceClassicLocksForTests(classic);
    if (classic)
        ::setenv("QB_TEST_CLASSIC_LOCKS", "1", 1);
    else
        ::unsetenv("QB_TEST_CLASSIC_LOCKS");
}

LockPathScope::~LockPathScope()
{
    platform::forceClassicLocksForTests(false);
    ::unsetenv("QB_TEST_CLASSIC_LOCKS");
}

int descriptorsOn(const std::string& path)
{
    struct stat want {};
    if (::stat(path.c_str(), &want) != 0)
        return -1;
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        struct stat st {};
        if (::stat(entry.path().c_str(), &st) == 0 && st.st_dev == want.st_dev && st.st_ino == want.st_ino)
            ++n;
    }
    return n;
}

bool registerChildRole(const std::string& name, ChildRole role)
{
    roles()[name] = std::move(role);
    return true;
}

int startChild(const std::string& role, const std::vector<std::string>& args)
{
    std::string exe = selfPath();
    pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<std::string> all = {exe, "--qb-child=" + role};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& s : all)
            argv.push_back(s.data());
        argv.push_back(nullptr);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

int waitChild(int pid)
{
    int status = 0;
    if (::waitpid(pid, &status, 0) < 0)
        return -1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

int runChild(const std::string& role, const std::vector<std::string>& args)
{
    return waitChild(startChild(role, args));
}

namespace {
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto start = std::chrono::steady_clock::now();
    while (!done()) {
        if (limit != kNoLimit && std::chrono::steady_clock::now() - start >= limit)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
} // namespace

bool waitForFile(const std::string& path, std::chrono::milliseconds limit)
{
    return waitUntil([&] { return ::access(path.c_str(), F_OK) == 0; }, limit);
}

bool waitForText(const std::string& path, const std::string& text, std::chrono::milliseconds limit)
{
    return waitUntil([&] { return readFile(path) == text; }, limit);
}

int runCommand(const std::string& command, std::string* output)
{
    FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return -1;
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    int status = ::pclose(p);
    if (output)
        *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace qb::test

// A main shared by every gtest binary: child roles first, then the tests.
int main(int argc, char** argv)
{
    if (argc >= 2 && std::strncmp(argv[1], "--qb-child=", 11) == 0) {
        std::string name = argv[1] + 11;
        auto it = qb::test::roles().find(name);
        if (it == qb::test::roles().end())
            return 126;
        std::vector<std::string> args(argv + 2, argv + argc);
        return it->second(args);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
