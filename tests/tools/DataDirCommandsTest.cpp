#include "board/NamesTable.h"
#include "engine/TTzDbf.h"
#include "platform/FileOps.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

using qb::test::TempDir;

namespace {

std::string qbtool(const std::string& args, int* status)
{
    std::string out;
    *status = qb::test::runCommand(std::string(QB_QBTOOL) + " " + args + " 2>&1", &out);
    return out;
}

std::string q(const std::string& s) { return "'" + s + "'"; }

} // namespace

// Holds the record lock of one person until told to stop, like a station
// in the middle of a long write.
QB_CHILD_ROLE(holdRecord)
{
    qb::engine::Engine e;
    qb::engine::TTzDbf t("Hold", e);
    t.CreateIfNotFound = false;
    t.setDbfFileName(args[0] + "/qb3.dbf");
    if (!t.setActive(true))
        return 2;
    t.Go(std::stoll(args[1]));
    if (!t.RLock())
        return 3;
    qb::test::writeFile(args[2], "ready");
    qb::test::waitForText(args[2], "stop");
    return 0;
}

TEST(DataDirectoryInit, MakesEveryTableAndRefusesToOverwrite)
{
    TempDir tmp;
    std::string dir = tmp.file("site");
    int rc;
    qbtool("init " + q(dir), &rc);
    ASSERT_EQ(rc, 0);
    for (const char* f : {"qb3.dbf", "remarks.dbf", "qb3cfg3.dbf", "qb3cfg2.dbf", "moreinfo.dbf", "moreinfo.dbt"})
        EXPECT_TRUE(qb::platform::fileExists(dir + "/" + f)) << f;
    EXPECT_TRUE(qb::platform::isDirectory(dir + "/s"));
    std::string json = qbtool("dump --json " + q(dir + "/qb3.dbf"), &rc);
    EXPECT_NE(json.find("\"ident\": 0, \"chgcntr\": 0, \"inuse\": false, \"name\": \"Admin\", \"remark\": \"Remark\", "
                        "\"group\": \"Group\", \"misc\": \"Notes\""),
              std::string::npos)
        << json;
    std::string remarks = qbtool("dump --json " + q(dir + "/remarks.dbf"), &rc);
    EXPECT_NE(remarks.find("\"c\": \"y\", \"position\": 6, \"type\": 6, \"text\": \"Back at <time>\""),
              std::string::npos)
        << remarks;
    std::string labels = qbtool("schema " + q(dir + "/qb3cfg2.dbf"), &rc);
    EXPECT_NE(labels.find("23"), std::string::npos);
    std::string check = qbtool("check " + q(dir), &rc);
    EXPECT_EQ(rc, 0) << check;

    std::string again = qbtool("init " + q(dir), &rc);
    EXPECT_NE(rc, 0);
    EXPECT_NE(again.find("refusing to overwrite"), std::string::npos);
}

TEST(DataDirectoryInit, DemoGivesALivingBoard)
{
    TempDir tmp;
    std::string dir = tmp.file("demo");
    int rc;
    qbtool("init " + q(dir) + " --demo", &rc);
    ASSERT_EQ(rc, 0);
    std::string json = qbtool("dump --json " + q(dir + "/qb3.dbf"), &rc);
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 9) << json;
    EXPECT_NE(json.find("Jürgen Weiß"), std::string::npos);
    EXPECT_TRUE(qb::platform::fileExists(dir + "/msg1.dbf"));
    EXPECT_TRUE(qb::platform::fileExists(dir + "/s/sh001.dbf"));
    std::string check = qbtool("check " + q(dir), &rc);
    EXPECT_EQ(rc, 0) << check;
}

