// The one way every window asks the user for a date, a time or a line of
// text. The program hands its single prompt window (TPickDT) around as this
// interface; tests hand a ScriptedPromptService that answers for the user.
#pragma once

#include <QString>

#include <optional>

namespace qb::planner {

class PromptService {
public:
    virtual ~PromptService() = default;

    // Asks for a date with the month calendar. Returns the chosen date-time
    // (days since 1899-12-30; callers use its day), nothing on Cancel.
    virtual std::optional<double> askDate() = 0;

    // Asks for a time of day. Returns the time field's text as it stood at
    // OK (for example " 02:00 pm", with its blanks), nothing on Cancel.
    virtual std::optional<QString> askTime() = 0;

    // Asks for a line of text under the window caption with the prompt
    // label. Hidden: at most 8 characters, each shown as "*"; otherwise at
    // most 120. The field starts with initialText (cut to the limit).
    // Returns the field's text at OK, nothing on Cancel.
    virtual std::optional<QString> askText(const QString& caption, const QString& prompt, bool hidden,
        const QString& initialText = QString()) = 0;
};

} // namespace qb::planner
