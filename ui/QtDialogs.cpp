#include "QtDialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace qb::ui {

QtDialogs::QtDialogs(QWidget* window, core::PromptService* prompts) : m_window(window), m_prompts(prompts) {}

core::Dialogs::Answer QtDialogs::message(Box box, const std::string& text, Buttons buttons,
                                         std::optional<core::ScreenPoint> at, const std::string& caption,
                                         std::optional<Answer> defaultButton)
{
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent)
        parent = m_window;
    const QString title = caption.empty() ? QString::fromLatin1(kTitle) : QString::fromStdString(caption);
    if (box == Box::About) {
        // Qt's own About box shows the program's icon.
        QMessageBox::about(parent, title, QString::fromStdString(text));
        return Answer::Ok;
    }
    QMessageBox::Icon icon = QMessageBox::Information;
    switch (box) {
    case Box::Information: icon = QMessageBox::Information; break;
    case Box::Warning: icon = QMessageBox::Warning; break;
    case Box::Error: icon = QMessageBox::Critical; break;
    case Box::Question: icon = QMessageBox::Question; break;
    case Box::About: break;
    }
    QMessageBox::StandardButtons qtButtons = QMessageBox::Ok;
    Answer escape = Answer::Ok;
    switch (buttons) {
    case Buttons::Ok: break;
    case Buttons::OkCancel:
        qtButtons = QMessageBox::Ok | QMessageBox::Cancel;
        escape = Answer::Cancel;
        break;
    case Buttons::YesNo:
        qtButtons = QMessageBox::Yes | QMessageBox::No;
        escape = Answer::No;
        break;
    }
    QMessageBox mb(icon, title, QString::fromStdString(text), qtButtons, parent);
    if (defaultButton) {
        switch (*defaultButton) {
        case Answer::Ok: mb.setDefaultButton(QMessageBox::Ok); break;
        case Answer::Cancel: mb.setDefaultButton(QMessageBox::Cancel); break;
        case Answer::Yes: mb.setDefaultButton(QMessageBox::Yes); break;
        case Answer::No: mb.setDefaultButton(QMessageBox::No); break;
        }
    }
    if (at)
        mb.move(at->x, at->y);
    switch (mb.exec()) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Cancel: return Answer::Cancel;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return escape;
    }
}

std::optional<double> QtDialogs::askDate()
{
    return m_prompts ? m_prompts->askDate() : std::nullopt;
}

std::optional<std::string> QtDialogs::askTime()
{
    return m_prompts ? m_prompts->askTime() : std::nullopt;
}

std::optional<std::string> QtDialogs::askText(const std::string& caption, const std::string& prompt, bool hidden,
                                              const std::string& initialText)
{
    return m_prompts ? m_prompts->askText(caption, prompt, hidden, initialText) : std::nullopt;
}

} // namespace qb::ui
