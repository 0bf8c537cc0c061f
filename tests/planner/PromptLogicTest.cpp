#include "planner/PromptLogic.h"
#include "platform/Clock.h"
#include "tests/support/ScriptedPromptService.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

using qb::planner::PromptLogic;
using qb::planner::QuickTimeButton;
using qb::testing::ScriptedPromptService;

namespace {

constexpr int hm(int h, int m)
{
    return (h * 60 + m) * 60000;
}

std::string str(const std::optional<QString>& s)
{
    return s ? s->toStdString() : std::string("<none>");
}

std::string str(const std::optional<std::string>& s)
{
    return s.value_or("<none>");
}

const QuickTimeButton& button(const QString& caption)
{
    for (const auto& b : PromptLogic::quickTimeButtons()) {
        if (b.caption == caption)
            return b;
    }
    throw std::runtime_error("no button " + caption.toStdString());
}

} // namespace

struct TimeCase {
    const char* text;
    std::optional<int> ms;
};

// Readable names for the cases in test listings.
void PrintTo(const TimeCase& c, std::ostream* os)
{
    *os << '"' << c.text << '"';
}

class TimeParsing : public ::testing::TestWithParam<TimeCase> {};

TEST_P(TimeParsing, ReadsTheFieldAsTheUserMeantIt)
{
    const TimeCase& c = GetParam();
    EXPECT_EQ(PromptLogic::parseTime(QString::fromUtf8(c.text)), c.ms) << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(Prompt, TimeParsing,
    ::testing::Values(
        TimeCase { " 11:50 pm", hm(23, 50) },
        TimeCase { " 12:05 am ", hm(0, 5) },
        TimeCase { "12:00 PM", hm(12, 0) },
        TimeCase { "12:00 p", hm(12, 0) },
        TimeCase { "7:05a", hm(7, 5) },
        TimeCase { "10 pm", hm(22, 0) },
        TimeCase { "pm 3:15", hm(15, 15) },
        TimeCase { "23:15", hm(23, 15) },
        TimeCase { "0:00", 0 },
        TimeCase { "8:30:15", hm(8, 30) + 15000 },
        TimeCase { "", std::nullopt },
        TimeCase { "   ", std::nullopt },
        TimeCase { "abc", std::nullopt },
        TimeCase { "10", std::nullopt },
        TimeCase { "24:00", std::nullopt },
        TimeCase { "13:00 pm", std::nullopt },
        TimeCase { "11:60", std::nullopt },
        TimeCase { "11:59:60", std::nullopt },
        TimeCase { "123:00", std::nullopt },
        TimeCase { "11:50 pmx", std::nullopt },
        TimeCase { "11:50 apple", std::nullopt },
        TimeCase { "11:50 pm 4", std::nullopt },
        TimeCase { "11:", std::nullopt },
        TimeCase { "1:2:3:4", std::nullopt }));

TEST(TimeFormatting, TwelveHourClockWithLeadingBlank)
{
    EXPECT_EQ(PromptLogic::formatTime(0).toStdString(), " 12:00 am");
    EXPECT_EQ(PromptLogic::formatTime(hm(12, 0)).toStdString(), " 12:00 pm");
    EXPECT_EQ(PromptLogic::formatTime(hm(14, 0)).toStdString(), " 02:00 pm");
    EXPECT_EQ(PromptLogic::formatTime(hm(23, 59) + 59999).toStdString(), " 11:59 pm");
    EXPECT_EQ(PromptLogic::formatTime(hm(9, 7)).toStdString(), " 09:07 am");
}

TEST(TimeFormatting, SumsPastMidnightWrap)
{
    EXPECT_EQ(PromptLogic::formatTime(hm(24, 5)).toStdString(), " 12:05 am");
    EXPECT_EQ(PromptLogic::formatTime(hm(49, 0)).toStdString(), " 01:00 am");
    EXPECT_EQ(PromptLogic::formatTime(-hm(0, 10)).toStdString(), " 11:50 pm");
}

TEST(TimeFormatting, PreparedFieldHasBlanksOnBothSidesAndReadsBack)
{
    QString text = PromptLogic::formatPreparedTime(hm(16, 45));
    EXPECT_EQ(text.toStdString(), " 04:45 pm ");
    EXPECT_EQ(PromptLogic::parseTime(text), hm(16, 45));
}

TEST(QuickTimeButtons, FifteenMinutesAfterTenToMidnight)
{
    EXPECT_EQ(str(PromptLogic::applyQuickButton(button("+ 0:15"), u" 11:50 pm", 0)), " 12:05 am");
}

TEST(QuickTimeButtons, AddButtonsAddTheirMinutes)
{
    EXPECT_EQ(str(PromptLogic::applyQuickButton(button("+ 0.05"), u" 09:00 am ", 0)), " 09:05 am");
    EXPECT_EQ(str(PromptLogic::applyQuickButton(button("+ 0:45"), u" 11:30 am", 0)), " 12:15 pm");
    EXPECT_EQ(str(PromptLogic::applyQuickButton(button("+ 8:00"), u" 08:00 pm", 0)), " 04:00 am");
    EXPECT_EQ(str(PromptLogic::applyQuickButton(button("+ 6:00"), u"14:10", 0)), " 08:10 pm");
}

TEST(QuickTimeButtons, AddingToSomethingNotATimeGivesNothing)
{
    EXPECT_EQ(PromptLogic::applyQuickButton(button("+ 1:00"), u"soon", 0), std::nullopt);
    EXPECT_EQ(PromptLogic::addMinutes(u"", 10), std::nullopt);
}

TEST(QuickTimeButtons, HourButtonsSetTheHour)
{
    EXPECT_EQ(str(PromptLogic::applyQuickButton(button("12:00 p"), u"garbage", 0)), " 12:00 pm");
    EXPECT_EQ(str(PromptLogic::applyQuickButton(button("8:00 a"), u"", 0)), " 08:00 am");
    EXPECT_EQ(str(PromptLogic::applyQuickButton(button("10:00 a"), u"", 0)), " 10:00 am");
    EXPECT_EQ(str(PromptLogic::applyQuickButton(button("2:00 p"), u"", 0)), " 02:00 pm");
    EXPECT_EQ(str(PromptLogic::applyQuickButton(button("4:00 p"), u"", 0)), " 04:00 pm");
}

TEST(QuickTimeButtons, NowUsesThePresentTime)
{
    EXPECT_EQ(str(PromptLogic::applyQuickButton(button("&Now"), u" 01:00 am", hm(13, 7) + 42000)), " 01:07 pm");
}

TEST(QuickTimeButtons, PresentTimeComesFromTheClock)
{
    qb::test::FakeClock clock(qb::platform::fromLocal(qb::test::localTime(2024, 5, 6, 13, 45, 10)));
    EXPECT_EQ(PromptLogic::msOfDay(clock), hm(13, 45) + 10000);
}

TEST(TextField, HiddenTakesEightMaskedCharacters)
{
    auto hidden = PromptLogic::textFieldRules(true);
    EXPECT_EQ(hidden.maxLength, 8);
    EXPECT_TRUE(hidden.masked);
    auto plain = PromptLogic::textFieldRules(false);
    EXPECT_EQ(plain.maxLength, 120);
    EXPECT_FALSE(plain.masked);
    EXPECT_EQ(PromptLogic::displayedText(QStringLiteral("s3cret"), true).toStdString(), "******");
    EXPECT_EQ(PromptLogic::displayedText(QStringLiteral("s3cret"), false).toStdString(), "s3cret");
}

TEST(ScriptedPrompts, AnswersInOrderAndRecordsQuestions)
{
    ScriptedPromptService prompts;
    prompts.answerText(QStringLiteral("new1"));
    prompts.answerText(std::nullopt);
    prompts.answerDate(45292.5);
    prompts.answerTime(QStringLiteral(" 02:00 pm"));

    EXPECT_EQ(str(prompts.askText("Change Password", "New password:", true)), "new1");
    EXPECT_EQ(prompts.askText("Customize Remark", "Enter x", false, "old"), std::nullopt);
    EXPECT_EQ(prompts.askDate(), std::optional<double>(45292.5));
    EXPECT_EQ(str(prompts.askTime()), " 02:00 pm");

    ASSERT_EQ(prompts.questions().size(), 4u);
    EXPECT_EQ(prompts.questions()[0].caption.toStdString(), "Change Password");
    EXPECT_TRUE(prompts.questions()[0].hidden);
    EXPECT_EQ(prompts.questions()[1].initialText.toStdString(), "old");
    EXPECT_EQ(prompts.questions()[2].kind, ScriptedPromptService::Kind::Date);
    EXPECT_TRUE(prompts.problems().empty());
    EXPECT_EQ(prompts.pendingAnswers(), 0u);
}

TEST(ScriptedPrompts, MismatchAndExhaustionCancelAndAreReported)
{
    ScriptedPromptService prompts;
    prompts.answerDate(45000.0);
    EXPECT_EQ(prompts.askTime(), std::nullopt);       // a date answer waits for a date question
    EXPECT_EQ(prompts.pendingAnswers(), 1u);
    EXPECT_EQ(prompts.askDate(), std::optional<double>(45000.0));
    EXPECT_EQ(prompts.askDate(), std::nullopt);       // nothing left
    EXPECT_EQ(prompts.problems().size(), 2u);
}
