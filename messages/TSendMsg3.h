// The send window "Send Message": recipient, date, subject, text and the
// seven flag boxes; the recipients panel for picking names. Created once and
// reused. What a send does is the MessagingController's; this class shows
// the fields and keeps the panel's rules.
#pragma once

#include <QDialog>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace qb::messages {

// The seven flag boxes in window order with their bits.
struct FlagBox {
    const char* caption;
    std::uint8_t bit;
};
extern const std::array<FlagBox, 7> kFlagBoxes;

class TSendMsg3 : public QDialog {
    Q_OBJECT
public:
    explicit TSendMsg3(QWidget* parent = nullptr);

    // Called by the controller.
    std::function<void()> onSend;         // "&Send"
    std::function<void()> onMultipleSend; // the multiple-send button
    std::function<void()> onHelp;
    std::function<void()> onForwardCancelled; // Cancel in the panel while forwarding

    // Fields.
    void setRecipientText(const QString& t);
    QString recipientText() const;
    void setDateText(const QString& t);
    QString dateText() const;
    QLineEdit* subject() const { return m_subject; }
    QPlainTextEdit* memo() const { return m_memo; }
    std::vector<std::string> lines() const; // UTF-8 lines of the memo
    void setLines(const std::vector<std::string>& lines);
    std::uint8_t flags() const;             // ticked bits, without bit 5
    void setFlags(std::uint8_t flags);
    void setFlagCaptions(const std::array<std::string, 7>& siteLabels);
    void setOutOfOffice(bool on);           // yellow subject and memo
    bool outOfOffice() const { return m_outOfOffice; }
    QPushButton* sendButton() const { return m_send; }
    QPushButton* multipleButton() const { return m_multiple; }

    // The recipients panel.
    void setPeople(const std::vector<std::pair<int, std::string>>& people); // fills when empty
    bool panelVisible() const;
    void openPanel();
    // Closes the panel: rebuilds the recipient list from the ticks.
    void closePanel();
    void panelOk();
    void panelReset();
    void panelSelectAll();
    void panelCancel();
    void setTicked(const std::vector<int>& indexes); // for window code and tests
    const std::vector<int>& recipients() const { return m_recipients; }
    void clearRecipients() { m_recipients.clear(); }

    // State the controller sets on each opening.
    QString clickedName;      // the person the window was opened for
    QString defaultMultiple;  // caption of the multiple-send button for the view
    bool forwarding = false;

    void toggleActions(); // "Hide actions" / "Show actions"
    void copyText();
    void pasteText();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* e) override;

private:
    void fitColumns();

    QPushButton* m_to = nullptr;
    QLabel* m_recipient = nullptr;
    QLabel* m_date = nullptr;
    QLineEdit* m_subject = nullptr;
    QPlainTextEdit* m_memo = nullptr;
    QFrame* m_flagPanel = nullptr;
    QPushButton* m_hideActions = nullptr;
    std::array<QCheckBox*, 7> m_boxes{};
    QFrame* m_panel = nullptr;
    QListWidget* m_list = nullptr;
    QPushButton* m_send = nullptr;
    QPushButton* m_multiple = nullptr;
    std::vector<int> m_recipients;
    QString m_savedRecipient;
    bool m_outOfOffice = false;
};

} // namespace qb::messages
