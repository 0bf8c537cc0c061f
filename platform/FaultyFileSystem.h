// A file system that passes every call to another one and fails the ones a
// test chooses: the Nth read, write, sync, rename or lock (counted from when
// the fault is set, on paths containing a given part) answers with a chosen
// errno, and the locks held on chosen files can be made to vanish, as a
// network client loses them with its session or lease. For tests and fuzz
// targets; programs do not link it. Not thread-safe.
#pragma once

#include "platform/Files.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qb::platform {

enum class FaultOp {
    Read,   // File::readAt
    Write,  // File::writeAt and truncate
    Sync,   // File::sync and FileSystem::syncDirectoryOf
    Rename, // File::renameTo and FileSystem::rename
    Lock,   // File::lock and lockShared
};

class FaultyFileSystem final : public FileSystem {
public:
    explicit FaultyFileSystem(FileSystem& inner);
    ~FaultyFileSystem() override;

    // The nth call of op from now on (1 = the next one) whose path contains
    // pathPart (empty: any path) fails with errnoValue. Several faults may
    // be pending at once.
    void failNth(FaultOp op, int nth, int errnoValue, std::string pathPart = {});
    // Every such call from the nth on fails, until clear().
    void failFrom(FaultOp op, int nth, int errnoValue, std::string pathPart = {});
    // The locks held through files open now whose path contains pathPart
    // vanish: they are released underneath, and every later lock, unlock or
    // probe on those files answers as a lost lock does (errnoValue: EIO,
    // ENOLCK).
    void dropLocks(const std::string& pathPart, int errnoValue = EIO);
    void clear();
    // How many calls of op have been made so far (to aim a fault).
    int calls(FaultOp op) const;
    // How many faults have fired so far.
    int fired() const { return m_fired; }

    int open(const std::string& path, Access access, Share share, std::unique_ptr<File>& out) override;
    int create(const std::string& path, std::unique_ptr<File>& out) override;
    int createNew(const std::string& path, std::unique_ptr<File>& out) override;
    int publish(const std::string& path, const std::string& bytes) override;
    int rename(const std::string& from, const std::string& to) override;
    int remove(const std::string& path) override;
    int stat(const std::string& path, FileIdentity& out) override;
    bool exists(const std::string& path) override;
    std::vector<std::string> list(const std::string& dir) override;
    int syncDirectoryOf(const std::string& path) override;

    // Called by the wrapped files: counts the call and returns the errno to
    // fail it with, or 0.
    int hit(FaultOp op, const std::string& path);
    struct Tracked;

private:
    struct Fault {
        FaultOp op;
        int remaining; // calls left before it fires
        int err;
        std::string pathPart;
        bool sticky;
    };
    FileSystem& m_inner;
    std::vector<Fault> m_faults;
    std::map<FaultOp, int> m_calls;
    int m_fired = 0;
    std::shared_ptr<std::vector<Tracked*>> m_open;
    int wrap(int rc, std::unique_ptr<File>& out);
};

} // namespace qb::platform
