// Helpers shared by the tests: scratch directories and child processes.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qb::test {

// A fresh directory under $TMPDIR removed again at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Child roles: a test binary started with "--qb-child=NAME arg..." runs the
// role registered under NAME instead of the tests and exits with its result.
// Register roles with QB_CHILD_ROLE at namespace scope in the test file.
using ChildRole = std::function<int(const std::vector<std::string>& args)>;
bool registerChildRole(const std::string& name, ChildRole role);
#define QB_CHILD_ROLE(name) \
    static int qbChildRole_##name(const std::vector<std::string>& args); \
    static const bool qbChildRoleReg_##name = ::qb::test::registerChildRole(#name, qbChildRole_##name); \
    static int qbChildRole_##name(const std::vector<std::string>& args)

// Starts this test binary as a child running the role; returns its pid.
int startChild(const std::string& role, const std::vector<std::string>& args);
// Waits for the child; returns its exit status (or 128 + signal).
int waitChild(int pid);
// Runs a role in a child and waits for it.
int runChild(const std::string& role, const std::vector<std::string>& args);

// Hand-overs between a test and the children it starts: waits until the
// file exists, or holds exactly text, looking every few milliseconds.
// Without a limit they wait as long as it takes; false when the limit
// passed first.
constexpr std::chrono::milliseconds kNoLimit = std::chrono::milliseconds::max();
bool waitForFile(const std::string& path, std::chrono::milliseconds limit = kNoLimit);
bool waitForText(const std::string& path, const std::string& text, std::chrono::milliseconds limit = kNoLimit);

// Runs a shell command; returns exit status and fills output with stdout.
int runCommand(const std::string& command, std::string* output = nullptr);

// The two ways byte locks work: open-file-description locks, and the
// classic-lock fallback taken on mounts that refuse them. Locking tests run
// on both.
enum class LockPath { Ofd, Classic };
const char* lockPathName(LockPath path);
// Puts this process, and the children it starts meanwhile, on one lock path.
class LockPathScope {
public:
    explicit LockPathScope(LockPath path);
    ~LockPathScope();
    LockPathScope(const LockPathScope&) = delete;
    LockPathScope& operator=(const LockPathScope&) = delete;
};

// Open descriptors of this process on the file at path (-1 when it is missing).
int descriptorsOn(const std::string& path);

// Reads or writes a whole file as bytes.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

} // namespace qb::test
