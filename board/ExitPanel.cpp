#include "board/ExitPanel.h"

#include "core/Colors.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace qb::board {
namespace {

void paint(QRadioButton* b, std::uint8_t code)
{
    const Rgb c = colorOfCode(code);
    QPalette p = b->palette();
    p.setColor(QPalette::Window, QColor(c.r, c.g, c.b));
    b->setAutoFillBackground(true);
    b->setPalette(p);
}

} // namespace

ExitPanel::ExitPanel(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("ExitPanel"));
    setFrameShape(QFrame::StyledPanel);
    auto* question = new QLabel(QStringLiteral("Do you want to exit?"), this);
    auto* yes = new QPushButton(QStringLiteral("&Yes"), this);
    yes->setObjectName(QStringLiteral("YesButton"));
    auto* no = new QPushButton(QStringLiteral("&No"), this);
    no->setObjectName(QStringLiteral("NoButton"));
    m_group = new QGroupBox(QStringLiteral("After exiting, my remark will be: "), this);
    m_group->setObjectName(QStringLiteral("ExitGroup"));
    m_in = new QRadioButton(m_group);
    m_in->setObjectName(QStringLiteral("InButton1"));
    m_out = new QRadioButton(m_group);
    m_out->setObjectName(QStringLiteral("OutButton1"));
    m_current = new QRadioButton(m_group);
    m_current->setObjectName(QStringLiteral("CurrentButton3"));
    auto* choices = new QVBoxLayout(m_group);
    choices->addWidget(m_in);
    choices->addWidget(m_out);
    choices->addWidget(m_current);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(yes);
    buttons->addWidget(no);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(question);
    layout->addLayout(buttons);
    layout->addWidget(m_group);
    connect(yes, &QPushButton::clicked, this, [this] { emit answered(true); });
    connect(no, &QPushButton::clicked, this, [this] { emit answered(false); });
    hide();
}

void ExitPanel::present(const ExitPanelState& s)
{
    m_in->setText(QString::fromStdString(s.inCaption));
    m_out->setText(QString::fromStdString(s.outCaption));
    paint(m_in, s.inCode);
    paint(m_out, s.outCode);
    m_current->setVisible(s.currentShown);
    if (s.currentShown) {
        m_current->setText(QString::fromStdString(s.currentCaption));
        paint(m_current, s.currentCode);
    }
    QRadioButton* checked = s.checked == ExitPick::In ? m_in : s.checked == ExitPick::Out ? m_out : m_current;
    checked->setChecked(true);
}

ExitPick ExitPanel::checked() const
{
    if (m_in->isChecked())
        return ExitPick::In;
    if (m_out->isChecked())
        return ExitPick::Out;
    return ExitPick::Current;
}

} // namespace qb::board
