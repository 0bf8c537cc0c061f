#include "admin/RemarkList.h"
#include "engine/Engine.h"
#include "engine/TTzDbf.h"
#include "engine/TTzSession.h"
#include "tests/support/ScriptedPromptService.h"
#include "platform/FileOps.h"
#include "tests/support/TestSupport.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

using namespace qb;
using admin::RemarkEntry;
using admin::RemarkList;
using qb::test::TempDir;

namespace {

struct StoredRemark {
    std::string c;
    int position;
    int type;
    std::string text;
    bool deleted = false;
};

void writeRemarks(const std::string& path, const std::vector<StoredRemark>& rows)
{
    engine::Engine e;
    engine::TTzDbf t("MakeRem", e);
    t.DbfFields = admin::remarkFieldList();
    t.setDbfFileName(path);
    ASSERT_TRUE(t.setActive(true));
    ASSERT_TRUE(t.ALock());
    for (const auto& r : rows) {
        t.ClearRecord();
        t.SetCField("c", r.c);
        t.SetLongField("position", r.position);
        t.SetLongField("type", r.type);
        t.setText("text", r.text);
        t.Append();
        ASSERT_EQ(e.lastError(), 0) << e.lastErrorText();
    }
    t.Flush();
    t.UnLock();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!rows[i].deleted)
            continue;
        t.Go(static_cast<std::int64_t>(i + 1));
        ASSERT_TRUE(t.RLock());
        e.DeleteRec();
        t.UnLock();
    }
    t.setActive(false);
}

std::vector<StoredRemark> readRemarks(const std::string& path)
{
    engine::Engine e;
    engine::TTzDbf t("ReadRem", e);
    t.CreateIfNotFound = false;
    t.setDbfFileName(path);
    std::vector<StoredRemark> out;
    if (!t.setActive(true))
        return out;
    for (std::int64_t r = 1; r <= t.RecCount(); ++r) {
        t.Go(r);
        out.push_back({t.GetCField("c"), static_cast<int>(t.GetLongField("position")),
                       static_cast<int>(t.GetLongField("type")), t.getText("text"), t.Deleted()});
    }
    return out;
}

std::vector<StoredRemark> standardRows()
{
    return {{"l", 1, 1, "In"},        {"f", 2, 2, "in but unavailable"}, {"r", 3, 3, "Out"},
            {"y", 4, 4, "  0<custom remark>"}, {"w", 5, 5, "at lunch"}, {"y", 6, 6, "Back at <time>"}};
}

std::vector<std::string> texts(const RemarkList& l)
{
    std::vector<std::string> out;
    for (const auto& e : l.entries())
        out.push_back(e.text);
    return out;
}

platform::Clock::TimePoint at(int year, int month, int day, int hour, int minute)
{
    return platform::fromLocal(qb::test::localTime(year, month, day, hour, minute));
}

class RemarkListTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("remarks.dbf");
    engine::Engine engine;
    test::FakeClock clock {at(2026, 3, 14, 14, 5)};
    qb::testing::ScriptedPromptService prompts;
    admin::Options options;
};

// --- loading -----------------------------------------------------------------

using RemarkLoading = RemarkListTest;

TEST_F(RemarkLoading, EntriesFollowPositionsAndSetTheBoardTexts)
{
    writeRemarks(path, {{"y", 3, 3, "Gone"}, {"a", 1, 1, "Here"}, {"w", 4, 0, "Meeting"}, {"f", 2, 2, "Busy"}});
    RemarkList list(engine, path);
    EXPECT_TRUE(list.load());
    EXPECT_EQ(texts(list), (std::vector<std::string> {"Here", "Busy", "Gone", "Meeting"}));
    EXPECT_EQ(list.inText(), "Here");
    EXPECT_EQ(list.unavailableText(), "Busy");
    EXPECT_EQ(list.outText(), "Gone");
    EXPECT_EQ(list.inColor(), 'a');
    EXPECT_EQ(list.outColor(), 'y');
    EXPECT_FALSE(list.isFallback());
    EXPECT_FALSE(list.changed());
}