TEST(ScriptedRemarks, ExitStatusesTellWhatHappened)
{
    TempDir tmp;
    std::string dir = tmp.file("demo");
    int rc;
    qbtool("init " + q(dir) + " --demo", &rc);
    ASSERT_EQ(rc, 0);

    qbtool("set-remark " + q(dir) + " 'grace okafor' Out", &rc);
    EXPECT_EQ(rc, 0);
    std::string json = qbtool("dump --json " + q(dir + "/qb3.dbf"), &rc);
    EXPECT_NE(json.find("\"inuse\": true, \"name\": \"Grace Okafor\", \"remark\": \"Out\""), std::string::npos)
        << json;

    std::string unknown = qbtool("set-remark " + q(dir) + " 'Nobody Here' In", &rc);
    EXPECT_EQ(rc, 3);
    EXPECT_NE(unknown.find("Nobody Here"), std::string::npos);

    std::string flag = tmp.file("flag");
    int holder = qb::test::startChild("holdRecord", {dir, "4", flag});
    qb::test::waitForText(flag, "ready");
    std::string locked = qbtool("set-remark " + q(dir) + " 'grace okafor' In --wait 0.2", &rc);
    EXPECT_EQ(rc, 4) << locked;
    qb::test::writeFile(flag, "stop");
    EXPECT_EQ(qb::test::waitChild(holder), 0);

    if (::geteuid() != 0) { // root writes through any mode
        ::chmod((dir + "/qb3.dbf").c_str(), 0444);
        qbtool("set-remark " + q(dir) + " 'grace okafor' In", &rc);
        EXPECT_EQ(rc, 5);
    }
    qbtool("set-remark " + q(tmp.file("nowhere")) + " 'grace okafor' In", &rc);
    EXPECT_EQ(rc, 5);
    qbtool("set-remark " + q(dir) + " 'grace okafor' In --color q", &rc);
    EXPECT_EQ(rc, 2);
}

TEST(ScriptedRemarks, LogEntryFollowsThePersonsOption)
{
    TempDir tmp;
    std::string dir = tmp.file("demo");
    int rc;
    qbtool("init " + q(dir) + " --demo", &rc);
    ASSERT_EQ(rc, 0);
    qbtool("set-remark " + q(dir) + " 'Mei Lin' 'at lunch'", &rc);
    ASSERT_EQ(rc, 0);
    std::string ls;
    qb::test::runCommand("ls " + q(dir), &ls);
    EXPECT_EQ(ls.find("LG"), std::string::npos) << "option 13 is off by default";

    // Switch option 13 on in that person's record (board index 5).
    qb::engine::Engine e;
    qb::engine::TTzDbf cfg("Cfg", e);
    cfg.setDbfFileName(dir + "/qb3cfg3.dbf");
    ASSERT_TRUE(cfg.setActive(true));
    for (cfg.GoTop(); !cfg.dEOF(); cfg.Skip(1)) {
        if (cfg.GetLongField("ident") == 5) {
            ASSERT_TRUE(cfg.RLock());
            cfg.SetLField("value13", true);
            cfg.Replace();
            cfg.UnLock();
        }
    }
    cfg.setActive(false);
    qbtool("set-remark " + q(dir) + " 'Mei Lin' Out", &rc);
    ASSERT_EQ(rc, 0);
    qb::test::runCommand("ls " + q(dir), &ls);
    auto pos = ls.find("LG");
    ASSERT_NE(pos, std::string::npos);
    std::string log = qbtool("dump --json " + q(dir + "/" + ls.substr(pos, 12)), &rc);
    EXPECT_NE(log.find("\"ident\": \"5\", \"name\": \"Mei Lin\", \"colname\": \"Remark\", \"text\": \"Out\""),
              std::string::npos)
        << log;
}

