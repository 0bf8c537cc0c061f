#include "engine/TTzDbf.h"
#include "messages/MessageCheck.h"
#include "messages/MessageStore.h"
#include "platform/EventLog.h"
#include "platform/FileOps.h"
#include "tests/support/TestSupport.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace qb;
using namespace qb::messages;
using qb::test::TempDir;

namespace {

struct MailStation {
    engine::Engine engine;
    test::FakeClock clock;
    platform::MemoryEventLog log;
    board::Station station;
    std::vector<std::vector<std::string>> alerts;
    explicit MailStation(const std::string& dir) : station(engine, clock, log, dir, dir)
    {
        station.pause = [](std::chrono::milliseconds) {};
        station.alert = [this](const std::vector<std::string>& l) { alerts.push_back(l); };
    }
};

std::vector<StoredMessage> readAll(MailStation& s, int index)
{
    engine::TTzDbf t("QBRead", s.engine);
    std::vector<StoredMessage> all;
    if (!openMailbox(t, s.station, index, false))
        return all;
    for (t.GoTop(); !t.dEOF(); t.Skip(1))
        all.push_back(readMessage(t));
    return all;
}

std::vector<std::string> storedLines(MailStation& s, int index, std::int64_t recNo)
{
    engine::TTzDbf t("QBRaw", s.engine);
    std::vector<std::string> lines;
    if (openMailbox(t, s.station, index, false)) {
        t.Go(recNo);
        t.GetMField("msg", lines);
    }
    return lines;
}

Message note(std::vector<std::string> lines, std::uint8_t flags = flag::kOrdinary)
{
    Message m;
    m.fromId = 2;
    m.from = "Anna Berger";
    m.subject = "Call back";
    m.time = "12/08/2026 9:05am";
    m.flags = flags;
    m.lines = std::move(lines);
    return m;
}

} // namespace

// Every flag byte goes through the code-page conversion into the table and
// reads back as written, including 0 (out of office, nothing ticked) and the
// bytes Windows-1252 leaves undefined.
TEST(MessageFlags, AllByteValuesRoundTripThroughTheTable)
{
    TempDir dir;
    MailStation s(dir.path());
    for (int f = 0; f < 256; ++f) {
        Message m = note({"x"}, static_cast<std::uint8_t>(f));
        ASSERT_EQ(deliver(s.station, 4, prepareMessage(m, false, platform::CodePage::Cp437), kMultipleSend),
                  SendResult::Delivered);
    }
    auto all = readAll(s, 4);
    ASSERT_EQ(all.size(), 256u);
    for (int f = 0; f < 256; ++f) {
        EXPECT_EQ(all[static_cast<std::size_t>(f)].flags, f);
        EXPECT_EQ(all[static_cast<std::size_t>(f)].no, f) << "record count before the append";
    }
    // The byte a Windows station writes for a character both pages hold.
    EXPECT_EQ(flagChar(0xE9, platform::CodePage::Cp437), "\x82"); // e acute
    EXPECT_EQ(flagChar(flag::kOrdinary, platform::CodePage::Cp437), " ");
}

