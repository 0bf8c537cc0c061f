#include "LoginPanel.h"

#include "board/BoardWindowLogic.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace qb::board {

namespace {

// The name drop-down fills itself from the board the moment it opens.
class LoginNameBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> beforePopup;
    void showPopup() override
    {
        if (beforePopup)
            beforePopup();
        QComboBox::showPopup();
    }
};

} // namespace

LoginPanel::LoginPanel(std::function<std::vector<std::string>()> names, QWidget* parent)
    : QFrame(parent), m_names(std::move(names))
{
    setObjectName(QStringLiteral("PwdPanel"));
    setFrameShape(QFrame::StyledPanel);

    auto* box = new LoginNameBox(this);
    box->beforePopup = [this] { fillNames(); };
    m_loginNames = box;
    m_loginNames->setObjectName(QStringLiteral("LoginNames"));
    m_loginNames->setEditable(true);
    m_loginNames->setInsertPolicy(QComboBox::NoInsert);
    m_loginNames->setMaxVisibleItems(20);
    m_loginNames->setMinimumWidth(220);
    // Enter in the name box goes on to the password.
    connect(m_loginNames->lineEdit(), &QLineEdit::returnPressed, this, [this] {
        m_edit1->setFocus(Qt::TabFocusReason);
        m_edit1->selectAll();
    });

    m_edit1 = new QLineEdit(this);
    m_edit1->setObjectName(QStringLiteral("Edit1"));
    m_edit1->setEchoMode(QLineEdit::Password);

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("OK"));
    m_ok->setDefault(true);
    m_ok->setEnabled(false);
    auto* help = new QPushButton(QStringLiteral("Help"), this);
    help->setObjectName(QStringLiteral("HelpButton"));
    auto* show = new QPushButton(QStringLiteral("Show Names"), this);
    show->setObjectName(QStringLiteral("ShowNames"));

    m_label2 = new QLabel(this);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_label2->setMinimumWidth(300);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Name:"), this), 0, 0);
    grid->addWidget(m_loginNames, 0, 1);
    grid->addWidget(m_ok, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Password:"), this), 1, 0);
    grid->addWidget(m_edit1, 1, 1);
    grid->addWidget(help, 1, 2);
    grid->addWidget(show, 2, 2);
    grid->addWidget(m_label2, 2, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    connect(m_ok, &QPushButton::clicked, this, &LoginPanel::okClicked);
    connect(m_edit1, &QLineEdit::returnPressed, this, &LoginPanel::okClicked);
    connect(help, &QPushButton::clicked, this, &LoginPanel::helpClicked);
    connect(show, &QPushButton::clicked, this, &LoginPanel::showNamesClicked);
    connect(m_loginNames, &QComboBox::activated, this, [this] { m_edit1->setFocus(); });
}

std::string LoginPanel::name() const { return m_loginNames->currentText().toStdString(); }

std::string LoginPanel::password() const { return m_edit1->text().toStdString(); }

void LoginPanel::setName(const std::string& name) { m_loginNames->setEditText(QString::fromStdString(name)); }

void LoginPanel::setPassword(const std::string& password) { m_edit1->setText(QString::fromStdString(password)); }

void LoginPanel::clearPassword() { m_edit1->clear(); }

void LoginPanel::setGreeting(const std::string& text) { m_label2->setText(QString::fromStdString(text)); }

void LoginPanel::focusPassword() { m_edit1->setFocus(); }

void LoginPanel::enableOk() { m_ok->setEnabled(true); }

void LoginPanel::fillNames()
{
    if (m_loginNames->count() > 0 || !m_names)
        return;
    const QString typed = m_loginNames->currentText();
    for (const std::string& name : m_names())
        m_loginNames->addItem(QString::fromStdString(name));
    m_loginNames->setCurrentIndex(-1);
    m_loginNames->setEditText(typed);
}

void LoginPanel::emptyNames()
{
    const QString typed = m_loginNames->currentText();
    m_loginNames->clear();
    m_loginNames->setEditText(typed);
}

void LoginPanel::openNames() { m_loginNames->showPopup(); }

int LoginPanel::neededWidth()
{
    adjustSize();
    return loginPanelWidth(sizeHint().width(), m_label2->x(), m_label2->width());
}

} // namespace qb::board