TEST(ScriptedNames, AddNameAppendsWithOptions)
{
    TempDir tmp;
    std::string dir = tmp.file("site");
    int rc;
    qbtool("init " + q(dir), &rc);
    ASSERT_EQ(rc, 0);
    std::string out = qbtool("add-name " + q(dir) + " 'Ola Nordmann' Sales", &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(out.find("board index 1"), std::string::npos);
    std::string cfg = qbtool("dump --json " + q(dir + "/qb3cfg3.dbf"), &rc);
    EXPECT_NE(cfg.find("\"ident\": 1, \"value1\": false, \"usercan1\": true"), std::string::npos) << cfg;
    qbtool("add-name " + q(dir), &rc);
    EXPECT_EQ(rc, 2);
    qbtool("add-name " + q(tmp.file("nothing")) + " X", &rc);
    EXPECT_EQ(rc, 1);
}

// Holds a lock of a table: "record N" or "append", until the flag file says
// "stop" or, with a number of milliseconds as the fourth argument, that long.
QB_CHILD_ROLE(holdLock)
{
    qb::engine::Engine e;
    qb::engine::TTzDbf t("Hold", e);
    t.CreateIfNotFound = false;
    t.setDbfFileName(args[0]);
    if (!t.setActive(true))
        return 2;
    bool ok;
    if (args[1] == "append") {
        ok = t.ALock();
    } else {
        t.Go(std::stoll(args[1]));
        ok = t.RLock();
    }
    if (!ok)
        return 3;
    qb::test::writeFile(args[2], "ready");
    qb::test::waitForText(args[2], "stop", std::chrono::milliseconds(args.size() > 3 ? std::stoi(args[3]) : 1000000));
    return 0;
}

namespace {

int startHolder(const std::string& table, const std::string& what, const std::string& flag, int ms = 0)
{
    std::vector<std::string> args = {table, what, flag};
    if (ms > 0)
        args.push_back(std::to_string(ms));
    int pid = qb::test::startChild("holdLock", args);
    qb::test::waitForText(flag, "ready");
    return pid;
}

std::string demoDir(const TempDir& tmp)
{
    std::string dir = tmp.file("demo");
    int rc;
    qbtool("init " + q(dir) + " --demo", &rc);
    EXPECT_EQ(rc, 0);
    return dir;
}

} // namespace

TEST(ScriptedNames, RefusesNamesABoardCannotShowOrTellApart)
{
    TempDir tmp;
    std::string dir = demoDir(tmp);
    const std::string before = qb::test::readFile(dir + "/qb3.dbf");
    struct Case {
        const char* name;
        std::string arg;
        const char* says;
    };
    std::string a21, a41;
    for (int i = 0; i < 21; ++i)
        a21 += "ä";
    for (int i = 0; i < 41; ++i)
        a41 += "ä";
    const Case cases[] = {
        {"newline", q("Eve\nAdams"), "control character"},
        {"escape", q("Eve\x1B[31m"), "control character"},
        {"bell", q("Eve\a"), "control character"},
        {"invalid UTF-8", q("Eve\xFF"), "not valid UTF-8"},
        {"not in the code page", "'Eve €'", "code page CP437 cannot store"},
        {"duplicate in another case", "'anna BERGER'", "is on the board already"},
        {"Admin", "Admin", "administrator's record"},
        {"admin", "admin", "administrator's record"},
        {"deleted-row marker", "__", "marks a removed person"},
        {"41 characters", q(a41), "has 41 characters"},
        {"blank", "'   '", "1 to 40 characters"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int rc;
        std::string out = qbtool("add-name " + q(dir) + " " + c.arg, &rc);
        EXPECT_EQ(rc, 2) << out;
        EXPECT_NE(out.find(c.says), std::string::npos) << out;
        EXPECT_EQ(out.find('\x1B'), std::string::npos) << "never echoes an escape to the terminal";
        EXPECT_EQ(qb::test::readFile(dir + "/qb3.dbf"), before);
    }
    int rc;
    std::string out = qbtool("add-name " + q(dir) + " " + q(a21), &rc);
    EXPECT_EQ(rc, 0) << "21 characters of two bytes each fit: " << out;
}

TEST(ScriptedNames, NoPersonWithoutAnOptionsRecord)
{
    TempDir tmp;
    std::string dir = demoDir(tmp);
    int rc;
    auto livePeople = [&] {
        std::string json = qbtool("dump --json " + q(dir + "/qb3.dbf"), &rc);
        long live = 0;
        for (std::size_t pos = 0; (pos = json.find("\"_deleted\": false", pos)) != std::string::npos; ++pos)
            ++live;
        return live - 1; // record 0 is the administrator's
    };
    auto hasLive = [&](const std::string& name) {
        std::string json = qbtool("dump --json " + q(dir + "/qb3.dbf"), &rc);
        for (std::size_t pos = 0; (pos = json.find("\"name\": \"" + name + "\"", pos)) != std::string::npos; ++pos) {
            std::size_t line = json.rfind('\n', pos);
            if (json.find("\"_deleted\": false", line == std::string::npos ? 0 : line) < pos)
                return true;
        }
        return false;
    };
    const long people = livePeople();

    // The options table stays locked by another station.
    std::string flag = tmp.file("flag");
    int holder = startHolder(dir + "/qb3cfg3.dbf", "append", flag);
    std::string out = qbtool("add-name " + q(dir) + " 'Eve Adams' --wait 0.3", &rc);
    qb::test::writeFile(flag, "stop");
    qb::test::waitChild(holder);
    EXPECT_NE(rc, 0) << out;
    EXPECT_NE(out.find("Eve Adams was not added"), std::string::npos) << out;
    EXPECT_FALSE(hasLive("Eve Adams"));
    EXPECT_EQ(livePeople(), people);

    // The options table is not a file.
    ASSERT_EQ(::rename((dir + "/qb3cfg3.dbf").c_str(), (dir + "/cfg.bak").c_str()), 0);
    ASSERT_EQ(::mkfifo((dir + "/qb3cfg3.dbf").c_str(), 0600), 0);
    out = qbtool("add-name " + q(dir) + " 'Eve Adams'", &rc);
    EXPECT_EQ(rc, 1) << out;
    EXPECT_FALSE(hasLive("Eve Adams"));
    ::unlink((dir + "/qb3cfg3.dbf").c_str());
    ASSERT_EQ(::rename((dir + "/cfg.bak").c_str(), (dir + "/qb3cfg3.dbf").c_str()), 0);

    // A names table whose record length disagrees with its fields.
    std::string names = qb::test::readFile(dir + "/qb3.dbf");
    std::string damaged = names;
    damaged[10] = static_cast<char>(234 & 0xFF);
    qb::test::writeFile(dir + "/qb3.dbf", damaged);
    out = qbtool("add-name " + q(dir) + " 'Eve Adams'", &rc);
    EXPECT_EQ(rc, 1) << out;
    EXPECT_NE(out.find("record length 234 disagrees"), std::string::npos) << out;
    EXPECT_EQ(qb::test::readFile(dir + "/qb3.dbf"), damaged);
    qb::test::writeFile(dir + "/qb3.dbf", names);

    out = qbtool("add-name " + q(dir) + " 'Eve Adams'", &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_TRUE(hasLive("Eve Adams"));
}

TEST(ScriptedRemarks, WaitsForARecordLockAsLongAsAsked)
{
    TempDir tmp;
    std::string dir = demoDir(tmp);
    std::string flag = tmp.file("flag");
    // Grace Okafor is record 4. A station holding it for 300 ms is waited for.
    int holder = startHolder(dir + "/qb3.dbf", "4", flag, 300);
    int rc;
    std::string out = qbtool("set-remark " + q(dir) + " 'grace okafor' Out", &rc);
    qb::test::waitChild(holder);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(out.find("Error writing"), std::string::npos) << "no failure is printed before the outcome: " << out;

    qb::test::writeFile(flag, "");
    holder = startHolder(dir + "/qb3.dbf", "4", flag);
    auto start = std::chrono::steady_clock::now();
    out = qbtool("set-remark " + q(dir) + " 'grace okafor' In --wait 0.4", &rc);
    auto waited = std::chrono::steady_clock::now() - start;
    qb::test::writeFile(flag, "stop");
    qb::test::waitChild(holder);
    EXPECT_EQ(rc, 4) << out;
    EXPECT_GE(waited, std::chrono::milliseconds(400));
    EXPECT_NE(out.find("stayed locked by another station"), std::string::npos) << out;

    out = qbtool("set-remark " + q(dir) + " " + q("Grace\x1B[2J") + " In", &rc);
    EXPECT_EQ(rc, 3);
    EXPECT_EQ(out.find('\x1B'), std::string::npos) << out;
    EXPECT_NE(out.find("Grace\\x1B[2J"), std::string::npos) << out;
    out = qbtool("set-remark " + q(dir) + " 'grace okafor' " + q("In\x1B[2J"), &rc);
    EXPECT_EQ(rc, 2) << out;
}

// Killed while it waits, the tool leaves nothing behind: it makes no
// temporary folders at all.
TEST(ScriptedRemarks, KilledWhileWaitingLeavesNoTemporaryFolder)
{
    TempDir tmp;
    std::string dir = demoDir(tmp);
    std::string tmpdir = tmp.file("tmp");
    ::mkdir(tmpdir.c_str(), 0700);
    std::string flag = tmp.file("flag");
    int holder = startHolder(dir + "/qb3.dbf", "4", flag);
    std::string before;
    qb::test::runCommand("ls -d /tmp/qbtool.* 2>/dev/null", &before);
    int rc = qb::test::runCommand("TMPDIR=" + q(tmpdir) + " timeout -s KILL 0.5 " + std::string(QB_QBTOOL)
                                  + " set-remark " + q(dir) + " 'grace okafor' In >/dev/null 2>&1");
    qb::test::writeFile(flag, "stop");
    qb::test::waitChild(holder);
    EXPECT_EQ(rc, 128 + 9) << "killed while waiting (timeout reports the signal)";
    std::string after, left;
    qb::test::runCommand("ls -A " + q(tmpdir), &left);
    EXPECT_EQ(left, "");
    qb::test::runCommand("ls -d /tmp/qbtool.* 2>/dev/null", &after);
    for (std::size_t pos = 0, end; (end = after.find('\n', pos)) != std::string::npos; pos = end + 1) {
        std::string d = after.substr(pos, end - pos);
        struct stat st {};
        EXPECT_TRUE(before.find(d) != std::string::npos || ::stat(d.c_str(), &st) != 0) << d;
    }
}

TEST(AdminPasswordReset, AsksAndLeavesATrace)
{
    TempDir tmp;
    std::string dir = demoDir(tmp);
    // Give the administrator a password.
    {
        qb::engine::Engine e;
        qb::engine::TTzDbf t("Pw", e);
        t.CreateIfNotFound = false;
        t.setDbfFileName(dir + "/qb3.dbf");
        ASSERT_TRUE(t.setActive(true));
        t.Go(1);
        ASSERT_TRUE(t.RLock());
        t.SetCField("password", "secret");
        t.Replace();
        t.UnLock();
        t.setActive(false);
    }
    int rc;
    std::string out = qbtool("reset-admin-password " + q(dir) + " </dev/null", &rc);
    EXPECT_EQ(rc, 1) << out;
    EXPECT_NE(out.find("not confirmed"), std::string::npos) << out;
    EXPECT_NE(qb::test::readFile(dir + "/qb3.dbf").find("secret"), std::string::npos);
    auto answering = [&](const char* answer) {
        return qb::test::runCommand(std::string("echo ") + answer + " | " + QB_QBTOOL + " reset-admin-password " + q(dir)
                                        + " 2>&1",
                                    &out);
    };
    EXPECT_EQ(answering("n"), 1) << out;
    EXPECT_NE(qb::test::readFile(dir + "/qb3.dbf").find("secret"), std::string::npos);
    EXPECT_EQ(answering("y"), 0) << out;
    EXPECT_EQ(qb::test::readFile(dir + "/qb3.dbf").find("secret"), std::string::npos);
    std::string ls;
    qb::test::runCommand("ls " + q(dir), &ls);
    auto pos = ls.find("LG");
    ASSERT_NE(pos, std::string::npos) << ls;
    std::string log = qbtool("dump --json " + q(dir + "/" + ls.substr(pos, 12)), &rc);
    EXPECT_NE(log.find("\"name\": \"Admin\", \"colname\": \"Password\", \"text\": \"reset with qbtool by "),
              std::string::npos)
        << log;
    out = qbtool("reset-admin-password " + q(dir) + " --yes </dev/null", &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("cleared"), std::string::npos) << out;
}