TEST_F(RemarkLoading, PositionsOutsideTheTableAndDeletedRecordsLeaveNoEmptyLines)
{
    writeRemarks(path, {{"l", 1, 1, "In"}, {"r", 9, 3, "Out far away"}, {"w", 2, 0, "lunch"},
                        {"w", 3, 0, "deleted one", true}, {"w", 0, 0, "no place"}});
    RemarkList list(engine, path);
    list.load();
    EXPECT_EQ(texts(list), (std::vector<std::string> {"In", "lunch"}));
    // The Out text comes from the record even though its place is invalid.
    EXPECT_EQ(list.outText(), "Out far away");
}

TEST_F(RemarkLoading, UnreadableTableGivesTheMarkedFallbackUntilLeft)
{
    qb::test::writeFile(path, "this is not a table at all, just some bytes");
    RemarkList list(engine, path);
    EXPECT_FALSE(list.load());
    ASSERT_EQ(list.count(), 9);
    EXPECT_TRUE(list.isFallback());
    EXPECT_EQ(list.entries()[8].text, "Error reading remarks.dbf");
    EXPECT_EQ(list.entries()[8].color, 'f');
    EXPECT_EQ(list.entries()[5].text, "Back at <time>");

    EXPECT_TRUE(list.clearIfErrorMarked());
    EXPECT_TRUE(list.empty());

    // Once the table is readable the next opening uses it.
    std::remove(path.c_str());
    writeRemarks(path, standardRows());
    list.ensureLoaded();
    EXPECT_EQ(list.count(), 6);
    EXPECT_FALSE(list.clearIfErrorMarked());
    EXPECT_EQ(list.count(), 6);
}

TEST_F(RemarkLoading, MissingTableIsNotCreated)
{
    RemarkList list(engine, path);
    EXPECT_FALSE(list.load());
    EXPECT_TRUE(list.isFallback());
    EXPECT_FALSE(platform::fileExists(path));
}

TEST_F(RemarkLoading, EmptyTableGivesTheFallbackWithTheCurrentBoardTexts)
{
    writeRemarks(path, {{"a", 1, 1, "Present"}, {"y", 2, 3, "Away"}});
    RemarkList list(engine, path);
    list.load();
    std::remove(path.c_str());
    writeRemarks(path, {});
    list.load();
    ASSERT_TRUE(list.isFallback());
    EXPECT_EQ(list.entries()[0].text, "Present");
    EXPECT_EQ(list.entries()[0].color, 'a');
    EXPECT_EQ(list.entries()[2].text, "Away");
    EXPECT_EQ(list.entries()[2].type, 3);
}

TEST_F(RemarkLoading, SaverIndexInFrontOfCustomTextsIsTakenOff)
{
    writeRemarks(path, {{"y", 1, 4, "  0<custom remark>"}, {"y", 2, 4, "12 Call me"}, {"w", 3, 5, "  0 stays"},
                        {"y", 4, 4, "x12 keeps"}});
    RemarkList list(engine, path);
    list.load();
    EXPECT_EQ(texts(list), (std::vector<std::string> {"<custom remark>", "Call me", "  0 stays", "x12 keeps"}));
}

// --- placeholders ------------------------------------------------------------------

using RemarkPlaceholders = RemarkListTest;

TEST_F(RemarkPlaceholders, BackAtTimeAsksForATime)
{
    prompts.answerTime(QStringLiteral(" 02:00 pm"));
    auto r = RemarkList::expandPlaceholders(QStringLiteral("Back at <time>"), clock, prompts, false);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.text, QStringLiteral("Back at  02:00 pm"));
    ASSERT_EQ(prompts.questions().size(), 1u);
    EXPECT_EQ(prompts.questions()[0].kind, qb::testing::ScriptedPromptService::Kind::Time);
}

TEST_F(RemarkPlaceholders, CancelledPromptFailsAndAsksNoMore)
{
    prompts.answerTime(std::nullopt);
    prompts.answerDate(46100.0);
    auto r = RemarkList::expandPlaceholders(QStringLiteral("From <time> until <date>"), clock, prompts, false);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(prompts.questions().size(), 1u);
    EXPECT_EQ(prompts.pendingAnswers(), 1u);
}