struct TextCase {
    const char* name;
    std::vector<std::string> lines; // typed
    bool scrambleOption;
    bool storedScrambled;
    std::vector<std::string> shown; // what a reader shows
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class MessageTextStorage : public ::testing::TestWithParam<TextCase> {};

TEST_P(MessageTextStorage, ReaderShowsWhatWasTyped)
{
    const TextCase& c = GetParam();
    TempDir dir;
    MailStation s(dir.path());
    ASSERT_EQ(deliver(s.station, 7, prepareMessage(note(c.lines), c.scrambleOption, platform::CodePage::Cp437)),
              SendResult::Delivered);
    auto all = readAll(s, 7);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].scrambled, c.storedScrambled);
    EXPECT_EQ(all[0].lines, c.shown);
    auto raw = storedLines(s, 7, 1);
    ASSERT_FALSE(raw.empty());
    EXPECT_EQ(raw[0][0] == '\x7f', c.storedScrambled);
    if (c.storedScrambled && c.lines.size() > 0 && !c.lines[0].empty()) {
        EXPECT_NE(raw[0].substr(1, 1), c.lines[0].substr(0, 1)) << "the text is not stored in clear";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MessageTextStorage,
    ::testing::Values(
        TextCase{"PlainText", {"Please call Mr Meier", "555 0142"}, false, false, {"Please call Mr Meier", "555 0142"}},
        TextCase{"Scrambled", {"Please call Mr Meier", "", "555 0142 \xc3\xa9t\xc3\xa9"}, true, true,
                 {"Please call Mr Meier", "", "555 0142 \xc3\xa9t\xc3\xa9"}},
        TextCase{"EmptyTextIsOneBlank", {}, false, false, {" "}},
        TextCase{"EmptyScrambledText", {""}, true, true, {" "}},
        // U+00AA at an even position scrambles into 0x0D, which would split the line.
        TextCase{"WouldSplitALine", {"ok", "\xc2\xaa"}, true, false, {"ok", "\xc2\xaa"}},
        // U+00C9 at an odd position scrambles into 0x1A, which ends the memo.
        TextCase{"WouldEndTheMemo", {"x\xc3\x89"}, true, false, {"x\xc3\x89"}},
        // "K" then U+00D9 scramble into 0x8D 0x0A, a soft line break; stored
        // plainly, the letter the code page lacks becomes '?' as on Windows.
        TextCase{"WouldBreakSoftly", {"KU", "K\xc3\x99"}, true, false, {"KU", "K?"}},
        // The marked first line would come back split, one byte off the key.
        TextCase{"FirstLineTooLong", {std::string(254, 'a')}, true, false,
                 {std::string(254, 'a')}},
        TextCase{"LongLaterLine", {"a", std::string(200, 'b')}, true, true, {"a", std::string(200, 'b')}},
        // A first character 127 typed by hand is taken for the marker.
        TextCase{"TypedMarker", {"\x7f" "ab"}, false, true, {"\xc3\x86\xc2\xb1"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ProbeCase {
    const char* name;
    int records;
    std::vector<int> unread;  // record numbers left unread
    std::vector<int> deleted; // record numbers deleted
    int checksUntilFound;     // 0: never within 12 checks
    int found;
};

void PrintTo(const ProbeCase& c, std::ostream* os) { *os << c.name; }

class UnreadProbing : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(UnreadProbing, FindsOlderUnreadMessagesReadingAtMostTwoRecords)
{
    const ProbeCase& c = GetParam();
    TempDir dir;
    MailStation s(dir.path());
    UnreadProbe probe;
    EXPECT_EQ(probe.probe(s.station, 5), -1) << "no table";
    for (int i = 1; i <= c.records; ++i) {
        Message m = note({"m" + std::to_string(i)});
        m.read = std::find(c.unread.begin(), c.unread.end(), i) == c.unread.end();
        ASSERT_TRUE(appendMessage(s.station, 5, m));
    }
    if (!c.deleted.empty()) {
        engine::TTzDbf t("QBDel", s.engine);
        ASSERT_TRUE(openMailbox(t, s.station, 5, false));
        for (int r : c.deleted) {
            t.Go(r);
            ASSERT_TRUE(t.RLock());
            t.dataSet().Delete();
            t.UnLock();
        }
    }
    int checks = 0, result = 0;
    while (checks < 12 && result != 1) {
        result = probe.probe(s.station, 5);
        ++checks;
        EXPECT_LE(probe.recordsRead, 2);
        if (c.records == 0) {
            EXPECT_EQ(result, -1);
        }
    }
    if (c.checksUntilFound == 0) {
        EXPECT_NE(result, 1);
        return;
    }
    EXPECT_EQ(result, 1);
    EXPECT_EQ(checks, c.checksUntilFound);
    EXPECT_EQ(probe.foundRecNo, c.found);
}

INSTANTIATE_TEST_SUITE_P(Tables, UnreadProbing,
                         ::testing::Values(ProbeCase{"EmptyTable", 0, {}, {}, 0, 0},
                                           ProbeCase{"LastUnread", 4, {4}, {}, 1, 4},
                                           ProbeCase{"AllRead", 4, {}, {}, 0, 0},
                                           ProbeCase{"FifthFromTheEnd", 10, {5}, {}, 6, 5},
                                           ProbeCase{"FirstOfThree", 3, {1}, {}, 3, 1},
                                           ProbeCase{"DeletedUnreadIsNotNew", 3, {3}, {3}, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Mailbox, DamagedAtLoginIsReportedAndRemovingLeavesNoFile)
{
    TempDir dir;
    MailStation s(dir.path());
    { std::ofstream(dir.file("msg3.dbf")) << "abc"; }
    EXPECT_EQ(checkMailboxAtLogin(s.station, 3), "msg3.dbf Database file not found ");
    EXPECT_TRUE(s.log.contains("Message file msg3.dbf damaged"));
    ASSERT_EQ(s.alerts.size(), 1u);
    EXPECT_EQ(s.alerts[0], (std::vector<std::string>{"ERROR: Message file msg3.dbf", "is damaged."}));

    ASSERT_TRUE(appendMessage(s.station, 4, note({"hi"})));
    EXPECT_EQ(checkMailboxAtLogin(s.station, 4), "");
    EXPECT_EQ(countMessages(s.station, 4), 1);
    EXPECT_EQ(countMessages(s.station, 9), -1);
    ASSERT_EQ(::rename(dir.file("msg4.dbt").c_str(), dir.file("MSG4.DBT").c_str()), 0);
    EXPECT_TRUE(deleteMailbox(dir.path(), 4));
    EXPECT_FALSE(platform::fileExists(dir.file("msg4.dbf")));
    EXPECT_FALSE(platform::fileExists(dir.file("MSG4.DBT")));
    EXPECT_TRUE(deleteMailbox(dir.path(), 4)) << "nothing left to remove";
}

struct CheckCase {
    const char* name;
    MessageCheck::Tick tick;
    int counterBefore;
    bool unread;
    bool checked;
    bool bringForward;
    int alertAfter;
    int counterAfter;
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class NewMessageCheck : public ::testing::TestWithParam<CheckCase> {};

TEST_P(NewMessageCheck, OneTick)
{
    const CheckCase& c = GetParam();
    TempDir dir;
    MailStation s(dir.path());
    Message m = note({"hello"});
    m.read = !c.unread;
    ASSERT_TRUE(appendMessage(s.station, 6, m));
    MessageCheck check;
    check.counter = c.counterBefore;
    const MessageCheck::Effects e = check.tick(s.station, c.tick);
    EXPECT_EQ(e.checked, c.checked);
    EXPECT_EQ(e.found, c.checked && c.unread);
    EXPECT_EQ(e.playSound, e.found && c.tick.sound);
    EXPECT_EQ(e.bringForward, c.bringForward);
    EXPECT_EQ(check.alertState, c.alertAfter);
    EXPECT_EQ(check.counter, c.counterAfter);
}

MessageCheck::Tick tickFor(int own, bool toFront = false, bool disabled = false, bool admin = false)
{
    MessageCheck::Tick t;
    t.ownIndex = own;
    t.interval = 10;
    t.toFront = toFront;
    t.sound = true;
    t.messagesDisabled = disabled;
    t.adminMode = admin;
    return t;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, NewMessageCheck,
    ::testing::Values(CheckCase{"NotYetDue", tickFor(6), 5, true, false, false, alert::kNone, 6},
                      CheckCase{"DueAndFoundBlinks", tickFor(6), 10, true, true, false, alert::kBlinking, 0},
                      CheckCase{"DueWithOption7ComesForward", tickFor(6, true), 10, true, true, true,
                                alert::kBlinking, 0},
                      CheckCase{"DueNothingNew", tickFor(6), 10, false, true, false, alert::kNone, 0},
                      // Brought down by 491 (not up by one), which still lies past the interval.
                      CheckCase{"FarAheadComesDownThenChecks", tickFor(6), 600, true, true, false, alert::kBlinking, 0},
                      CheckCase{"MessagesDisabled", tickFor(6, true, true), 10, true, false, false, alert::kNone, 10},
                      CheckCase{"AdministratorNeverChecks", tickFor(6, true, false, true), 10, true, false, false,
                                alert::kNone, 10},
                      CheckCase{"LoggedOut", tickFor(-1), 10, true, false, false, alert::kNone, 10}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NewMessageCheck, LoginSchedulesTheFirstCheckSoon)
{
    MessageCheck c;
    c.atLogin(180); // 5/6 would be 150, more than 20 before the interval
    EXPECT_EQ(c.counter, 160);
    c.atLogin(60);
    EXPECT_EQ(c.counter, 50);
}
