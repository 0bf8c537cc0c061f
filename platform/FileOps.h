// Whole-file operations on paths.
#pragma once

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

constexpr int kFileExists = 80;
// Makes a file with exactly these bytes appear at path at once, or not at
// all: written and synced under a temporary name beside it, then linked into
// place. Returns kFileExists (and changes nothing) when path already exists,
// so two stations creating the same missing file never truncate each
// other's work, and nobody ever opens a half-written header.
int publishNewFile(const std::string& path, const std::string& bytes);

} // namespace qb::platform