TEST_F(RemarkPlaceholders, BracesGiveTimeDateAndDayFromTheClock)
{
    auto r = RemarkList::expandPlaceholders(QStringLiteral("{time} meeting in room 4"), clock, prompts, false);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.text, QStringLiteral("2:05 PM meeting in room 4"));
    r = RemarkList::expandPlaceholders(QStringLiteral("Left {TIME} on {Date}, a {day}"), clock, prompts, false);
    EXPECT_EQ(r.text, QStringLiteral("Left 2:05 PM on 3/14/2026, a Saturday"));
    EXPECT_TRUE(prompts.questions().empty());
}

TEST_F(RemarkPlaceholders, WordBeforeTheBracesDoesNotHideThem)
{
    auto r = RemarkList::expandPlaceholders(QStringLiteral("Lunch time until {time}"), clock, prompts, false);
    EXPECT_EQ(r.text, QStringLiteral("Lunch time until 2:05 PM"));
}

TEST_F(RemarkPlaceholders, OnlyTheFirstBracePairCounts)
{
    // The first pair holds none of the words, so nothing is filled in.
    auto r = RemarkList::expandPlaceholders(QStringLiteral("{room} at {time}"), clock, prompts, false);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.text, QStringLiteral("{room} at {time}"));
}

TEST_F(RemarkPlaceholders, DatePromptFormatFollowsOptionFourteen)
{
    const double day = platform::toDateTime(platform::toLocal(at(2026, 1, 5, 9, 0)));
    prompts.answerDate(day);
    prompts.answerDate(day);
    auto us = RemarkList::expandPlaceholders(QStringLiteral("On trip until <date>"), clock, prompts, false);
    auto intl = RemarkList::expandPlaceholders(QStringLiteral("On trip until <date>"), clock, prompts, true);
    EXPECT_EQ(us.text, QStringLiteral("On trip until  Jan 05, 2026 "));
    EXPECT_EQ(intl.text, QStringLiteral("On trip until 2026/01/05"));
}

TEST_F(RemarkPlaceholders, OtherWordsAskForTextUnderCustomizeRemark)
{
    prompts.answerText(QStringLiteral("Head office"));
    prompts.answerText(QString());
    auto r = RemarkList::expandPlaceholders(QStringLiteral("On business at <place><note>"), clock, prompts, false);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.text, QStringLiteral("On business at Head office"));
    ASSERT_EQ(prompts.questions().size(), 2u);
    EXPECT_EQ(prompts.questions()[0].caption, QStringLiteral("Customize Remark"));
    EXPECT_EQ(prompts.questions()[0].prompt, QStringLiteral("Enter place"));
    EXPECT_EQ(prompts.questions()[1].prompt, QStringLiteral("Enter note"));
}

TEST_F(RemarkPlaceholders, AnswersHoldingPlaceholdersStopAfterSevenPasses)
{
    for (int i = 0; i < 10; ++i)
        prompts.answerText(QStringLiteral("<again>"));
    auto r = RemarkList::expandPlaceholders(QStringLiteral("<start>"), clock, prompts, false);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(prompts.questions().size(), 7u);
    EXPECT_EQ(r.text, QStringLiteral("<again>"));
}

// --- picking ---------------------------------------------------------------------------

using RemarkPick = RemarkListTest;

TEST_F(RemarkPick, OutEntryGivesOutColourInUseAndTheLongTimer)
{
    writeRemarks(path, {{"l", 1, 1, "In"}, {"a", 2, 3, "Away"}});
    RemarkList list(engine, path);
    list.load();
    auto r = list.pick(1, clock, prompts, options);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text, "Away");
    EXPECT_EQ(r->colorCode, list.outColor());
    EXPECT_EQ(r->color, (board::Rgb {0, 255, 255}));
    EXPECT_TRUE(r->inUse);
    EXPECT_EQ(r->type, 3);
    EXPECT_EQ(r->ownStatus, 3);
    EXPECT_EQ(r->icon, admin::RemarkIcon::PickList);
    EXPECT_TRUE(r->restartActivityTimer);
    EXPECT_EQ(r->activityIntervalMs, 300000);
}

