// The main window's rules that need no display: the change-password
// prompts, fitting the window to the board, which login-dependent menu items
// show, the status bar's room and the notification icon.
#include "board/BoardWindowLogic.h"
#include "board/PasswordChange.h"
#include "tests/support/ScriptedDialogs.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace qb::board;
using R = ChangePasswordResult;
using Typed = std::optional<std::string>;

// ---- change password ----------------------------------------------------------

struct PasswordCase {
    const char* name;
    std::vector<Typed> typed;     // answers to the prompts in order; nullopt cancels
    std::vector<R> results;       // what each attempt at the change gives
    int prompts;                  // prompts shown
    std::vector<std::pair<std::string, std::string>> attempts; // new and confirm handed to the change
    std::vector<R> boxes;         // refusals shown, in order
    bool changed;
};

class PasswordPrompts : public ::testing::TestWithParam<PasswordCase> {};

TEST_P(PasswordPrompts, AskUntilDoneRefusedOrCancelled)
{
    const PasswordCase& c = GetParam();
    qb::testing::ScriptedDialogs dialogs;
    for (const Typed& t : c.typed)
        dialogs.answerText(t ? std::optional<QString>(QString::fromStdString(*t)) : std::nullopt);
    std::vector<std::pair<std::string, std::string>> attempts;
    std::size_t next = 0;
    const auto change = [&](const std::string& first, const std::string& second) {
        attempts.emplace_back(first, second);
        return next < c.results.size() ? c.results[next++] : R::Ok;
    };

    EXPECT_EQ(askPasswordChange(dialogs, change, qb::core::ScreenPoint {150, 130}), c.changed);

    EXPECT_EQ(attempts, c.attempts);
    ASSERT_EQ(static_cast<int>(dialogs.questions().size()), c.prompts);
    for (std::size_t i = 0; i < dialogs.questions().size(); ++i) {
        const auto& q = dialogs.questions()[i];
        EXPECT_EQ(q.caption.toStdString(), "Change Password");
        EXPECT_EQ(q.prompt.toStdString(), i % 2 == 0 ? "New password:" : "Confirm password:");
        EXPECT_TRUE(q.hidden) << "a password prompt shows what is typed";
    }
    EXPECT_TRUE(dialogs.problems().empty()) << "asked more often than the user answered";
    ASSERT_EQ(dialogs.shown().size(), c.boxes.size());
    for (std::size_t i = 0; i < c.boxes.size(); ++i) {
        const auto& box = dialogs.shown()[i];
        EXPECT_EQ(box.box, qb::core::Dialogs::Box::Information);
        EXPECT_EQ(box.text.toStdString(), LoginLogic::changePasswordText(c.boxes[i]));
        ASSERT_TRUE(box.at.has_value());
        EXPECT_EQ(box.at->x, 150);
        EXPECT_EQ(box.at->y, 130);
    }
}

