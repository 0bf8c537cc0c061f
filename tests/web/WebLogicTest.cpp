#include "web/BoardHub.h"
#include "web/BoardReader.h"
#include "web/Poller.h"
#include "web/RateLimiter.h"
#include "web/WebServer.h"

#include "board/NamesTable.h"
#include "engine/RecordCommit.h"
#include "engine/TTzDbf.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

using namespace qb;
using qb::test::TempDir;
using namespace std::chrono_literals;

namespace {

struct Person {
    std::string name, remark, group;
    int colorCode;
    bool deleted = false;
};

void makeNamesTable(const std::string& dir, const std::vector<Person>& people)
{
    engine::Engine e;
    engine::TTzDbf t("Make", e);
    t.DbfFields = board::NamesTable::fieldList();
    t.setDbfFileName(dir + "/qb3.dbf");
    ASSERT_TRUE(t.setActive(true));
    ASSERT_TRUE(t.ALock());
    for (std::size_t i = 0; i <= people.size(); ++i) {
        t.ClearRecord();
        t.SetLongField("ident", static_cast<std::int64_t>(i));
        t.setText("name", i == 0 ? "Name" : people[i - 1].name);
        t.setText("remark", i == 0 ? "Remark" : people[i - 1].remark);
        t.setText("group", i == 0 ? "Group" : people[i - 1].group);
        t.setText("misc", i == 0 ? "Extension" : "");
        t.SetLongField("chgcntr", i == 0 ? 0 : people[i - 1].colorCode);
        // 2026-12-08 is day 46364; the stored unit is 51.84 s, so 14:05:30 stays within 14:05.
        t.SetRealField("time", engine::encodeStoredTime(46364.0 + (14 * 3600 + 5 * 60 + 30) / 86400.0));
        t.Append();
    }
    t.UnLock();
    for (std::size_t i = 0; i < people.size(); ++i) {
        if (!people[i].deleted)
            continue;
        t.Go(static_cast<std::int64_t>(i) + 2);
        ASSERT_TRUE(t.RLock());
        ASSERT_TRUE(t.Delete());
        t.UnLock();
    }
    t.setActive(false);
}

// Gives the table a last-write time of its own (seconds since 1970).
void touch(const std::string& path, long seconds)
{
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

web::Snapshot boardOf(std::vector<std::pair<int, std::string>> rows)
{
    web::Snapshot s;
    s.titles = {"Name", "Remark", "Group", "Misc", "Date/Time"};
    for (auto& [index, remark] : rows) {
        web::WebRow r;
        r.index = index;
        r.cells = {"P" + std::to_string(index), remark, "", "", ""};
        s.rows.push_back(r);
        s.order[0].push_back(index);
    }
    return s;
}

} // namespace

TEST(WebBoardReader, ShowsThePeopleInNameOrderWithTheirColoursAndNoDeletedOnes)
{
    TempDir data, mirror;
    makeNamesTable(data.path(), {{"zoe", "In", "Sales", 'l'},
                                 {"Bert", "Out", "Sales", 'r'},
                                 {"gone", "In", "Sales", 'y', true},
                                 {"anna", "Lunch", "Support", 0x92}, // packed: red 2, green 2, blue 2
                                 {"Anna", "In", "Sales", 'a'}});
    web::BoardReader reader(data.path(), mirror.path(), true);
    web::Snapshot s = reader.read();
    ASSERT_TRUE(s.ok()) << s.problems.front();

    std::vector<std::string> names;
    std::vector<int> indexes;
    for (const auto& r : s.rows) {
        names.push_back(r.cells[0]);
        indexes.push_back(r.index);
    }
    EXPECT_EQ(names, (std::vector<std::string> {"anna", "Anna", "Bert", "zoe"}));
    EXPECT_EQ(indexes, (std::vector<int> {4, 5, 2, 1}));
    EXPECT_EQ(s.rows[0].remarkBackground, (board::Rgb {72, 72, 144}));
    EXPECT_EQ(s.rows[1].remarkBackground, (board::Rgb {0, 255, 255}));
    EXPECT_EQ(s.rows[2].remarkBackground, (board::Rgb {255, 0, 0}));
    EXPECT_EQ(s.rows[3].remarkBackground, (board::Rgb {0, 255, 0}));
    EXPECT_EQ(s.rows[3].cells[4], "2026-12-08 14:05");
    EXPECT_EQ(s.titles, (std::array<std::string, 5> {"Name", "Remark", "Group", "Extension", "Date/Time"}));
    EXPECT_EQ(s.groups, (std::vector<std::string> {"Sales", "Support"}));
    EXPECT_EQ(s.order[1], (std::vector<int> {1, 5, 4, 2})); // by remark; the two "In" in board order
}

TEST(WebPoller, ReadsTheTableOnlyWhenItsLastWriteTimeMovesAndRetriesWhileItCannot)
{
    TempDir data, mirror;
    makeNamesTable(data.path(), {{"Anna", "In", "Sales", 'l'}});
    const std::string table = data.file("qb3.dbf");
    touch(table, 1000);
    web::BoardReader reader(data.path(), mirror.path(), false);
    web::BoardHub hub;
    web::Poller poller(reader, hub);
    auto t0 = web::Poller::Clock::now();

    struct Step {
        std::chrono::milliseconds at;
        std::function<void()> change;
        bool reads;
        bool ok;
    };
    const std::vector<Step> steps = {
        {0ms, [] {}, true, true},                                      // the first poll reads
        {500ms, [] {}, false, true},                                   // nothing moved
        {1000ms, [&] { touch(table, 1001); }, true, true},             // a station wrote
        {1500ms, [&] { ::rename(table.c_str(), (table + "x").c_str()); }, true, false}, // gone
        {2000ms, [] {}, false, false},                                 // still gone, not yet retried
        {6500ms, [] {}, true, false},                                  // retried while in trouble
        {7000ms, [&] { ::rename((table + "x").c_str(), table.c_str()); }, true, true}, // back
        {12000ms, [] {}, false, true},                                 // fine again: no retries
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        steps[i].change();
        EXPECT_EQ(poller.tick(t0 + steps[i].at), steps[i].reads) << "step " << i;
        ASSERT_TRUE(hub.current());
        EXPECT_EQ(hub.current()->ok(), steps[i].ok) << "step " << i;
    }
}

TEST(WebBoardHub, APageOneStepBehindGetsTheChangedRowsAnyOtherTheWholeBoard)
{
    web::BoardHub hub;
    std::uint64_t fresh = 0, behind = 0, late = 0;
    web::StreamMessage m;

    EXPECT_TRUE(hub.publish(boardOf({{1, "In"}, {2, "Out"}})));
    ASSERT_TRUE(hub.next(behind, 0ms, m));
    EXPECT_EQ(m.event, "board");
    ASSERT_TRUE(hub.next(late, 0ms, m));
    EXPECT_FALSE(hub.publish(boardOf({{1, "In"}, {2, "Out"}}))); // same board: nobody is woken

    ASSERT_TRUE(hub.publish(boardOf({{1, "In"}, {2, "Lunch"}})));
    ASSERT_TRUE(hub.next(behind, 0ms, m));
    EXPECT_EQ(m.event, "rows");
    EXPECT_NE(m.data->find("\"remark\":\"Lunch\""), std::string::npos);
    EXPECT_EQ(m.data->find("\"P1\""), std::string::npos) << *m.data;
    ASSERT_TRUE(hub.next(behind, 0ms, m));
    EXPECT_EQ(m.event, "") << "nothing new: a keep-alive";

    ASSERT_TRUE(hub.publish(boardOf({{1, "In"}})));
    ASSERT_TRUE(hub.next(late, 0ms, m)); // missed a step
    EXPECT_EQ(m.event, "board");
    ASSERT_TRUE(hub.next(fresh, 0ms, m)); // just connected
    EXPECT_EQ(m.event, "board");

    web::Snapshot broken;
    broken.problems = {"Error reading /d/qb3.dbf"};
    ASSERT_TRUE(hub.publish(broken));
    ASSERT_TRUE(hub.next(behind, 0ms, m));
    EXPECT_EQ(m.event, "problem");
    ASSERT_TRUE(hub.publish(boardOf({{1, "In"}})));
    ASSERT_TRUE(hub.next(behind, 0ms, m));
    EXPECT_EQ(m.event, "board") << "after a problem the whole board";

    hub.stop();
    EXPECT_FALSE(hub.next(behind, 1000ms, m));
}

TEST(WebRateLimiter, EachAddressHasItsBurstAndRefillsAtTheRate)
{
    web::RateLimiter limiter(2.0, 3.0);
    auto t0 = web::RateLimiter::Clock::now();
    struct Step {
        const char* address;
        std::chrono::milliseconds at;
        bool allowed;
    };
    const Step steps[] = {
        {"a", 0ms, true}, {"a", 0ms, true}, {"a", 0ms, true}, {"a", 0ms, false}, // burst of 3
        {"b", 0ms, true},                                                        // another address
        {"a", 400ms, false},                                                     // 0.8 tokens
        {"a", 500ms, true},  {"a", 500ms, false},                                // one per 500 ms
        {"a", 10000ms, true}, {"a", 10000ms, true}, {"a", 10000ms, true}, {"a", 10000ms, false}, // never above the burst
    };
    for (std::size_t i = 0; i < std::size(steps); ++i)
        EXPECT_EQ(limiter.allow(steps[i].address, t0 + steps[i].at), steps[i].allowed) << "step " << i;
}

TEST(WebEscaping, TableTextStaysTextInHtmlAndJson)
{
    struct Case {
        std::string in, html, json;
    };
    const Case cases[] = {
        {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;",
         "\"\\u003cscript\\u003ealert(1)\\u003c/script\\u003e\""},
        {"Tom & \"Jerry\" 'x'", "Tom &amp; &quot;Jerry&quot; &#39;x&#39;", "\"Tom \\u0026 \\\"Jerry\\\" 'x'\""},
        {"a\\b\nc\x01", "a\\b\nc\x01", "\"a\\\\b\\nc\\u0001\""},
        {"Jürgen", "Jürgen", "\"Jürgen\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(web::htmlEscape(c.in), c.html);
        EXPECT_EQ(web::jsonString(c.in), c.json);
    }
    std::string page = web::errorPage({"Error reading /d/<b>qb3.dbf"}, "/d/<i>");
    EXPECT_NE(page.find("/d/&lt;b&gt;qb3.dbf"), std::string::npos);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_EQ(page.find("<i>"), std::string::npos);
}
