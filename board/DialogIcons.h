// Icons of message boxes and dialogs from the desktop's icon theme
// ("dialog-information", "dialog-question", "dialog-warning", "dialog-error"),
// falling back to small images of our own built into the program, never to
// the toolkit's old built-in bitmaps.
#pragma once

#include <QIcon>
#include <QProxyStyle>

namespace qb::board {

// Serves the four dialog icons as described above; every other request goes
// to the style it wraps.
class DialogIconStyle : public QProxyStyle {
    Q_OBJECT
public:
    using QProxyStyle::QProxyStyle;
    QIcon standardIcon(StandardPixmap which, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};

// The theme icon for a message-box pixmap, or the bundled one; a null icon
// for anything that is not a message-box icon.
QIcon dialogIcon(QStyle::StandardPixmap which);

// Once, after the application object exists: when the desktop names no icon
// theme that has dialog icons (a bare X session, for example), Adwaita is
// looked in as well; then the application style is wrapped in
// DialogIconStyle.
void useDesktopDialogIcons();

} // namespace qb::board
