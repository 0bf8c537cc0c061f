// Files held in memory, shared by every engine given the same instance: two
// engines on one MemoryFileSystem meet like two stations on a share. Byte-range
// locks behave as open-file-description locks (each open excludes every other
// open, own locks merge and an unlock removes own locks inside its range),
// and opens take the share-mode byte as the POSIX files do. For tests and
// fuzz targets; programs do not link it. Thread-safe.
#pragma once

#include "platform/Files.h"

#include <memory>
#include <string>

namespace qb::platform {

class MemoryFileSystem final : public FileSystem {
public:
    MemoryFileSystem();
    ~MemoryFileSystem() override;

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

    // The bytes at path ("" when there is no file), and a way to put some
    // there, as a test sets up or inspects a share.
    std::string contents(const std::string& path) const;
    void setContents(const std::string& path, const std::string& bytes);

    struct State;

private:
    std::shared_ptr<State> m_state;
};

} // namespace qb::platform
