// The dialog seam answered by a test: every message box is recorded and
// answered with the standing answer; prompts are answered from a prepared
// list as ScriptedPromptService does (same calls: answerText, questions,
// problems...). Hand it to a window with setDialogs(&dialogs).
//
//   testing::ScriptedDialogs dialogs;
//   dialogs.setAnswer(core::Dialogs::Answer::No);   // the next questions say No
//   dialogs.answerText(QStringLiteral("At lunch")); // the next text prompt
//   ...
//   QCOMPARE(dialogs.messageTexts(), QStringList {...});
//
// A standing answer that is not among a box's buttons is taken as closing
// the box (Cancel or No).
#pragma once

#include "core/Dialogs.h"
#include "tests/support/ScriptedPromptService.h"

#include <QStringList>

#include <vector>

namespace qb::testing {

class ScriptedDialogs final : public core::Dialogs {
public:
    struct Shown {
        Box box;
        QString text;
        Buttons buttons;
        std::optional<core::ScreenPoint> at;
        QString caption;
        std::optional<Answer> defaultButton;
    };

    // The answer of every box from now on (Yes at the start).
    void setAnswer(Answer answer) { m_answer = answer; }
    // Every box shown so far, oldest first.
    const std::vector<Shown>& shown() const { return m_shown; }
    // The texts of the boxes shown so far (of one kind when given).
    QStringList messageTexts(std::optional<Box> only = std::nullopt) const;
    void clearMessages() { m_shown.clear(); }

    // Prompts, as ScriptedPromptService.
    void answerDate(std::optional<double> date) { m_prompts.answerDate(date); }
    void answerTime(std::optional<QString> time) { m_prompts.answerTime(std::move(time)); }
    void answerText(std::optional<QString> text) { m_prompts.answerText(std::move(text)); }
    const std::vector<ScriptedPromptService::Question>& questions() const { return m_prompts.questions(); }
    std::size_t pendingAnswers() const { return m_prompts.pendingAnswers(); }
    const std::vector<QString>& problems() const { return m_prompts.problems(); }

    Answer message(Box box, const std::string& text, Buttons buttons, std::optional<core::ScreenPoint> at = std::nullopt,
                   const std::string& caption = {}, std::optional<Answer> defaultButton = std::nullopt) override;
    std::optional<double> askDate() override { return m_prompts.askDate(); }
    std::optional<std::string> askTime() override { return m_prompts.askTime(); }
    std::optional<std::string> askText(const std::string& caption, const std::string& prompt, bool hidden,
                                       const std::string& initialText = {}) override
    {
        return m_prompts.askText(caption, prompt, hidden, initialText);
    }

private:
    ScriptedPromptService m_prompts;
    std::vector<Shown> m_shown;
    Answer m_answer = Answer::Yes;
};

} // namespace qb::testing