INSTANTIATE_TEST_SUITE_P(
    ChangePassword, PasswordPrompts,
    ::testing::Values(
        PasswordCase {"FirstTry", {"abc", "abc"}, {R::Ok}, 2, {{"abc", "abc"}}, {}, true},
        PasswordCase {"CancelOfTheNewOne", {std::nullopt}, {}, 1, {}, {}, false},
        PasswordCase {"CancelOfTheConfirmation", {"abc", std::nullopt}, {}, 2, {}, {}, false},
        PasswordCase {"MismatchAsksAgain",
                      {"abc", "abd", "abc", "abc"},
                      {R::Mismatch, R::Ok},
                      4,
                      {{"abc", "abd"}, {"abc", "abc"}},
                      {R::Mismatch},
                      true},
        PasswordCase {"TooLongAsksAgainUntilCancelled",
                      {"123456789", "123456789", std::nullopt},
                      {R::TooLong},
                      3,
                      {{"123456789", "123456789"}},
                      {R::TooLong},
                      false},
        PasswordCase {"UnstorableCharacterAsksAgain",
                      {"\xe2\x82\xac", "\xe2\x82\xac", "euro", "euro"},
                      {R::InvalidCharacter, R::Ok},
                      4,
                      {{"\xe2\x82\xac", "\xe2\x82\xac"}, {"euro", "euro"}},
                      {R::InvalidCharacter},
                      true},
        PasswordCase {"FailedWriteIsShownOnce", {"abc", "abc"}, {R::WriteFailed}, 2, {{"abc", "abc"}}, {R::WriteFailed}, false},
        PasswordCase {"TableNotOpenedIsShownOnce", {"abc", "abc"}, {R::OpenFailed}, 2, {{"abc", "abc"}}, {R::OpenFailed}, false},
        PasswordCase {"MissingRecordIsShownOnce", {"abc", "abc"}, {R::RecordMissing}, 2, {{"abc", "abc"}}, {R::RecordMissing}, false},
        PasswordCase {"MismatchThenFailedWrite",
                      {"a", "b", "c", "c"},
                      {R::Mismatch, R::WriteFailed},
                      4,
                      {{"a", "b"}, {"c", "c"}},
                      {R::Mismatch, R::WriteFailed},
                      false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- fitting --------------------------------------------------------------------

struct FitCase {
    const char* name;
    FitInput in;
    int columnsWidth;
    bool naturalWidth;
    bool capped;
    int width;
    FitMove move;
};

class Fitting : public ::testing::TestWithParam<FitCase> {};

TEST_P(Fitting, WidthAndPlace)
{
    const FitCase& c = GetParam();
    const int w = fittedWidth(c.in, c.columnsWidth, c.naturalWidth);
    EXPECT_EQ(w, c.width);
    EXPECT_EQ(fittedMove(c.in, w, c.capped), c.move);
}

// A 1280x800 screen at (0,0) unless said; window frame 10 pixels wider than its client.
constexpr FitInput at(int x, int y, int width, bool maximised = false, int screenLeft = 0, int screenTop = 0)
{
    return FitInput {screenLeft, screenTop, 1280, 800, x, y, width, 10, maximised};
}

INSTANTIATE_TEST_SUITE_P(
    Window, Fitting,
    ::testing::Values(FitCase {"WidensForTheColumns", at(100, 50, 500), 700, false, false, 700, {false, 100, 50}},
                      FitCase {"NeverNarrowsOnItsOwn", at(100, 50, 800), 600, false, false, 800, {false, 100, 50}},
                      FitCase {"SmallerFontNarrows", at(100, 50, 800), 600, true, false, 600, {false, 100, 50}},
                      FitCase {"NoWiderThanTheScreen", at(0, 50, 500), 2000, false, false, 1270, {false, 0, 50}},
                      FitCase {"MaximisedKeepsItsWidth", at(0, 0, 1280, true), 2000, true, false, 1280, {false, 0, 0}},
                      FitCase {"PastTheRightEdgeMovesLeft", at(900, 50, 400), 500, false, false, 500, {true, 770, 50}},
                      FitCase {"NeverLeftOfItsScreen", at(1400, 50, 1300, false, 1280), 500, false, false, 1300,
                               {true, 1280, 50}},
                      FitCase {"CappedRowsMoveToTheTop", at(100, 300, 500, false, 0, 24), 500, false, true, 500,
                               {true, 100, 24}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- login menus ------------------------------------------------------------------

struct MenuCase {
    const char* name;
    bool loggedIn, admin;
    LoginMenuState state;
};

class LoginMenus : public ::testing::TestWithParam<MenuCase> {};

TEST_P(LoginMenus, ShowWhatTheLoginAllows)
{
    EXPECT_EQ(loginMenuState(GetParam().loggedIn, GetParam().admin), GetParam().state);
}

INSTANTIATE_TEST_SUITE_P(
    Board, LoginMenus,
    ::testing::Values(MenuCase {"NobodyLoggedIn", false, false, {false, false, false, false, false}},
                      // The flag of an earlier administrator login does not count while logged out.
                      MenuCase {"LoggedOutAfterAdmin", false, true, {false, false, false, false, false}},
                      MenuCase {"Person", true, false, {true, true, true, false, false}},
                      MenuCase {"Administrator", true, true, {false, true, true, true, true}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- status bar ---------------------------------------------------------------------

struct StatusCase {
    const char* name;
    int linesHeight, lines;
    bool message;
    int barHint;
    int height;
};

class StatusRoom : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusRoom, OnlyWhileThereIsSomethingToSay)
{
    const StatusCase& c = GetParam();
    EXPECT_EQ(statusBarHeight(c.linesHeight, c.lines, c.message, c.barHint), c.height);
}

INSTANTIATE_TEST_SUITE_P(
    Board, StatusRoom,
    ::testing::Values(StatusCase {"NothingToSay", 0, 0, false, 22, 0},
                      StatusCase {"ANoteTakesTheBarsHeight", 0, 0, true, 22, 22},
                      StatusCase {"OneLineAtLeastTheBar", 14, 1, false, 30, 30},
                      StatusCase {"TwoLinesWithSpacingAndFrame", 36, 2, false, 22, 46}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- notification icon ----------------------------------------------------------------

struct TrayCase {
    const char* name;
    TrayActivation activation;
    bool visible, active;
    TrayResponse response;
};

class TrayClick : public ::testing::TestWithParam<TrayCase> {};

TEST_P(TrayClick, HidesOrOpens)
{
    const TrayCase& c = GetParam();
    EXPECT_EQ(trayResponse(c.activation, c.visible, c.active), c.response);
}

INSTANTIATE_TEST_SUITE_P(
    Board, TrayClick,
    ::testing::Values(TrayCase {"ClickHidesTheWindowInFront", TrayActivation::Click, true, true, TrayResponse::Hide},
                      TrayCase {"ClickRaisesAWindowBehind", TrayActivation::Click, true, false, TrayResponse::Open},
                      TrayCase {"ClickOpensAHiddenWindow", TrayActivation::Click, false, false, TrayResponse::Open},
                      TrayCase {"DoubleClickNeverHides", TrayActivation::DoubleClick, true, true, TrayResponse::Open},
                      TrayCase {"MenuClickDoesNeither", TrayActivation::Other, false, false, TrayResponse::None}),
    [](const auto& info) { return std::string(info.param.name); });

struct TrayIconCase {
    const char* name;
    bool given, loggedIn, admin;
    TrayIcon icon;
};

class TrayIconShown : public ::testing::TestWithParam<TrayIconCase> {};

TEST_P(TrayIconShown, AlertThenOwnStatusThenProgram)
{
    const TrayIconCase& c = GetParam();
    EXPECT_EQ(trayIconFor(c.given, c.loggedIn, c.admin), c.icon);
}

INSTANTIATE_TEST_SUITE_P(
    Board, TrayIconShown,
    ::testing::Values(TrayIconCase {"AlertBlinks", true, true, false, TrayIcon::Given},
                      TrayIconCase {"PersonsStatus", false, true, false, TrayIcon::OwnStatus},
                      TrayIconCase {"AdministratorHasNoStatus", false, true, true, TrayIcon::Board},
                      TrayIconCase {"NobodyLoggedIn", false, false, false, TrayIcon::Board}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
