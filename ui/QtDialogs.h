// The program's dialog seam (core::Dialogs) on the desktop: QMessageBox for
// the boxes, the prompt window (borrowed) for date, time and text prompts.
//
// A box's parent is the modal window in front (a pick list, the prompt
// window), else the main window, so it stays above whatever asked.
#pragma once

#include "core/Dialogs.h"

#include <QPointer>
#include <QWidget>

namespace qb::ui {

class QtDialogs final : public core::Dialogs {
public:
    // The caption of a box unless the caller names one.
    static constexpr const char* kTitle = "Quellboard Pro";

    // window and prompts are borrowed; either may be absent.
    explicit QtDialogs(QWidget* window = nullptr, core::PromptService* prompts = nullptr);

    Answer message(Box box, const std::string& text, Buttons buttons, std::optional<core::ScreenPoint> at = std::nullopt,
                   const std::string& caption = {}, std::optional<Answer> defaultButton = std::nullopt) override;

    // Without a prompt window every prompt is a Cancel.
    std::optional<double> askDate() override;
    std::optional<std::string> askTime() override;
    std::optional<std::string> askText(const std::string& caption, const std::string& prompt, bool hidden,
                                       const std::string& initialText = {}) override;

private:
    QPointer<QWidget> m_window;
    core::PromptService* m_prompts = nullptr;
};

} // namespace qb::ui
