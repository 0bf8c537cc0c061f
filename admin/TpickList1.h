// The remark pick list window: a person picks a predefined remark for a row
// of the board; the administrator maintains the shared list (order, texts,
// colours, additions, deletions) and saves it with "Close".
//
// Created once at program start and reused. The list logic (RemarkList) and
// the dialog seam are borrowed and must outlive the window.
//
// Use from the main window:
//   - pick(name, currentRemark, options, boardTopLeft): modal; the picked
//     remark, or nothing when the window was cancelled. Apply the result's
//     text, colour, in-use flag, own status, icon and activity timer.
//   - maintain(saverIndex, boardTopLeft): modal administrator mode; returns
//     whether the list was saved.
//   - setListFontSize(size) when the board's font size changes (the list is
//     emptied and read again at the next opening).
//   - connect helpRequested(topic) to the help viewer.
// Tests prepare a mode with preparePick()/prepareMaintain(), open() the
// window, drive the widgets (found by their object names) and read result().
// Message boxes and prompts go through the dialog seam, the colour dialog
// through a chooser tests can answer.
#pragma once

#include "admin/RemarkList.h"
#include "core/Dialogs.h"
#include "core/Options.h"
#include "platform/Clock.h"

#include <QColor>
#include <QDialog>
#include <QIcon>

#include <functional>
#include <optional>

class QListWidget;
class QPushButton;
class QWidget;

namespace qb::admin {

class RemarkItemDelegate;

class TpickList1 : public QDialog {
    Q_OBJECT
public:
    // Asks for a colour starting from initial; nothing when cancelled.
    using ColorChooserFn = std::function<std::optional<QColor>(const QColor& initial)>;

    static constexpr const char* kAdminCaption = "Change Remarks or Colors (Admin Mode)";
    static constexpr const char* kPickCaption = "Select a remark for";
    static constexpr const char* kNoSelection = "First select a remark";
    static constexpr const char* kAdminHelpTopic = "html/Maintain the remarks lis.html";
    static constexpr const char* kPickHelpTopic = "html/Changing Your Remark.html";

    TpickList1(RemarkList& list, core::Dialogs& dialogs,
               const platform::Clock& clock = platform::SystemClock::instance(), QWidget* parent = nullptr);

    // --- the two modes ------------------------------------------------------
    std::optional<PickResult> pick(const QString& forName, const QString& currentRemark, const Options& options,
                                   const QPoint& boardTopLeft);
    bool maintain(int saverIndex, const QPoint& boardTopLeft);

    // Prepare without showing: caption, panels, position, list (loaded when
    // empty or a fallback), size. The entry whose text equals currentRemark
    // (any case) is selected.
    void preparePick(const QString& forName, const QString& currentRemark, const Options& options,
                     const QPoint& boardTopLeft);
    void prepareMaintain(int saverIndex, const QPoint& boardTopLeft);
    bool adminMode() const { return m_admin; }
    // The pick of the last showing (nothing when cancelled).
    const std::optional<PickResult>& result() const { return m_result; }
    // True when the last administrator showing ended with a successful save.
    bool saved() const { return m_saved; }

    // Font size of the list (the board's font size; below 8 becomes 8):
    // entries become 2 x size pixels high and the list is emptied so the
    // next opening reads it again.
    void setListFontSize(int size);
    // Window width for a list font size: 8 -> 240, 10 -> 300, 14 -> 380,
    // 24 -> 580, others 330.
    static int widthForFontSize(int size);

    // --- seams --------------------------------------------------------------
    void setColorChooser(ColorChooserFn fn) { m_colorChooser = std::move(fn); }

    QListWidget* listBox() const { return m_listBox; }
    RemarkList& remarks() { return m_list; }
    // The window's icon, shown in the notification area after an Out pick.
    static QIcon pickListIcon();

signals:
    // "&Help": the topic path to show ("html/...").
    void helpRequested(const QString& topic);

public slots:
    void reject() override; // "&Cancel", Escape

protected:
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildUi();
    void prepareCommon(const QPoint& boardTopLeft);
    void fillList(int selectRow);
    void fitSize();
    int selectedRow() const;
    void selectionChanged();
    void tryPick(int row);
    void message(const QString& text);

    void moveUp();
    void moveDown();
    void deleteEntry();
    void addEntry();
    void renameEntry();
    void chooseColor();
    void closeAdmin();
    void showHelp();

    RemarkList& m_list;
    core::Dialogs& m_prompts; // message boxes and prompts
    const platform::Clock& m_clock;
    Options m_options;
    bool m_admin = false;
    int m_saverIndex = 0;
    int m_fontSize = 10;
    std::optional<PickResult> m_result;
    bool m_saved = false;
    ColorChooserFn m_colorChooser;

    QListWidget* m_listBox = nullptr;
    RemarkItemDelegate* m_delegate = nullptr;
    QWidget* m_adminPanel = nullptr;
    QWidget* m_bottomPanel = nullptr;
    QPushButton* m_upBtn = nullptr;
    QPushButton* m_downBtn = nullptr;
    QPushButton* m_deleteBtn = nullptr;
    QPushButton* m_addBtn = nullptr;
    QPushButton* m_renameBtn = nullptr;
    QPushButton* m_closeBtn = nullptr;
    QPushButton* m_colorBtn = nullptr;
    QPushButton* m_cancelBtn = nullptr;
    QPushButton* m_helpBtn = nullptr;
};

} // namespace qb::admin
