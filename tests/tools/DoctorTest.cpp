// qbtool doctor: the mount rules from literal mountinfo lines, and the whole
// command on real directories (all good, links refused, read-only).
#include "tests/support/TestSupport.h"
#include "tools/ShareDoctor.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using qb::test::TempDir;
using qb::tools::Verdict;

namespace {

int qbtool(const std::string& args, std::string* out, const std::string& env = {})
{
    return qb::test::runCommand(env + " " + QB_QBTOOL + " " + args + " 2>&1", out);
}

// The verdict, topic and start of a line of doctor's output ("" when no line has that topic).
std::string lineFor(const std::string& out, const std::string& topic)
{
    std::size_t pos = 0;
    while (pos < out.size()) {
        std::size_t end = out.find('\n', pos);
        std::string line = out.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (line.size() > 6 && line.compare(6, topic.size() + 1, topic + ":") == 0)
            return line;
        pos = end == std::string::npos ? out.size() : end + 1;
    }
    return {};
}

std::vector<std::string> entries(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

const char* const kRoot = "22 1 253:0 / / rw,relatime shared:1 - ext4 /dev/vda1 rw,errors=remount-ro\n";

} // namespace

// Which mount holds the directory, and what its type and options mean.
TEST(DoctorMounts, VerdictsFromMountinfoLines)
{
    struct Case {
        const char* line;
        const char* path;
        unsigned major, minor;
        const char* mountPoint;
        Verdict verdict;
        const char* says;
    };
    const Case cases[] = {
        {"98 22 0:52 / /mnt/board rw,relatime shared:51 - cifs //files/board rw,vers=3.1.1,cache=strict,"
         "username=office,uid=1000,noforceuid,gid=1000,noforcegid,addr=192.168.1.10,file_mode=0664,dir_mode=0775,"
         "soft,nounix,serverino,mapposix,nobrl,rsize=4194304,wsize=4194304,bsize=1048576,echo_interval=60,actimeo=1",
         "/mnt/board/data", 0, 52, "/mnt/board", Verdict::Fail, "nobrl"},
        {"98 22 0:52 / /mnt/board rw,relatime shared:51 - cifs //files/board rw,vers=3.1.1,cache=strict,"
         "username=office,uid=1000,addr=192.168.1.10,soft,nounix,serverino,mapposix,rsize=4194304,actimeo=1",
         "/mnt/board", 0, 52, "/mnt/board", Verdict::Ok, "locks reach the server"},
        {"98 22 0:52 / /mnt/board rw,relatime - cifs //files/board rw,vers=3.0,cache=loose,actimeo=1",
         "/mnt/board", 0, 52, "/mnt/board", Verdict::Fail, "cache=loose"},
        {"98 22 0:52 / /mnt/board rw,relatime - cifs //files/board rw,vers=3.0,cache=strict,actimeo=30",
         "/mnt/board", 0, 52, "/mnt/board", Verdict::Warn, "for 30 s"},
        {"120 22 0:60 / /srv/board rw,relatime shared:70 - nfs files:/export/board rw,vers=3,rsize=1048576,"
         "wsize=1048576,namlen=255,hard,nolock,proto=tcp,timeo=600,retrans=2,sec=sys,mountaddr=192.168.1.10,"
         "mountvers=3,mountport=20048,mountproto=udp,local_lock=all,addr=192.168.1.10",
         "/srv/board/q", 0, 60, "/srv/board", Verdict::Fail, "nolock"},
        {"121 22 0:61 / /srv/board rw,relatime - nfs4 files:/board rw,vers=4.2,hard,proto=tcp,timeo=600,sec=sys,"
         "clientaddr=192.168.1.20,local_lock=posix,addr=192.168.1.10",
         "/srv/board", 0, 61, "/srv/board", Verdict::Fail, "local_lock=posix"},
        {"121 22 0:61 / /srv/board rw,relatime - nfs4 files:/board rw,vers=4.2,hard,proto=tcp,timeo=600,sec=sys,"
         "clientaddr=192.168.1.20,local_lock=none,addr=192.168.1.10",
         "/srv/board", 0, 61, "/srv/board", Verdict::Ok, "fetched again on every open"},
        // flock() stays local, but the stations lock with fcntl.
        {"121 22 0:61 / /srv/board rw,relatime - nfs4 files:/board rw,vers=4.2,local_lock=flock,addr=192.168.1.10",
         "/srv/board", 0, 61, "/srv/board", Verdict::Ok, "locks reach the server"},
        {"121 22 0:61 / /srv/board rw,relatime - nfs files:/board rw,vers=3,nocto,local_lock=none",
         "/srv/board", 0, 61, "/srv/board", Verdict::Warn, "nocto"},
        {"77 22 0:70 / /home/a/share rw,nosuid,nodev - fuse.sshfs a@files:/board rw,user_id=0,group_id=0",
         "/home/a/share", 0, 70, "/home/a/share", Verdict::Warn, "unknown file system"},
        {"99 22 0:53 / /mnt/office\\040board rw - cifs //files/office\\040board rw,nobrl",
         "/mnt/office board/d", 0, 53, "/mnt/office board", Verdict::Fail, "nobrl"},
        // Not under any other mount: the root file system; a garbled line is skipped.
        {"garbage without the separator", "/var/board", 253, 0, "/", Verdict::Ok, "local file system"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        auto m = qb::tools::mountHolding(std::string(kRoot) + c.line + "\n", c.path, c.major, c.minor);
        ASSERT_TRUE(m.has_value());
        EXPECT_EQ(m->mountPoint, c.mountPoint);
        auto findings = qb::tools::judgeMount(*m);
        ASSERT_FALSE(findings.empty());
        Verdict worst = Verdict::Ok;
        std::string all;
        for (const auto& f : findings) {
            worst = std::max(worst, f.verdict);
            all += f.text + "\n";
            EXPECT_EQ(f.fix.empty(), f.verdict == Verdict::Ok) << "a fix on every line that is not ok";
        }
        EXPECT_EQ(worst, c.verdict) << all;
        EXPECT_NE(all.find(c.says), std::string::npos) << all;
    }
}

// A local data directory, as is and with hard links refused; on both lock paths.
TEST(DoctorCommand, LocalDirectory)
{
    TempDir dir;
    const std::string data = dir.file("data");
    std::string out;
    ASSERT_EQ(qbtool("init " + data + " --demo", &out), 0) << out;
    const auto before = entries(data);
    struct Case {
        const char* env;
        int exitCode;
        const char* warnTopic; // the one line that is not ok
        const char* says;
    };
    const Case cases[] = {
        {"", 0, nullptr, "OFD locks work and exclude another process"},
        {"QB_TEST_CLASSIC_LOCKS=1", 0, nullptr, "classic record locks"},
        {"QB_TEST_NO_HARDLINKS=1", 0, "hard links", "exclusive create instead"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.env);
        EXPECT_EQ(qbtool("doctor " + data, &out, c.env), c.exitCode) << out;
        for (const char* topic : {"mount", "permissions", "free space", "clock", "locks", "hard links", "renames",
                                  "tables"}) {
            const std::string line = lineFor(out, topic);
            const bool warned = c.warnTopic && std::string(topic) == c.warnTopic;
            EXPECT_EQ(line.substr(0, 6), warned ? "warn  " : "ok    ") << out;
        }
        EXPECT_NE(out.find(c.says), std::string::npos) << out;
        EXPECT_NE(lineFor(out, "tables").find("8 tables checked, no damage"), std::string::npos) << out;
        EXPECT_EQ(entries(data), before) << "the probe files are gone again";
    }
    EXPECT_EQ(qbtool("doctor", &out), 2);
    EXPECT_EQ(qbtool("doctor " + dir.file("missing"), &out), 1);
    EXPECT_EQ(lineFor(out, "directory").substr(0, 6), "FAIL  ") << out;
}

// A directory this account cannot write to: stations there would lose every change.
TEST(DoctorCommand, ReadOnlyDirectory)
{
    TempDir dir;
    const std::string data = dir.file("data");
    std::string out;
    ASSERT_EQ(qbtool("init " + data, &out), 0) << out;
    std::string asUser;
    if (::geteuid() == 0) {
        // root writes anywhere; run as an ordinary account instead.
        asUser = "setpriv --reuid=65534 --regid=65534 --clear-groups";
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
        if (qb::test::runCommand(asUser + " test -x " + QB_QBTOOL) != 0)
            GTEST_SKIP() << "the unprivileged account cannot run qbtool here";
    }
    ASSERT_EQ(::chmod(data.c_str(), 0555), 0);
    const int rc = qb::test::runCommand(asUser + " " + QB_QBTOOL + " doctor " + data + " 2>&1", &out);
    ::chmod(data.c_str(), 0755);
    EXPECT_EQ(rc, 1) << out;
    EXPECT_NE(out.find("FAIL  permissions: this account cannot create files in the directory"), std::string::npos)
        << out;
    EXPECT_EQ(lineFor(out, "locks").substr(0, 6), "warn  ") << "not tested without a probe file\n" << out;
    EXPECT_EQ(lineFor(out, "tables").substr(0, 6), "ok    ") << out;
}
