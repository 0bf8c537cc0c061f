#include "DialogIcons.h"

#include <QApplication>
#include <QStyleFactory>

namespace qb::board {

namespace {

struct DialogIconName {
    QStyle::StandardPixmap pixmap;
    const char* theme;
};

constexpr DialogIconName kDialogIcons[] = {
    {QStyle::SP_MessageBoxInformation, "dialog-information"},
    {QStyle::SP_MessageBoxQuestion, "dialog-question"},
    {QStyle::SP_MessageBoxWarning, "dialog-warning"},
    {QStyle::SP_MessageBoxCritical, "dialog-error"},
};

} // namespace

QIcon dialogIcon(QStyle::StandardPixmap which)
{
    for (const DialogIconName& d : kDialogIcons) {
        if (d.pixmap == which) {
            const QString name = QString::fromLatin1(d.theme);
            return QIcon::fromTheme(name, QIcon(QStringLiteral(":/qb/icons/") + name + QStringLiteral(".png")));
        }
    }
    return {};
}

QIcon DialogIconStyle::standardIcon(StandardPixmap which, const QStyleOption* option, const QWidget* widget) const
{
    QIcon icon = dialogIcon(which);
    return icon.isNull() ? QProxyStyle::standardIcon(which, option, widget) : icon;
}

void useDesktopDialogIcons()
{
    const QString probe = QStringLiteral("dialog-information");
    if (!QIcon::hasThemeIcon(probe)) {
        const QString adwaita = QStringLiteral("Adwaita");
        if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
            QIcon::setThemeName(adwaita);
        else
            QIcon::setFallbackThemeName(adwaita);
    }
    QStyle* base = QStyleFactory::create(QApplication::style()->name());
    QApplication::setStyle(new DialogIconStyle(base));
}

} // namespace qb::board