TEST_F(RemarkPick, TypesDecideInUseStatusAndIcon)
{
    writeRemarks(path, {{"l", 1, 1, "In"}, {"f", 2, 2, "busy"}, {"w", 3, 6, "lunch"}, {"y", 4, 8, "trip"}});
    RemarkList list(engine, path);
    list.load();
    auto in = list.pick(0, clock, prompts, options);
    auto busy = list.pick(1, clock, prompts, options);
    auto lunch = list.pick(2, clock, prompts, options);
    auto trip = list.pick(3, clock, prompts, options);
    ASSERT_TRUE(in && busy && lunch && trip);
    EXPECT_TRUE(in->inUse);
    EXPECT_EQ(in->icon, admin::RemarkIcon::Info);
    EXPECT_EQ(busy->icon, admin::RemarkIcon::Info);
    EXPECT_FALSE(lunch->inUse);
    EXPECT_EQ(lunch->ownStatus, 6);
    EXPECT_EQ(lunch->icon, admin::RemarkIcon::Prompt);
    EXPECT_FALSE(trip->ownStatus.has_value());
    EXPECT_EQ(trip->activityIntervalMs, 5000);
    EXPECT_FALSE(trip->restartActivityTimer);
    EXPECT_FALSE(list.pick(4, clock, prompts, options));
}

TEST_F(RemarkPick, PickedTextIsCutToSixtyCharacters)
{
    writeRemarks(path, {{"w", 1, 0, "Note <what>"}});
    RemarkList list(engine, path);
    list.load();
    prompts.answerText(QString(80, u'x'));
    auto r = list.pick(0, clock, prompts, options);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text, "Note " + std::string(55, 'x'));
}

TEST_F(RemarkPick, CancelledPromptGivesNoPick)
{
    writeRemarks(path, standardRows());
    RemarkList list(engine, path);
    list.load();
    prompts.answerTime(std::nullopt);
    EXPECT_FALSE(list.pick(5, clock, prompts, options));
}

// --- maintenance ------------------------------------------------------------------------

using RemarkMaintenance = RemarkListTest;

TEST_F(RemarkMaintenance, InUnavailableAndOutCannotBeDeleted)
{
    writeRemarks(path, standardRows());
    RemarkList list(engine, path);
    list.load();
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(list.canDelete(i));
        EXPECT_FALSE(list.remove(i));
    }
    EXPECT_FALSE(list.changed());
    EXPECT_TRUE(list.remove(4));
    EXPECT_TRUE(list.changed());
    EXPECT_EQ(list.count(), 5);
    EXPECT_EQ(list.entries()[4].text, "Back at <time>");
}

TEST_F(RemarkMaintenance, MovesStopAtTheEnds)
{
    writeRemarks(path, {{"l", 1, 1, "a"}, {"r", 2, 3, "b"}, {"w", 3, 0, "c"}});
    RemarkList list(engine, path);
    list.load();
    EXPECT_FALSE(list.moveUp(0));
    EXPECT_FALSE(list.moveDown(2));
    EXPECT_FALSE(list.changed());
    EXPECT_TRUE(list.moveDown(0));
    EXPECT_EQ(texts(list), (std::vector<std::string> {"b", "a", "c"}));
    EXPECT_TRUE(list.moveUp(2));
    EXPECT_EQ(texts(list), (std::vector<std::string> {"b", "c", "a"}));
    EXPECT_TRUE(list.changed());
}

