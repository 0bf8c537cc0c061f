// The one way every window talks to the user in a modal box: message boxes
// (information, warning, error, question) and the date, time and text
// prompts of the prompt window.
//
// The program hands one object around as this interface (ui::QtDialogs:
// QMessageBox for the boxes, the prompt window for prompts). A window gets a
// Dialogs& or Dialogs* from whoever creates it and never opens a QMessageBox
// itself, so a test answers every box and prompt of a window in one place:
// tests hand a testing::ScriptedDialogs (tests/support), which records each
// box and question and answers from what the test prepared.
//
// Texts are UTF-8. Everything runs on the user-interface thread.
#pragma once

#include "core/PromptService.h"

#include <optional>
#include <string>

namespace qb::core {

// A position on the screen in device-independent pixels (global).
struct ScreenPoint {
    int x = 0;
    int y = 0;
};

class Dialogs : public PromptService {
public:
    // About: the program's About box (its icon, the text, OK).
    enum class Box { Information, Warning, Error, Question, About };
    // The button sets the program uses.
    enum class Buttons { Ok, OkCancel, YesNo };
    enum class Answer { Ok, Cancel, Yes, No };

    // Shows text in a modal box of kind box with the buttons, under caption
    // (the program's title when empty), its top-left corner at `at` when
    // given (else centred on the window in front), Enter pressing
    // defaultButton when given. Returns the button pressed; closing the box
    // counts as Cancel (OkCancel), No (YesNo) or Ok (Ok).
    virtual Answer message(Box box, const std::string& text, Buttons buttons,
                           std::optional<ScreenPoint> at = std::nullopt, const std::string& caption = {},
                           std::optional<Answer> defaultButton = std::nullopt) = 0;

    void inform(const std::string& text, std::optional<ScreenPoint> at = std::nullopt)
    {
        message(Box::Information, text, Buttons::Ok, at);
    }
    void warn(const std::string& text) { message(Box::Warning, text, Buttons::Ok); }
    void error(const std::string& text) { message(Box::Error, text, Buttons::Ok); }
    // A question; true when the user answered Yes (YesNo) or OK (OkCancel).
    bool confirm(const std::string& text, Buttons buttons = Buttons::YesNo,
                 std::optional<ScreenPoint> at = std::nullopt)
    {
        const Answer a = message(Box::Question, text, buttons, at);
        return a == Answer::Yes || a == Answer::Ok;
    }
};

} // namespace qb::core
