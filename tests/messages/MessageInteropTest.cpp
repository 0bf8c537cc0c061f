// Message tables as another dBASE reader sees them: python3-dbfread reads
// what a station wrote, and an independent decoder in message_interop.py
// gets back the typed texts, scrambled or not, and every flag byte.
#include "messages/MessageStore.h"
#include "platform/EventLog.h"
#include "tests/support/TestSupport.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

using namespace qb;
using namespace qb::messages;

namespace {

const std::string kPython = "/usr/bin/python3";

struct Sent {
    std::string subject;
    std::vector<std::string> lines;
    std::uint8_t flags;
    bool scramble;
    const char* expected; // the JSON line the independent reader prints
};

} // namespace

TEST(MessageInterop, DbfreadReadsWhatStationsWrite)
{
    if (qb::test::runCommand(kPython + " -c 'import dbfread' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3-dbfread is not installed";
    qb::test::TempDir dir;
    engine::Engine e;
    test::FakeClock clock;
    platform::MemoryEventLog log;
    board::Station st(e, clock, log, dir.path(), dir.path());
    const std::vector<Sent> sent = {
        {"Plain", {"Call Mr Meier", "555 0142"}, 32, false,
         R"({"no": 0, "read": false, "fromid": 3, "time": "12/08/2026 9:05am", "from": "Anna Berger", "subj": "Plain", "flags": 32, "scrambled": false, "lines": ["Call Mr Meier", "555 0142"]})"},
        {"Scrambled", {"Geheimnis: Büro 4", "", "Zweite Zeile"}, 96, true,
         R"({"no": 1, "read": false, "fromid": 3, "time": "12/08/2026 9:05am", "from": "Anna Berger", "subj": "Scrambled", "flags": 96, "scrambled": true, "lines": ["Geheimnis: Büro 4", "", "Zweite Zeile"]})"},
        {"Out of office", {}, 0, true,
         R"({"no": 2, "read": false, "fromid": 3, "time": "12/08/2026 9:05am", "from": "Anna Berger", "subj": "Out of office", "flags": 0, "scrambled": true, "lines": [" "]})"},
        {"Undefined byte", {"x"}, 0x81, false,
         R"({"no": 3, "read": false, "fromid": 3, "time": "12/08/2026 9:05am", "from": "Anna Berger", "subj": "Undefined byte", "flags": 129, "scrambled": false, "lines": ["x"]})"},
        {"Stored plain", {"ok", "\xc2\xaa"}, 255, true,
         R"({"no": 4, "read": false, "fromid": 3, "time": "12/08/2026 9:05am", "from": "Anna Berger", "subj": "Stored plain", "flags": 255, "scrambled": false, "lines": ["ok", "ª"]})"},
    };
    for (const Sent& s : sent) {
        Message m;
        m.fromId = 3;
        m.from = "Anna Berger";
        m.time = "12/08/2026 9:05am";
        m.subject = s.subject;
        m.lines = s.lines;
        m.flags = s.flags;
        ASSERT_EQ(deliver(st, 9, prepareMessage(m, s.scramble, platform::CodePage::Cp437)), SendResult::Delivered);
    }
    std::string out;
    ASSERT_EQ(qb::test::runCommand(kPython + " " + QB_MESSAGES_TEST_DIR + "/message_interop.py read " +
                                       dir.file("msg9.dbf") + " 2>&1",
                                   &out),
              0)
        << out;
    std::string expected;
    for (const Sent& s : sent)
        expected += std::string(s.expected) + "\n";
    EXPECT_EQ(out, expected);
}