TEST_F(RemarkMaintenance, AddGoesToTheSelectedPlaceOrBeforeTheLast)
{
    writeRemarks(path, {{"l", 1, 1, "a"}, {"r", 2, 3, "b"}, {"w", 3, 0, "c"}});
    RemarkList list(engine, path);
    list.load();
    EXPECT_EQ(list.add(-1, "new one   "), 2);
    EXPECT_EQ(list.add(0, "first"), 0);
    EXPECT_EQ(texts(list), (std::vector<std::string> {"first", "a", "b", "new one", "c"}));
    EXPECT_EQ(list.entries()[0].color, 'w');
    EXPECT_EQ(list.entries()[0].type, 0);
    EXPECT_EQ(list.add(1, std::string(19, ' ')), -1);
    EXPECT_EQ(list.add(1, std::string(50, 'z')), 1);
    EXPECT_EQ(list.entries()[1].text, std::string(40, 'z'));
}

TEST_F(RemarkMaintenance, RenamingInOrOutChangesTheBoardText)
{
    writeRemarks(path, standardRows());
    RemarkList list(engine, path);
    list.load();
    EXPECT_TRUE(list.rename(0, "In the office                 "));
    EXPECT_TRUE(list.rename(2, "Out of office"));
    EXPECT_TRUE(list.rename(1, "On the phone"));
    EXPECT_TRUE(list.rename(4, "At lunch"));
    EXPECT_EQ(list.inText(), "In the office");
    EXPECT_EQ(list.outText(), "Out of office");
    EXPECT_EQ(list.unavailableText(), "On the phone");
    EXPECT_EQ(list.entries()[0].color, 'l');
    EXPECT_FALSE(list.rename(0, "   "));
    EXPECT_EQ(list.inText(), "In the office");
}

TEST_F(RemarkMaintenance, ColourOfInAndOutFollowsTheirTypeWhereverTheyStand)
{
    writeRemarks(path, standardRows());
    RemarkList list(engine, path);
    list.load();
    list.moveDown(2); // Out is now the fourth entry
    EXPECT_TRUE(list.setColor(3, 'y'));
    EXPECT_EQ(list.outColor(), 'y');
    EXPECT_TRUE(list.setColor(2, 'a')); // the custom remark, now third
    EXPECT_EQ(list.outColor(), 'y');
    EXPECT_TRUE(list.setColor(0, ' '));
    EXPECT_EQ(list.inColor(), 'w');
}

// Every one of the 256 packed colours chosen in the list, saved and read back
// by a fresh list: it comes back exactly unless its byte cannot be stored.
// Those that remain replaced: NUL and the blank (read back as white), the six
// letter bytes (read back as the letter's colour) and the Windows-1252 bytes
// without a character in the code page (74 in CP437, 31 in CP850), listed
// here from the code page tables.
class RemarkColourCodes : public RemarkListTest, public ::testing::WithParamInterface<platform::CodePage> {};

TEST_P(RemarkColourCodes, ChosenColoursComeBackExactlyUnlessTheirByteCannotBeStored)
{
    const platform::CodePage cp = GetParam();
    std::set<int> replaced {0x00, ' ', 'a', 'f', 'l', 'r', 'w', 'y'};
    for (int b = 0x80; b <= 0x9F; ++b)
        if (b != 0x83) // the florin sign is in both code pages
            replaced.insert(b);
    if (cp == platform::CodePage::Cp437)
        for (int b : {0xA4, 0xA6, 0xA7, 0xA8, 0xA9, 0xAD, 0xAE, 0xAF, 0xB3, 0xB4, 0xB6, 0xB8, 0xB9, 0xBE, 0xC0,
                      0xC1, 0xC2, 0xC3, 0xC8, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF, 0xD0, 0xD2, 0xD3, 0xD4, 0xD5,
                      0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDD, 0xDE, 0xE3, 0xF0, 0xF5, 0xF8, 0xFD, 0xFE})
            replaced.insert(b);
    ASSERT_EQ(replaced.size(), cp == platform::CodePage::Cp437 ? 82u : 39u);

    const platform::CodePage saved = engine::TTzSession::instance().codePage;
    engine::TTzSession::instance().codePage = cp;
    writeRemarks(path, {{"l", 1, 1, "In"}});
    RemarkList list(engine, path);
    list.load();
    for (int i = 1; i < 256; ++i)
        list.add(-1, "colour " + std::to_string(i));
    ASSERT_EQ(list.count(), 256);
    for (int code = 0; code < 256; ++code) {
        // Entry 0 is In; the others are each one packed colour.
        const board::Rgb chosen = board::unpackColor(static_cast<std::uint8_t>(code));
        ASSERT_TRUE(list.setColor(code, RemarkList::codeForColor(chosen, cp)));
    }
    ASSERT_TRUE(list.save(1).ok);
    RemarkList back(engine, path);
    ASSERT_TRUE(back.load());
    engine::TTzSession::instance().codePage = saved;
    ASSERT_EQ(back.count(), 256);
    int exact = 0;
    for (int code = 0; code < 256; ++code) {
        const board::Rgb chosen = board::unpackColor(static_cast<std::uint8_t>(code));
        const board::Rgb shown = board::colorOfCode(static_cast<std::uint8_t>(back.entries()[code].color));
        if (replaced.count(code)) {
            // The nearest colour that can be stored: one step of the packing.
            EXPECT_NE(shown, chosen) << code;
            EXPECT_LE(std::abs(shown.r - chosen.r) + std::abs(shown.g - chosen.g) + std::abs(shown.b - chosen.b), 72)
                << "code " << code;
        } else {
            EXPECT_EQ(shown, chosen) << "code " << code << " must come back exactly";
            ++exact;
        }
    }
    EXPECT_EQ(exact, 256 - static_cast<int>(replaced.size()));
}

