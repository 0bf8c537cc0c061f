// The lock fallback for mounts that refuse open-file-description locks.
//
// Some network mounts answer F_OFD_SETLK with EINVAL. There the only byte
// locks that reach the server are classic POSIX record locks (F_SETLK),
// which belong to the whole process and to the file (device, inode), not to
// one descriptor. Two pitfalls follow, and this table closes both:
//  - Closing ANY descriptor of a file drops every classic lock the process
//    holds on it. So every descriptor of a file that has classic locks is
//    closed through closeDescriptor(), which keeps it open (parked) while the
//    process still holds a lock there, and closes the parked ones when the
//    last lock goes. PosixFile::open takes a parked descriptor of the same
//    file and access mode back instead of opening another one.
//  - Locks of one process never exclude each other. So the table remembers
//    which handle (owner) holds which region and refuses, in-process, what
//    the kernel would grant: two work areas of one process exclude each other
//    exactly as they do with OFD locks. The kernel is asked only for what
//    other processes must see, and a region is unlocked in the kernel only
//    where no other handle of this process still holds it.
#pragma once

#include "PosixFile.h"

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace qb::platform::classic {

// A new owner id for a handle that locks through this table.
std::uint64_t newOwner();
// Registers the owner for the file behind fd. False when fstat fails (errno kept).
bool attach(std::uint64_t owner, int fd);
LockResult lock(std::uint64_t owner, int fd, bool exclusive, std::int64_t off, std::int64_t len);
// Drops the owner's locks inside the range (as an OFD unlock would). Returns 0 or an error code.
int unlock(std::uint64_t owner, int fd, std::int64_t off, std::int64_t len);
bool probe(std::uint64_t owner, int fd, std::int64_t off, std::int64_t len, bool forWrite, pid_t* holder);
// Drops every lock of the owner and forgets it; the descriptor is then closed
// through closeDescriptor().
void detach(std::uint64_t owner, int fd);
// Closes fd now, or parks it while the process holds classic locks on its
// file. Returns what close() returned (0 when parked), errno kept.
int closeDescriptor(int fd);
// A parked descriptor of the file at path opened with these access flags
// (O_RDONLY or O_RDWR), taken out of the table; -1 when there is none.
int takeParked(const std::string& path, int accessFlags);

} // namespace qb::platform::classic
