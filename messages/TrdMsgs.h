// The message reader "Message Reader": the logged-in person's messages one
// at a time, with From/Subject/Date bound to the table, the text, the flag
// panel, a navigator and Reply/Forward/Print/Delete/Copy/Close/Help. Typing
// into the text starts a direct reply. Table work is ReaderLogic's; the
// controller answers Reply, Forward and the alert.
#pragma once

#include "messages/ReaderLogic.h"

#include <QDialog>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QFrame;
class QPlainTextEdit;
class QPushButton;
class QPrinter;

namespace qb::engine {
class TTzNavigator;
class TTzText;
} // namespace qb::engine

namespace qb::messages {

class TrdMsgs : public QDialog {
    Q_OBJECT
public:
    TrdMsgs(ReaderLogic& logic, QWidget* parent = nullptr);

    // Hooks of the controller.
    std::function<void(const ReplyDraft& draft, bool forward, bool direct, std::uint8_t flags)> onReply;
    std::function<void()> onAlertCleared;   // the reader showed an already read message
    std::function<void()> onDeleteStarts, onDeleteEnds;
    std::function<void(const QString&)> onHelp;
    std::function<QString()> ownName;
    std::function<bool()> outOfOfficeColouring;
    // Chooses the printer; false when the dialog is cancelled. A print
    // dialog by default; tests point the printer at a PDF file.
    std::function<bool(QPrinter&)> choosePrinter;

    // Runs the activation steps (open, position, show the message, mark
    // read). False when the table cannot be opened (the text says so).
    bool activate(std::int64_t& foundRecNo);
    void setFlagCaptions(const std::array<std::string, 7>& siteLabels);

    // The message shown: texts and colours.
    QPlainTextEdit* memo() const { return m_memo; }
    bool shownGreen() const { return m_green; }
    bool flagPanelShown() const;
    std::uint8_t shownFlags() const;
    engine::TTzNavigator* navigator() const { return m_nav; }
    bool directReply() const { return m_directReply; }
    QString fromText() const;

    void navigated();       // after a navigator click
    void fillSubjects();    // "Select a message by subject"
    void chooseSubject(int i);
    void deleteMessage();
    void reply(bool forward);
    bool print();
    // The lines print() puts on paper.
    std::vector<std::string> printout();
    void copyText();
    void startDirectReply();
    void leaveDirectReply();
    void closeReader();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void showMessage();
    void applyLayout();
    void markRead();
    std::vector<std::string> shownLines() const;

    ReaderLogic& m_logic;
    StoredMessage m_shown;
    engine::TTzText* m_from = nullptr;
    engine::TTzText* m_subject = nullptr;
    engine::TTzText* m_date = nullptr;
    QPlainTextEdit* m_memo = nullptr;
    QFrame* m_flagPanel = nullptr;
    std::array<QCheckBox*, 7> m_boxes{};
    engine::TTzNavigator* m_nav = nullptr;
    QComboBox* m_subjects = nullptr;
    QPushButton* m_selectSubject = nullptr;
    QPushButton* m_reply = nullptr;
    QPushButton* m_forward = nullptr;
    bool m_green = false;
    bool m_directReply = false;
    int m_markerLine = -1;
};

} // namespace qb::messages
