#include "ScriptedPromptService.h"

namespace qb::testing {

namespace {
QString kindName(ScriptedPromptService::Kind kind)
{
    switch (kind) {
    case ScriptedPromptService::Kind::Date:
        return QStringLiteral("date");
    case ScriptedPromptService::Kind::Time:
        return QStringLiteral("time");
    case ScriptedPromptService::Kind::Text:
        return QStringLiteral("text");
    }
    return {};
}
} // namespace

void ScriptedPromptService::answerDate(std::optional<double> date)
{
    m_answers.push_back({ Kind::Date, date, std::nullopt });
}

void ScriptedPromptService::answerTime(std::optional<QString> time)
{
    m_answers.push_back({ Kind::Time, std::nullopt, std::move(time) });
}

void ScriptedPromptService::answerText(std::optional<QString> text)
{
    m_answers.push_back({ Kind::Text, std::nullopt, std::move(text) });
}

std::optional<double> ScriptedPromptService::askDate()
{
    m_questions.push_back({ Kind::Date, {}, {}, false, {} });
    auto a = take(Kind::Date);
    return a ? a->date : std::nullopt;
}

namespace {
std::optional<std::string> utf8(const std::optional<QString>& text)
{
    return text ? std::optional<std::string>(text->toStdString()) : std::nullopt;
}
} // namespace

std::optional<std::string> ScriptedPromptService::askTime()
{
    m_questions.push_back({ Kind::Time, {}, {}, false, {} });
    auto a = take(Kind::Time);
    return a ? utf8(a->text) : std::nullopt;
}

std::optional<std::string> ScriptedPromptService::askText(const std::string& caption, const std::string& prompt,
                                                          bool hidden, const std::string& initialText)
{
    m_questions.push_back({ Kind::Text, QString::fromStdString(caption), QString::fromStdString(prompt), hidden,
                            QString::fromStdString(initialText) });
    auto a = take(Kind::Text);
    return a ? utf8(a->text) : std::nullopt;
}

std::optional<ScriptedPromptService::Answer> ScriptedPromptService::take(Kind kind)
{
    if (m_answers.empty()) {
        m_problems.push_back(QStringLiteral("%1 question %2 has no answer left")
                                 .arg(kindName(kind))
                                 .arg(m_questions.size()));
        return std::nullopt;
    }
    if (m_answers.front().kind != kind) {
        // Leave the answer for the question it was meant for.
        m_problems.push_back(QStringLiteral("%1 question %2 met a %3 answer")
                                 .arg(kindName(kind))
                                 .arg(m_questions.size())
                                 .arg(kindName(m_answers.front().kind)));
        return std::nullopt;
    }
    Answer a = std::move(m_answers.front());
    m_answers.pop_front();
    return a;
}

} // namespace qb::testing
