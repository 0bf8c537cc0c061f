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
    while (qb::test::readFile(args[2]) != "stop")
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
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
    while (qb::test::readFile(flag) != "ready")
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::string locked = qbtool("set-remark " + q(dir) + " 'grace okafor' In", &rc);
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
