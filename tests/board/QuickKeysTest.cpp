// What a character key does on the board window, and the text of "Show Key
// Assignments".
#include "board/QuickKeys.h"

#include <gtest/gtest.h>

namespace {

using qb::board::keyAssignmentsText;
using qb::board::quickKeyStep;
using qb::board::QuickKeyStep;

struct KeyCase {
    const char* name;
    char32_t key;
    bool findVisible, gridVisible;
    const char* key1;
    const char* key2;
    QuickKeyStep step;
};

class QuickKeyRule : public ::testing::TestWithParam<KeyCase> {};

TEST_P(QuickKeyRule, GivesTheStep)
{
    const KeyCase& c = GetParam();
    EXPECT_EQ(quickKeyStep(c.key, c.findVisible, c.gridVisible, c.key1, c.key2), c.step);
}

INSTANTIATE_TEST_SUITE_P(
    QuickKeys, QuickKeyRule,
    ::testing::Values(KeyCase {"FindBoxTakesEveryKey", U'1', true, true, "Lunch", "", {QuickKeyStep::FocusFind, ""}},
                      KeyCase {"OneSetsItsText", U'1', false, true, "Lunch", "Meeting", {QuickKeyStep::SetRemark, "Lunch"}},
                      KeyCase {"TwoSetsItsText", U'2', false, false, "", "Meeting", {QuickKeyStep::SetRemark, "Meeting"}},
                      KeyCase {"OneWithoutTextFinds", U'1', false, true, "", "Meeting", {QuickKeyStep::Find, "1"}},
                      KeyCase {"EqualsReloads", U'=', false, false, "", "", {QuickKeyStep::Reload, ""}},
                      KeyCase {"LetterFinds", U'k', false, true, "", "", {QuickKeyStep::Find, "k"}},
                      KeyCase {"BackQuoteFinds", U'`', false, true, "", "", {QuickKeyStep::Find, "`"}},
                      KeyCase {"CaretFinds", U'^', false, true, "", "", {QuickKeyStep::Find, "^"}},
                      KeyCase {"BraceIsIgnored", U'{', false, true, "", "", {QuickKeyStep::Ignore, ""}},
                      KeyCase {"BlankIsIgnored", U' ', false, true, "", "", {QuickKeyStep::Ignore, ""}},
                      KeyCase {"LetterWithoutGridIsIgnored", U'k', false, false, "", "", {QuickKeyStep::Ignore, ""}},
                      KeyCase {"UmlautIsIgnored", U'\u00e4', false, true, "", "", {QuickKeyStep::Ignore, ""}},
                      KeyCase {"NoCharacter", 0, true, true, "a", "b", {QuickKeyStep::Ignore, ""}}),
    [](const auto& info) { return std::string(info.param.name); });

struct AssignmentCase {
    const char* name;
    const char* key1;
    const char* key2;
    const char* text;
};

class KeyAssignments : public ::testing::TestWithParam<AssignmentCase> {};

TEST_P(KeyAssignments, ReadAsShown)
{
    EXPECT_EQ(keyAssignmentsText(GetParam().key1, GetParam().key2), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    QuickKeys, KeyAssignments,
    ::testing::Values(AssignmentCase {"None", "", "", "No Quick keys assigned"},
                      AssignmentCase {"Both", "Lunch", "Back at {time}",
                                      "Quick Key assignments\n\n1 = Lunch\n2 = Back at {time}\n"},
                      AssignmentCase {"OnlyTwo", "", "Meeting", "Quick Key assignments\n\n2 = Meeting\n"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
