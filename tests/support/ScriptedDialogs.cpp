#include "ScriptedDialogs.h"

namespace qb::testing {

QStringList ScriptedDialogs::messageTexts(std::optional<Box> only) const
{
    QStringList texts;
    for (const Shown& s : m_shown)
        if (!only || s.box == *only)
            texts << s.text;
    return texts;
}

core::Dialogs::Answer ScriptedDialogs::message(Box box, const std::string& text, Buttons buttons,
                                               std::optional<core::ScreenPoint> at, const std::string& caption,
                                               std::optional<Answer> defaultButton)
{
    m_shown.push_back({box, QString::fromStdString(text), buttons, at, QString::fromStdString(caption), defaultButton});
    switch (buttons) {
    case Buttons::Ok: return Answer::Ok;
    case Buttons::OkCancel: return m_answer == Answer::Ok ? Answer::Ok : Answer::Cancel;
    case Buttons::YesNo: return m_answer == Answer::Yes ? Answer::Yes : Answer::No;
    }
    return Answer::Ok;
}

} // namespace qb::testing
