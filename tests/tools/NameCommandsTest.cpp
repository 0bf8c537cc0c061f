// qbtool's name administration run as a script would: the real program on a
// demo data directory, its exit status, its words and the tables after it.
#include "engine/Engine.h"
#include "engine/TTzDbf.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using qb::test::TempDir;

namespace {

std::string qbtool(const std::string& args, int* status)
{
    std::string out;
    *status = qb::test::runCommand(std::string(QB_QBTOOL) + " " + args + " 2>&1", &out);
    return out;
}

// "name|password|deleted" of the record at a board index.
std::string row(const std::string& dir, int index)
{
    qb::engine::Engine e;
    qb::engine::TTzDbf t("Row", e);
    t.CreateIfNotFound = false;
    t.setDbfFileName(dir + "/qb3.dbf");
    if (!t.setActive(true))
        return "?";
    t.Go(index + 1);
    return t.getText("name") + "|" + t.getText("password") + "|" + (t.Deleted() ? "deleted" : "live");
}

std::string option(const std::string& dir, int ident, int n)
{
    qb::engine::Engine e;
    qb::engine::TTzDbf t("Opt", e);
    t.CreateIfNotFound = false;
    t.setDbfFileName(dir + "/qb3cfg3.dbf");
    if (!t.setActive(true))
        return "?";
    for (t.GoTop(); !t.dEOF(); t.Skip(1))
        if (t.GetLongField("ident") == ident)
            return std::string(t.GetLField("value" + std::to_string(n)) ? "on" : "off") + "/" +
                   (t.GetLField("usercan" + std::to_string(n)) ? "on" : "off");
    return "none";
}

} // namespace

// Each step runs on the state the steps before it left.
TEST(ScriptedNameAdministration, CommandsInSequence)
{
    TempDir tmp;
    const std::string dir = tmp.file("demo");
    int rc;
    qbtool("init " + dir + " --demo", &rc);
    ASSERT_EQ(rc, 0);
    {
        // Anna Berger (index 1) has a password to reset.
        qb::engine::Engine e;
        qb::engine::TTzDbf t("Pwd", e);
        t.CreateIfNotFound = false;
        t.setDbfFileName(dir + "/qb3.dbf");
        ASSERT_TRUE(t.setActive(true));
        t.Go(2);
        t.SetCField("password", "=xyz!");
        ASSERT_TRUE(t.RLock());
        t.Replace();
        t.Flush();
        t.UnLock();
    }
    struct Step {
        std::string args;
        int status;
        const char* says;
        int index;          // board index to look at afterwards
        const char* row;    // its record afterwards ("" skips)
    };
    const Step steps[] = {
        {"rename " + dir + " 'anna berger' 'Anna Lund'", 0, "Anna Berger is now Anna Lund (board index 1)", 1,
         "Anna Lund|=xyz!|live"},
        {"rename " + dir + " 'Anna Lund' 'mei lin'", 2, "is on the board already", 1, "Anna Lund|=xyz!|live"},
        {"rename " + dir + " 'Anna Lund' Admin", 2, "administrator's record", 1, "Anna Lund|=xyz!|live"},
        {"rename " + dir + " Nobody X", 3, "no person named \"Nobody\"", 1, ""},
        {"rename " + dir + " 'Anna Lund'", 2, "usage: qbtool rename DIR OLD NEW", 1, ""},
        {"reset-password " + dir + " 'ANNA LUND'", 0, "Anna Lund: password blank", 1, "Anna Lund||live"},
        {"remove-name " + dir + " 'Anna Lund'", 0, "Anna Lund removed from board index 1", 1, "||deleted"},
        {"remove-name " + dir + " 'Anna Lund'", 3, "no person named", 1, "||deleted"},
        {"reset-password " + dir + " 'Anna Lund'", 3, "no person named", 1, ""},
        {"remove-name " + tmp.file("none") + " X", 5, "holds no qb3.dbf", 1, ""},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.args);
        std::string out = qbtool(s.args, &rc);
        EXPECT_EQ(rc, s.status) << out;
        EXPECT_NE(out.find(s.says), std::string::npos) << out;
        if (*s.row) {
            EXPECT_EQ(row(dir, s.index), s.row);
        }
    }
    std::string out = qbtool("check " + dir, &rc);
    EXPECT_EQ(rc, 0) << out;
}

TEST(ScriptedNameAdministration, SetOptionAndRight)
{
    TempDir tmp;
    const std::string dir = tmp.file("demo");
    int rc;
    qbtool("init " + dir + " --demo", &rc);
    ASSERT_EQ(rc, 0);
    struct Step {
        std::string args;
        int status;
        const char* says;
        int ident, n;
        const char* stored; // "value/right" afterwards
    };
    const Step steps[] = {
        {"'Mei Lin' 13 on", 0, "Mei Lin: option 13 (Log remark changes) on, right on", 5, 13, "on/on"},
        {"'mei lin' 13 off --right off", 0, "option 13 (Log remark changes) off, right off", 5, 13, "off/off"},
        {"'Mei Lin' 1 on --right on", 0, "right on", 5, 1, "on/on"},
        {"Admin 22 on --right off", 0, "Admin: option 22 (Enable message encryption) on, right off", 0, 22, "on/off"},
        {"'Mei Lin' 24 on", 2, "option number from 1 to 23", 5, 13, "off/off"},
        {"'Mei Lin' 13 yes", 2, "followed by on or off", 5, 13, "off/off"},
        {"'Mei Lin' 13 on --right maybe", 2, "--right takes on or off", 5, 13, "off/off"},
        {"Nobody 13 on", 3, "no person named", 5, 13, "off/off"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.args);
        std::string out = qbtool("set-option " + dir + " " + s.args, &rc);
        EXPECT_EQ(rc, s.status) << out;
        EXPECT_NE(out.find(s.says), std::string::npos) << out;
        EXPECT_EQ(option(dir, s.ident, s.n), s.stored);
    }

    // Another station holds Mei Lin's options record: the tool waits as long
    // as asked, then says so and changes nothing.
    qb::engine::Engine e;
    qb::engine::TTzDbf t("Hold", e);
    t.CreateIfNotFound = false;
    t.setDbfFileName(dir + "/qb3cfg3.dbf");
    ASSERT_TRUE(t.setActive(true));
    for (t.GoTop(); !t.dEOF() && t.GetLongField("ident") != 5; t.Skip(1)) {
    }
    ASSERT_TRUE(t.RLock());
    std::string out = qbtool("set-option " + dir + " 'Mei Lin' 13 on --wait 0.3", &rc);
    EXPECT_EQ(rc, 4) << out;
    EXPECT_NE(out.find("stayed locked by another station"), std::string::npos) << out;
    out = qbtool("rename " + dir + " 'Mei Lin' 'Mei Lin-Weber' --wait 0", &rc);
    EXPECT_EQ(rc, 0) << "the names table is not held: " << out;
    t.UnLock();
    t.setActive(false);
    EXPECT_EQ(option(dir, 5, 13), "off/off");
}
