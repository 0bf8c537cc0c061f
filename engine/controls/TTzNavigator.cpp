#include "TTzNavigator.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QStyle>
#include <QToolButton>

namespace qb::engine {

namespace {
QIcon buttonIcon(QStyle* style, TNavigateBtn b)
{
    // A site may ship its own images as resources named "tzn_" + button name.
    QIcon own(QStringLiteral(":/tzn_%1").arg(QLatin1String(navButtonName(b))));
    if (!own.availableSizes().isEmpty())
        return own;
    switch (b) {
    case TNavigateBtn::nbFirst: return style->standardIcon(QStyle::SP_MediaSkipBackward);
    case TNavigateBtn::nbPrior: return style->standardIcon(QStyle::SP_MediaSeekBackward);
    case TNavigateBtn::nbNext: return style->standardIcon(QStyle::SP_MediaSeekForward);
    case TNavigateBtn::nbLast: return style->standardIcon(QStyle::SP_MediaSkipForward);
    case TNavigateBtn::nbInsert: return style->standardIcon(QStyle::SP_FileDialogNewFolder);
    case TNavigateBtn::nbDelete: return style->standardIcon(QStyle::SP_TrashIcon);
    case TNavigateBtn::nbEdit: return style->standardIcon(QStyle::SP_FileDialogDetailedView);
    case TNavigateBtn::nbPost: return style->standardIcon(QStyle::SP_DialogApplyButton);
    case TNavigateBtn::nbCancel: return style->standardIcon(QStyle::SP_DialogCancelButton);
    case TNavigateBtn::nbRefresh: return style->standardIcon(QStyle::SP_BrowserReload);
    }
    return {};
}
} // namespace

TTzNavigator::TTzNavigator(QWidget* parent) : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (int i = 0; i < kNavButtonCount; ++i) {
        const auto b = static_cast<TNavigateBtn>(i);
        auto* tb = new QToolButton(this);
        tb->setObjectName(QStringLiteral("nb%1").arg(QLatin1String(navButtonName(b))));
        tb->setToolTip(QString::fromLatin1(navDefaultHint(b)));
        tb->setAutoRaise(false);
        connect(tb, &QToolButton::clicked, this, [this, b] { click(b); });
        row->addWidget(tb);
        m_buttons[static_cast<std::size_t>(i)] = tb;
    }
    confirm = [this](const std::string& question) {
        return QMessageBox::question(this, QString(), QString::fromStdString(question),
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    m_link.changed = [this] { updateButtons(); };
    updateButtons();
}

void TTzNavigator::showEvent(QShowEvent* e)
{
    // Looking up ten theme icons costs more than building the window: done
    // when it is first shown, not when the program creates its windows.
    if (!m_iconsSet) {
        m_iconsSet = true;
        for (int i = 0; i < kNavButtonCount; ++i)
            m_buttons[static_cast<std::size_t>(i)]->setIcon(buttonIcon(style(), static_cast<TNavigateBtn>(i)));
    }
    QWidget::showEvent(e);
}

void TTzNavigator::setDataSource(TTzDataSource* source)
{
    m_link.setDataSource(source);
    updateButtons();
}

void TTzNavigator::setVisibleButtons(const std::set<TNavigateBtn>& buttons)
{
    for (int i = 0; i < kNavButtonCount; ++i)
        m_buttons[static_cast<std::size_t>(i)]->setVisible(buttons.count(static_cast<TNavigateBtn>(i)) > 0);
}

void TTzNavigator::setHints(const QStringList& hints)
{
    for (int i = 0; i < kNavButtonCount; ++i) {
        const auto b = static_cast<TNavigateBtn>(i);
        const bool own = i < hints.size() && !hints.at(i).isEmpty();
        m_buttons[static_cast<std::size_t>(i)]->setToolTip(own ? hints.at(i) : QString::fromLatin1(navDefaultHint(b)));
    }
}

QString TTzNavigator::hint(TNavigateBtn b) const { return button(b)->toolTip(); }

void TTzNavigator::click(TNavigateBtn b)
{
    navClick(m_link.dataSource(), b, confirmDelete, confirmRestore, confirm);
    updateButtons();
    if (onClick)
        onClick(this, b);
}

bool TTzNavigator::buttonEnabled(TNavigateBtn b) const { return button(b)->isEnabled(); }

void TTzNavigator::updateButtons()
{
    const NavButtonFlags on = navEnabledButtons(m_link.dataSource(), isEnabled());
    for (int i = 0; i < kNavButtonCount; ++i)
        m_buttons[static_cast<std::size_t>(i)]->setEnabled(on[static_cast<std::size_t>(i)]);
}

void TTzNavigator::changeEvent(QEvent* e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::EnabledChange)
        updateButtons();
}

} // namespace qb::engine
