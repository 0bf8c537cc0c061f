// The login panel (PwdPanel) of the main window: the name drop-down
// (LoginNames), the password box (Edit1), OK, Help, Show Names and the
// greeting line (Label2). The panel only collects and shows; the window
// hands what OK gathered to the session.
#pragma once

#include <QFrame>

#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qb::board {

class LoginPanel : public QFrame {
    Q_OBJECT
public:
    // names gives the drop-down's entries; it is asked when the list opens
    // while empty.
    LoginPanel(std::function<std::vector<std::string>()> names, QWidget* parent);

    std::string name() const;
    std::string password() const;
    void setName(const std::string& name);
    void setPassword(const std::string& password);
    void clearPassword();
    void setGreeting(const std::string& text);
    void focusPassword();
    // OK stays disabled until the start-up has loaded the board.
    void enableOk();
    // The drop-down is emptied (the typed name stays) and filled anew when
    // it next opens, so it shows the names of the last load.
    void emptyNames();
    void openNames();
    // The window width the panel needs (see loginPanelWidth).
    int neededWidth();

signals:
    void okClicked();
    void helpClicked();
    void showNamesClicked();

private:
    void fillNames();

    std::function<std::vector<std::string>()> m_names;
    QComboBox* m_loginNames = nullptr;
    QLineEdit* m_edit1 = nullptr;
    QPushButton* m_ok = nullptr;
    QLabel* m_label2 = nullptr;
};

} // namespace qb::board
