#include "TInfoScrn1.h"

#include "core/Dialogs.h"
#include "engine/controls/TTzEdit.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace qb::planner {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

const char* const kEditNames[kInfoFieldCount] = {"NameEdit",  "TitleEdit",    "PhoneEdit", "ExtraEdit",   "EmailEdit",
                                                 "PagerEdit", "DivisionEdit", "FaxEdit",   "NotesTxtEdit"};
const QString kModifyLabels = QStringLiteral("&Modify Labels");
const QString kUpdateLabels = QStringLiteral("Update Labels");

} // namespace

TInfoScrn1::TInfoScrn1(engine::Engine& engine, const QString& dataDir, QWidget* parent, Pause pause)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_info(engine, dataDir.toStdString(), std::move(pause))
{
    setObjectName(QStringLiteral("InfoScrn1"));
    setWindowTitle(QStringLiteral("Employee Information"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(8);
    fields->setVerticalSpacing(4);
    for (int i = 0; i < kInfoFieldCount; ++i) {
        auto* label = new QLabel(q(defaultCaption(i)), this);
        label->setObjectName(QStringLiteral("Caption%1").arg(i + 1));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* edit = new engine::TTzEdit(this);
        edit->setObjectName(QString::fromLatin1(kEditNames[i]));
        edit->setDataSource(&m_info.table());
        edit->setDataField(QString::fromLatin1(kInfoFields[static_cast<std::size_t>(i)]));
        label->setBuddy(edit);
        connect(edit, &QLineEdit::textEdited, this, [this] { m_modified = true; });
        fields->addWidget(label, i, 0);
        fields->addWidget(edit, i, 1);
        m_captions[static_cast<std::size_t>(i)] = label;
        m_edits[static_cast<std::size_t>(i)] = edit;
    }
    fields->setColumnStretch(1, 1);
    layout->addLayout(fields);
    m_captions[kNotesCaption]->hide();
    m_edits[kNotesCaption]->hide();

    m_notes = new QPlainTextEdit(this);
    m_notes->setObjectName(QStringLiteral("NotesMemo"));
    m_notes->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_notes->setMinimumHeight(120);
    connect(m_notes, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_loading)
            m_modified = true;
    });
    layout->addWidget(m_notes, 1);

    auto* buttons = new QHBoxLayout;
    auto button = [&](const QString& caption, const QString& name) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    m_erase = button(QStringLiteral("&Erase Notes"), QStringLiteral("EraseNotes"));
    m_help = button(QStringLiteral("&Help"), QStringLiteral("HelpBtn"));
    m_labels = button(kModifyLabels, QStringLiteral("ModifyLabels"));
    buttons->addStretch(1);
    m_close = button(QStringLiteral("&Close"), QStringLiteral("CloseBtn"));
    layout->addLayout(buttons);
    connect(m_erase, &QPushButton::clicked, this, &TInfoScrn1::eraseNotes);
    connect(m_help, &QPushButton::clicked, this, [this] { emit helpRequested(QString::fromLatin1(kHelpTopic)); });
    connect(m_labels, &QPushButton::clicked, this, &TInfoScrn1::modifyLabels);
    connect(m_close, &QPushButton::clicked, this, &TInfoScrn1::closeClicked);
    resize(560, 480);
}

void TInfoScrn1::setPerson(int ident, const QString& name, int userIdent, bool adminLoggedIn, bool everyoneMayChange)
{
    m_ident = ident;
    m_name = name;
    m_userIdent = userIdent;
    m_admin = adminLoggedIn;
    m_everyone = everyoneMayChange;
}

void TInfoScrn1::inform(const QString& text)
{
    if (m_dialogs)
        m_dialogs->message(core::Dialogs::Box::Warning, text.toStdString(), core::Dialogs::Buttons::Ok, std::nullopt,
                           windowTitle().toStdString());
}

bool TInfoScrn1::labelMode() const { return m_labels->text() == kUpdateLabels; }

bool TInfoScrn1::editable() const { return infoEditable(m_ident, m_userIdent, m_admin, m_everyone); }

void TInfoScrn1::setNotesText(const QString& text)
{
    m_loading = true;
    m_notes->setPlainText(text);
    m_loading = false;
}

void TInfoScrn1::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());
    activate();
}