INSTANTIATE_TEST_SUITE_P(CodePages, RemarkColourCodes,
                         ::testing::Values(platform::CodePage::Cp437, platform::CodePage::Cp850));

TEST(RemarkColourCodesLetters, ExactLetterColoursKeepTheirLetter)
{
    using platform::CodePage;
    EXPECT_EQ(RemarkList::codeForColor({255, 0, 0}, CodePage::Cp437), 'r');
    EXPECT_EQ(RemarkList::codeForColor({0, 255, 255}, CodePage::Cp437), 'a');
}

// --- saving ---------------------------------------------------------------------------------

using RemarkSaving = RemarkListTest;

TEST_F(RemarkSaving, RoundTripKeepsOrderColoursAndPrefixesCustomTexts)
{
    writeRemarks(path, standardRows());
    RemarkList list(engine, path);
    list.load();
    list.moveDown(4); // "Back at <time>" before "at lunch"
    list.setColor(4, 0xC4);
    list.add(-1, "Working from home");
    ASSERT_TRUE(list.changed());
    const auto before = list.entries();

    admin::SaveResult r = list.save(7);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_FALSE(list.changed());

    const auto rows = readRemarks(path);
    ASSERT_EQ(rows.size(), 7u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].position, static_cast<int>(i + 1));
        EXPECT_FALSE(rows[i].deleted);
    }
    EXPECT_EQ(rows[3].text, "  7<custom remark>");
    EXPECT_EQ(rows[3].type, 4);
    EXPECT_EQ(rows[5].text, "Working from home");
    EXPECT_EQ(rows[5].type, 0);
    // 0xC4 as a Windows character is stored as its OEM byte.
    EXPECT_EQ(rows[4].c, platform::recode(std::string(1, '\xC4'), platform::CodePage::Windows1252,
                                          engine::TTzSession::instance().codePage));
    EXPECT_NE(rows[4].c, std::string(1, '\xC4'));

    RemarkList again(engine, path);
    again.load();
    ASSERT_EQ(again.count(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(again.entries()[i].text, before[i].text) << i;
        EXPECT_EQ(again.entries()[i].color, before[i].color) << i;
        EXPECT_EQ(again.entries()[i].type, before[i].type) << i;
    }

    // A second save replaces the prefix instead of adding one.
    again.rename(6, "Gone home");
    ASSERT_TRUE(again.save(0).ok);
    EXPECT_EQ(readRemarks(path)[3].text, "  0<custom remark>");
}

