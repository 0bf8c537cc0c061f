// Whole-file operations on paths.
#pragma once

#include "platform/Files.h"

#include <cstdint>
#include <string>

namespace qb::platform {

// Copies src to dst byte for byte in blocks, then gives dst the source's
// last-write time and executable bits, and syncs it. Returns 0 or an error code.
int copyFileKeepTime(const std::string& src, const std::string& dst, std::size_t blockSize = 8192);
bool fileExists(const std::string& path);
bool isDirectory(const std::string& path);
// Last-write time (100 ns since 1601) from a descriptor opened just for this,
// so NFS revalidates attributes (close-to-open). 0 when the file is missing.
std::uint64_t lastWriteTimeOf(const std::string& path);
// Creates the directory and its parents; returns 0 or an error code.
int makeDirs(const std::string& path);
int removeFile(const std::string& path);

// Makes a file with exactly these bytes appear at path at once, or not at
// all: written and synced under a temporary name beside it, then linked into
// place. Returns kFileExists (and changes nothing) when path already exists,
// so two stations creating the same missing file never truncate each
// other's work, and nobody ever opens a half-written header.
// Shares without hard links (link() refused with EPERM, ENOTSUP, EXDEV,
// ENOSYS) get the file by an exclusive create of the final name with all its
// bytes in one write instead; a reader that opens it in the instant before
// that write finds it empty and waits (PosixFile::sizeOnceWritten).
int publishNewFile(const std::string& path, const std::string& bytes);

// link(from, to); returns 0 or the errno value. Honours the test switch below.
int hardLink(const std::string& from, const std::string& to);
// True for the errno values of a file system that has no hard links at all.
bool isNoHardLinksError(int err);
// Test interface: while on, hardLink() is refused with EPERM, as on a share
// without hard links. The environment variable QB_TEST_NO_HARDLINKS=1
// switches it on for a whole process (also for qbtool). Not for production use.
void refuseHardLinksForTests(bool on);

} // namespace qb::platform