void TInfoScrn1::activate()
{
    m_modified = false;
    m_closing = false;
    setNotesText(QString());
    if (!m_info.open()) {
        setNotesText(QStringLiteral(" \n") + QString::fromLatin1(InfoTable::kUnableText));
        applyRights();
        m_erase->setEnabled(false);
        QTimer::singleShot(4000, this, [this] {
            if (isVisible() && !m_info.isOpen())
                closeClicked();
        });
        return;
    }
    if (m_captionsDue) {
        showCaptions();
        m_captionsDue = false;
    }
    m_info.showCard(m_ident, m_name.toStdString());
    finishActivation();
}

void TInfoScrn1::finishActivation()
{
    if (!m_info.isOpen())
        return;
    if (m_notes->toPlainText().isEmpty() && !labelMode())
        setNotesText(q(m_info.card().notes));
    m_modified = false;
    applyRights();
}

void TInfoScrn1::applyRights()
{
    const bool mayEdit = editable() && m_info.isOpen();
    for (int i = 0; i < kInfoFieldCount; ++i) {
        engine::TTzEdit* e = m_edits[static_cast<std::size_t>(i)];
        e->setLinkReadOnly(!mayEdit);
        e->setFocusPolicy(mayEdit ? Qt::StrongFocus : Qt::NoFocus);
    }
    m_notes->setReadOnly(!mayEdit || labelMode());
    m_erase->setEnabled(mayEdit);
    m_help->setVisible(m_admin);
    m_labels->setVisible(m_admin);
    if (!mayEdit)
        m_close->setFocus();
}

void TInfoScrn1::showCaptions()
{
    const auto texts = m_info.captions();
    for (int i = 0; i < kInfoFieldCount; ++i)
        m_captions[static_cast<std::size_t>(i)]->setText(q(texts[static_cast<std::size_t>(i)]));
}

void TInfoScrn1::eraseNotes()
{
    if (!editable())
        return;
    m_notes->clear();
    m_notes->setFocus();
    m_modified = true;
}

InfoCard TInfoScrn1::cardFromWindow()
{
    // What is typed but not yet written into the record goes there first.
    for (engine::TTzEdit* e : m_edits)
        e->link().updateRecord();
    InfoCard card = m_info.card();
    card.notes = m_notes->toPlainText().toStdString();
    return card;
}

QString TInfoScrn1::savedText(InfoTable::Saved r) const
{
    if (r == InfoTable::Saved::Locked)
        return QStringLiteral("The card was not saved: another station is writing it right now.\n"
                              "Your changes are still here; click Close again in a moment.");
    return QStringLiteral("The card was not saved: moreinfo.dbf could not be written.\n"
                          "Your changes are still here; click Close to try again.");
}

void TInfoScrn1::modifyLabels()
{
    if (!m_admin || !m_info.isOpen())
        return;
    if (!labelMode()) {
        setNotesText(QStringLiteral(" Admin Mode\n\n"
                                    "To change the descriptive label of any field, click the Modify Labels button,\n"
                                    "Modify the text beside the label and finally, click on the Update Labels button\n"
                                    " to save your changes."));
        m_labels->setText(kUpdateLabels);
        m_captions[kNotesCaption]->show();
        m_edits[kNotesCaption]->show();
        m_modified = false;
        m_info.showCaptionRecord();
        m_notes->setReadOnly(true);
        return;
    }
    for (engine::TTzEdit* e : m_edits)
        e->link().updateRecord();
    const InfoTable::Saved r = m_info.saveCaptions(m_info.card().fields);
    if (r != InfoTable::Saved::Saved) {
        inform(savedText(r));
        return;
    }
    m_modified = false;
    showCaptions();
}

void TInfoScrn1::closeClicked()
{
    if (m_closing)
        return;
    m_closing = true;
    if (m_modified && m_info.isOpen()) {
        InfoTable::Saved r = InfoTable::Saved::Saved;
        if (labelMode()) {
            for (engine::TTzEdit* e : m_edits)
                e->link().updateRecord();
            r = m_info.saveCaptions(m_info.card().fields);
        } else {
            r = m_info.save(cardFromWindow());
        }
        if (r != InfoTable::Saved::Saved) {
            m_closing = false;
            inform(savedText(r));
            return;
        }
        if (labelMode())
            showCaptions();
    }
    m_modified = false;
    m_captions[kNotesCaption]->hide();
    m_edits[kNotesCaption]->hide();
    m_labels->setText(kModifyLabels);
    m_info.close();
    QDialog::reject();
}

void TInfoScrn1::reject() { closeClicked(); }

} // namespace qb::planner
