#include "FuzzScratch.h"

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace qb::fuzz {

FuzzScratch& FuzzScratch::instance()
{
    static FuzzScratch scratch;
    return scratch;
}

FuzzScratch::FuzzScratch()
{
    struct stat st {};
    std::string base = (::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && ::access("/dev/shm", W_OK) == 0)
                           ? "/dev/shm"
                           : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    std::string templ = base + "/qbfuzz-XXXXXX";
    if (!::mkdtemp(templ.data())) {
        std::perror("qbfuzz: mkdtemp");
        std::abort();
    }
    m_dir = templ;
}

FuzzScratch::~FuzzScratch()
{
    if (DIR* d = ::opendir(m_dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..")
                ::unlink((m_dir + "/" + n).c_str());
        }
        ::closedir(d);
    }
    ::rmdir(m_dir.c_str());
}

std::string FuzzScratch::put(const std::string& name, std::string_view bytes)
{
    std::string path = m_dir + "/" + name;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    require(fd >= 0, "cannot create a scratch file");
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (w < 0 && errno == EINTR)
            continue;
        require(w > 0, "cannot write a scratch file");
        done += static_cast<std::size_t>(w);
    }
    ::close(fd);
    return path;
}

void FuzzScratch::remove(const std::string& name) { ::unlink((m_dir + "/" + name).c_str()); }

std::string FuzzScratch::putTable(const TableInput& in)
{
    std::string path = put("t.dbf", in.dbf);
    if (in.withMemo)
        put("t.dbt", in.dbt);
    else
        remove("t.dbt");
    return path;
}

std::string FuzzScratch::putTable(platform::MemoryFileSystem& share, const TableInput& in)
{
    const std::string path = "/share/t.dbf";
    share.setContents(path, std::string(in.dbf));
    if (in.withMemo)
        share.setContents("/share/t.dbt", std::string(in.dbt));
    return path;
}

TableInput FuzzScratch::splitTable(const std::uint8_t* data, std::size_t size)
{
    TableInput in;
    if (size < 2)
        return in;
    unsigned word = data[0] | (static_cast<unsigned>(data[1]) << 8);
    in.autoFix = (word & 0x2000) != 0;
    in.hideDeleted = (word & 0x4000) != 0;
    in.withMemo = (word & 0x8000) == 0;
    std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
    std::size_t split = std::min<std::size_t>(word & 0x1FFF, rest.size());
    in.dbf = rest.substr(0, split);
    in.dbt = rest.substr(split);
    return in;
}

void require(bool cond, const char* what)
{
    if (cond)
        return;
    std::fprintf(stderr, "qbfuzz: invariant broken: %s\n", what);
    std::abort();
}

} // namespace qb::fuzz
