// "Employee Information": one person's card of moreinfo.dbf in nine
// data-aware edits and a notes box. The person, the administrator (or
// everyone, when the workstation allows it) may change it; the administrator
// may rename the captions for the whole office ("&Modify Labels").
// Created once and shown modally; the table is open while it is shown.
//
// "&Close" writes a changed card under the record lock; when the lock stays
// refused the user is told and the window stays open with the edits.
#pragma once

#include "planner/InfoCard.h"

#include <QDialog>
#include <QString>

#include <array>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace qb::core {
class Dialogs;
}
namespace qb::engine {
class TTzEdit;
}

namespace qb::planner {

class TInfoScrn1 : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kHelpTopic = "html/Updating the Employee Information.html";

    TInfoScrn1(engine::Engine& engine, const QString& dataDir, QWidget* parent = nullptr,
               Pause pause = sleepingPause());

    // Before each showing: whose card, and who is looking at it.
    void setPerson(int ident, const QString& name, int userIdent, bool adminLoggedIn, bool everyoneMayChange);

    engine::TTzEdit* edit(int i) const { return m_edits[static_cast<std::size_t>(i)]; }
    QLabel* caption(int i) const { return m_captions[static_cast<std::size_t>(i)]; }
    QPlainTextEdit* notes() const { return m_notes; }
    InfoTable& info() { return m_info; }
    bool modified() const { return m_modified; }
    bool labelMode() const;

    // Where the window's boxes go (borrowed); without, nothing is shown.
    void setDialogs(core::Dialogs* dialogs) { m_dialogs = dialogs; }

signals:
    // "&Help": the board shows the topic.
    void helpRequested(const QString& topic);

public slots:
    // What every showing does: open the table, find or append the card, show it.
    void activate();
    void eraseNotes();
    void modifyLabels();
    // "&Close": saves a changed card; stays open when it could not be saved.
    void closeClicked();
    void reject() override; // Escape: as "&Close"

protected:
    void showEvent(QShowEvent* event) override;

private:
    void finishActivation();
    void showCaptions();
    bool editable() const;
    void applyRights();
    InfoCard cardFromWindow();
    void setNotesText(const QString& text);
    QString savedText(InfoTable::Saved r) const;
    void inform(const QString& text);

    InfoTable m_info;
    core::Dialogs* m_dialogs = nullptr;
    int m_ident = 0;
    QString m_name;
    int m_userIdent = -1;
    bool m_admin = false;
    bool m_everyone = false;
    bool m_modified = false;
    bool m_loading = false;
    bool m_captionsDue = true;
    bool m_closing = false;

    std::array<engine::TTzEdit*, kInfoFieldCount> m_edits{};
    std::array<QLabel*, kInfoFieldCount> m_captions{};
    QPlainTextEdit* m_notes = nullptr;
    QPushButton* m_erase = nullptr;
    QPushButton* m_help = nullptr;
    QPushButton* m_labels = nullptr;
    QPushButton* m_close = nullptr;
};

} // namespace qb::planner
