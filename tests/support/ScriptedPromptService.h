// A core::PromptService that answers from a prepared list instead of a user,
// and records every question. For tests of windows and logic that prompt;
// answers and questions are QStrings so tests compare them as they compare
// widget texts.
//
// Answers are used in order. A question with no answer left, or whose next
// answer is of another kind, is answered with Cancel and noted in
// problems(), so a test sees the mismatch instead of hanging or crashing.
#pragma once

#include "core/PromptService.h"

#include <QString>

#include <deque>
#include <vector>

namespace qb::testing {

class ScriptedPromptService final : public core::PromptService {
public:
    enum class Kind { Date, Time, Text };

    struct Question {
        Kind kind;
        QString caption; // text questions only
        QString prompt;
        bool hidden = false;
        QString initialText;
    };

    // Queue the next answers. An answer without a value is a Cancel.
    void answerDate(std::optional<double> date);
    void answerTime(std::optional<QString> time);
    void answerText(std::optional<QString> text);

    std::optional<double> askDate() override;
    std::optional<std::string> askTime() override;
    std::optional<std::string> askText(const std::string& caption, const std::string& prompt, bool hidden,
                                       const std::string& initialText = {}) override;

    const std::vector<Question>& questions() const { return m_questions; }
    // Answers not used yet.
    std::size_t pendingAnswers() const { return m_answers.size(); }
    // One line per question that found no fitting answer.
    const std::vector<QString>& problems() const { return m_problems; }

private:
    struct Answer {
        Kind kind;
        std::optional<double> date;
        std::optional<QString> text;
    };
    // Takes the next answer when it is of kind; nothing otherwise.
    std::optional<Answer> take(Kind kind);

    std::deque<Answer> m_answers;
    std::vector<Question> m_questions;
    std::vector<QString> m_problems;
};

} // namespace qb::testing
