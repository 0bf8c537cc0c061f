// The "Options" window: one person's options record shown through 23
// data-aware check boxes on four tabs, the two interval lists, and for the
// administrator the rights (lime: the person may change the option himself),
// site-wide captions ("&Text"), "&Chg All" and, in adding mode, the group box
// that adds new names starting with the options shown.
//
// A new window for each use (it is not reused): build it with the opener's
// caption and target, exec() it, read closeResult(). Everything it does to
// the tables goes through OptionsEditor and addPerson; the window only
// turns clicks into those calls and paints the result.
#pragma once

#include "admin/NameAdmin.h"
#include "admin/OptionsEditor.h"

#include <QDialog>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace qb::engine {
class TTzCheckBox;
}
namespace qb::core {
class Dialogs;
}

namespace qb::admin {

class TOptionsForm : public QDialog {
    Q_OBJECT
public:
    struct Context {
        board::Station* station = nullptr; // engine, clock and data directory of this station
        bool adminMode = false;
        const Options* inMemory = nullptr; // the program's options; rights and values of a created record
        QString caption;                   // decides the mode (kOwnOptionsCaption, adminOptionsCaption, kAddingCaption)
        int target = -1;                   // board index shown (own or clicked)
        QString lastGroup;                 // "Group:" starts with it (adding)
        core::Dialogs* dialogs = nullptr;  // boxes and the label prompt; none: nothing is shown
        // Group items of the board's View menu, for the "Group:" list.
        std::function<QStringList()> groups;
        // A name was added (board index, name, group as stored): the opener
        // reloads the board and may show the new person's information card.
        std::function<void(int boardIndex, const QString& name, const QString& group)> nameAdded;
        std::function<void(const QString& topic)> help;
        std::function<void()> testSound;
    };

    static constexpr int kOwnHeight = 215;
    static constexpr int kAddingHeight = 320;
    static constexpr const char* kHelpTopic = "html/Selecting Options.html";

    explicit TOptionsForm(Context context, QWidget* parent = nullptr);
    ~TOptionsForm() override;

    OptionsEditor& editor() { return *m_editor; }
    // Runs the table part of the opening (normally posted after the window
    // shows); does nothing the second time.
    void initialise();
    // What closing wrote (valid after the window closed).
    CloseResult closeResult() const { return m_closeResult; }
    // The group last chosen or typed in the add box (at most 40 characters).
    const QString& currentGroup() const { return m_currentGroup; }
    engine::TTzCheckBox* box(int n) const;

    // Colours the window paints with.
    static QColor lime() { return QColor(0, 255, 0); }
    static QColor yellow() { return QColor(255, 255, 0); }

signals:
    void closedWith(qb::admin::CloseResult result);

protected:
    void showEvent(QShowEvent* e) override;
    void done(int r) override;

private:
    void buildWidgets();
    void placeBox(int n, QWidget* page, int row);
    void paintRights();
    void paintLabels();
    void showIntervals();
    void rightClickBox(int n);
    void rightClickRefreshLabel();
    void rightClickMessageLabel();
    void startLabelEditing();
    void changeAll();
    void addName();
    void fillGroups();
    void tell(const QString& text, bool warning = true);
    static void paintBackground(QWidget* w, const QColor& c);

    Context m_ctx;
    std::unique_ptr<OptionsEditor> m_editor;
    bool m_initialised = false;
    CloseResult m_closeResult = CloseResult::NothingToWrite;
    QString m_currentGroup;

    QTabWidget* m_notebook = nullptr;
    std::array<engine::TTzCheckBox*, kOptionCount + 1> m_boxes {};
    QLabel* m_refreshLabel = nullptr;
    QLabel* m_messageLabel = nullptr;
    QComboBox* m_refreshList = nullptr;
    QComboBox* m_messageList = nullptr;
    QPushButton* m_testSound = nullptr;
    QPushButton* m_help = nullptr;
    QPushButton* m_close = nullptr;
    QPushButton* m_textPanel = nullptr;
    QPushButton* m_changeAll = nullptr;
    QLabel* m_errorLabel = nullptr;
    QGroupBox* m_addGroup = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QComboBox* m_groupList = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_selectGroup = nullptr;
};

} // namespace qb::admin
