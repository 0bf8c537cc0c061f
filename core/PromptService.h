// The one way every window asks the user for a date, a time or a line of
// text. The program hands its single prompt window (TPickDT) around as this
// interface; tests hand a testing::ScriptedPromptService (tests/support) that
// answers for the user.
//
// Texts are UTF-8. Everything runs on the user-interface thread.
#pragma once

#include <optional>
#include <string>

namespace qb::core {

class PromptService {
public:
    virtual ~PromptService() = default;

    // Asks for a date with the month calendar. Returns the chosen date-time
    // (days since 1899-12-30; callers use its day), nothing on Cancel.
    virtual std::optional<double> askDate() = 0;

    // Asks for a time of day. Returns the time field's text as it stood at
    // OK (for example " 02:00 pm", with its blanks), nothing on Cancel.
    virtual std::optional<std::string> askTime() = 0;

    // Asks for a line of text under the window caption with the prompt
    // label. Hidden: at most 8 characters, each shown as "*"; otherwise at
    // most 120. The field starts with initialText (cut to the limit).
    // Returns the field's text at OK, nothing on Cancel.
    virtual std::optional<std::string> askText(const std::string& caption, const std::string& prompt, bool hidden,
                                               const std::string& initialText = {}) = 0;
};

} // namespace qb::core