TEST_F(RemarkSaving, SurplusRecordsAreRemovedFromTheTopBeforeWriting)
{
    auto rows = standardRows();
    for (int i = 7; i <= 12; ++i)
        rows.push_back({"w", i, 0, "extra " + std::to_string(i)});
    rows.push_back({"w", 13, 0, "already deleted", true});
    writeRemarks(path, rows);
    RemarkList list(engine, path);
    list.load();
    ASSERT_EQ(list.count(), 12);
    while (list.count() > 5)
        list.remove(list.count() - 1);
    ASSERT_TRUE(list.save(0).ok);

    const auto stored = readRemarks(path);
    ASSERT_EQ(stored.size(), 5u);
    std::vector<std::string> storedTexts;
    for (const auto& s : stored) {
        EXPECT_FALSE(s.deleted);
        storedTexts.push_back(s.text);
    }
    EXPECT_EQ(storedTexts,
              (std::vector<std::string> {"In", "in but unavailable", "Out", "  0<custom remark>", "at lunch"}));
}

TEST_F(RemarkSaving, MissingRecordsAreAppended)
{
    writeRemarks(path, {{"l", 1, 1, "In"}, {"r", 2, 3, "Out"}});
    RemarkList list(engine, path);
    list.load();
    list.add(-1, "one");
    list.add(-1, "two");
    list.add(-1, "three");
    ASSERT_TRUE(list.save(0).ok);
    RemarkList again(engine, path);
    again.load();
    EXPECT_EQ(texts(again), (std::vector<std::string> {"In", "one", "two", "three", "Out"}));
}

TEST_F(RemarkSaving, BlockedPackStopsAndLosesNothing)
{
    auto rows = standardRows();
    rows.push_back({"w", 7, 0, "to be dropped"});
    writeRemarks(path, rows);
    const auto storedBefore = readRemarks(path);

    // Another workstation has the table open.
    engine::Engine other;
    engine::TTzDbf held("Held", other);
    held.CreateIfNotFound = false;
    held.setDbfFileName(path);
    ASSERT_TRUE(held.setActive(true));

    RemarkList list(engine, path);
    list.load();
    list.remove(6);
    list.rename(4, "Out to lunch");
    const auto edited = list.entries();
    admin::SaveResult r = list.save(0);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("open on another workstation"), std::string::npos) << r.message;
    EXPECT_TRUE(list.changed());
    EXPECT_EQ(list.count(), static_cast<int>(edited.size()));

    const auto storedAfter = readRemarks(path);
    ASSERT_EQ(storedAfter.size(), storedBefore.size());
    for (std::size_t i = 0; i < storedAfter.size(); ++i) {
        EXPECT_EQ(storedAfter[i].text, storedBefore[i].text);
        EXPECT_FALSE(storedAfter[i].deleted) << i;
    }

    // Once the other station lets go, the same list saves.
    held.setActive(false);
    ASSERT_TRUE(list.save(0).ok);
    EXPECT_EQ(readRemarks(path).size(), 6u);
    EXPECT_EQ(readRemarks(path)[4].text, "Out to lunch");
}

TEST_F(RemarkSaving, OpenModeIsRestoredAfterwards)
{
    writeRemarks(path, standardRows());
    RemarkList list(engine, path);
    list.load();
    list.moveDown(3);
    engine.openModeOverride = engine::openmode::kNone;
    ASSERT_TRUE(list.save(0).ok);
    EXPECT_EQ(engine.openModeOverride, engine::openmode::kNone);

    list.moveDown(3);
    engine.openModeOverride = engine::openmode::kReadOnlyDenyNone;
    ASSERT_TRUE(list.save(0).ok);
    EXPECT_EQ(engine.openModeOverride, engine::openmode::kReadOnlyDenyNone);
}

TEST_F(RemarkSaving, MissingTableIsCreatedBySaving)
{
    RemarkList list(engine, path);
    list.load();
    ASSERT_TRUE(list.isFallback());
    list.remove(8); // drop the error marker
    ASSERT_TRUE(list.save(0).ok);
    RemarkList again(engine, path);
    EXPECT_TRUE(again.load());
    EXPECT_EQ(again.count(), 8);
    EXPECT_EQ(again.entries()[5].text, "Back at <time>");
}

} // namespace
