// What the options window does, without the window: one person's record of
// the configuration table held open in edit state while the window shows it,
// the rights shown and enforced, the interval lists, site-wide captions,
// "Chg All", and the single write when the window closes.
//
// The table stays open (one work area) from open() to close(); data-aware
// check boxes bind to table() and write into its record buffer. Nothing
// reaches the file before close() except "Chg All", a created record and a
// caption change.
#pragma once

#include "admin/ConfigTable.h"
#include "core/Options.h"
#include "engine/Engine.h"
#include "engine/TTzDbf.h"
#include "platform/Clock.h"

#include <functional>
#include <string>
#include <vector>

namespace qb::admin {

enum class OptionsMode {
    Own,          // a person's own options
    AdminEditing, // the administrator editing one person's options and rights
    Adding,       // the administrator adding names that start with the options shown
};

// Window captions the openers give; the mode is read back from the caption.
inline constexpr const char* kOwnOptionsCaption = "Options";
inline constexpr const char* kAddingCaption = "Add New Names and set Options";
inline constexpr const char* kLockedCaption = "Options database file is locked. No changes are allowed";
inline constexpr const char* kProblemCaption = "Problem with database file qb3cfg3.dbf on the server.";
inline constexpr const char* kLabelEditingCaption = "Right click to change label";
std::string adminOptionsCaption(const std::string& name);
OptionsMode optionsModeFor(bool adminMode, const std::string& caption);

// Texts of the interval lists for a stored tick count (half seconds).
std::string refreshIntervalText(int ticks);
std::string messageIntervalText(int ticks);
// Tick count of a list entry; -1 (nothing selected) counts as "1 minute"
// for the refresh list and "40 seconds" for the message list.
int refreshTicksOfEntry(int entry);
int messageTicksOfEntry(int entry);

enum class CloseResult { NothingToWrite, Written, NotWritable, LockFailed, WriteFailed };

class OptionsEditor {
public:
    // inMemory: the program's option values and rights, used for a record
    // that has to be created. It must outlive the editor.
    OptionsEditor(engine::Engine& engine, const platform::Clock& clock, std::string dataDir, bool adminMode,
                  const Options& inMemory);
    ~OptionsEditor();
    OptionsEditor(const OptionsEditor&) = delete;
    OptionsEditor& operator=(const OptionsEditor&) = delete;

    // Opens the tables and the target's record (creating it when missing).
    // caption: the opener's caption, which decides the mode; target: the
    // board index whose record is shown (in adding mode the administrator's
    // record 0, which holds the options new names start with).
    void open(const std::string& caption, int target);

    OptionsMode mode() const { return m_mode; }
    const std::string& caption() const { return m_caption; }
    int target() const { return m_target; }
    bool adminMode() const { return m_admin; }
    // The table opened only for reading, or the record could not be had:
    // every right shows as withheld.
    bool readOnly() const { return m_readOnly; }
    // The table could not be opened at all ("  Error  " shown).
    bool openError() const { return m_openError; }
    // Something differs from what the window first showed (or was toggled).
    bool dirty();
    // "&Text" and "&Chg All" are offered to the administrator, not when adding.
    bool adminButtonsVisible() const { return m_admin && m_mode != OptionsMode::Adding; }

    // Options the table offers (fields / 2 - 1, at most 23).
    int optionCount() const { return m_optionCount; }
    // The caption shown for option n: the site-wide label when not blank.
    const std::string& optionCaption(int n) const;
    // Field names a check box binds to.
    static std::string valueField(int n) { return "value" + std::to_string(n); }
    static std::string rightField(int n) { return "usercan" + std::to_string(n); }

    // The person may change option n himself (shown lime; withheld: button face).
    bool right(int n);
    // The check box of option n cannot be ticked.
    bool boxReadOnly(int n) { return !m_admin && !right(n); }
    bool value(int n);
    // Ticks or clears option n in the record buffer; false (nothing changed)
    // when the box is read-only.
    bool setValue(int n, bool on);
    // Administrator: grants or withdraws the right for option n.
    bool toggleRight(int n);

    // Interval labels: lime while the person may change the interval.
    bool refreshUnlocked();
    bool messageUnlocked();
    bool refreshListEnabled() { return refreshUnlocked() || m_admin; }
    bool messageListEnabled() { return messageUnlocked() || m_admin; }
    bool toggleRefreshLock();
    bool toggleMessageLock();
    int refreshTicks();
    int messageTicks();
    std::string refreshText() { return refreshIntervalText(refreshTicks()); }
    std::string messageText() { return messageIntervalText(messageTicks()); }
    // A list entry was chosen (-1: none selected). False when the list is disabled.
    bool chooseRefresh(int entry);
    bool chooseMessage(int entry);

    // "&Text": caption editing until the window closes.
    void startLabelEditing();
    bool labelEditing() const { return m_labelEditing; }
    // Stores a site-wide caption for option n (administrator, label editing).
    bool setLabel(int n, const std::string& text);

    // "&Chg All": copies the shown record to record positions 1..bound
    // (ident = position - 1), replacing existing records under their record
    // lock and appending the rest under the append lock. progress(recNo,
    // bound) runs before each record. Returns the number of records written;
    // a record whose lock another station holds is skipped, not counted.
    int changeAll(int bound, const std::function<void(int recNo, int bound)>& progress);
    // The bound "&Chg All" uses: every position of the names table (deleted
    // ones included), at most the board's 1000 rows.
    int boardPositions();

    // The shown record as a whole (with the check boxes' pending values).
    OptionsRecord shownRecord();

    // Writes the record when something changed; closes both tables.
    CloseResult close();

    // The table the check boxes bind to.
    engine::TTzDbf& table() { return m_table; }
    // Writes the controls' pending values into the record buffer.
    void syncControls();

private:
    bool openWithRetries();
    bool findTarget();
    bool createTarget();
    void editRecord();
    // The shown record's options, rights, locks and intervals as one text.
    std::string signature();
    engine::Engine& m_engine;
    const platform::Clock& m_clock;
    std::string m_dataDir;
    bool m_admin;
    const Options& m_memory;
    engine::TTzDbf m_table;
    ConfigTable m_labels;
    OptionsMode m_mode = OptionsMode::Own;
    std::string m_caption;
    int m_target = -1;
    int m_optionCount = 0;
    std::vector<std::string> m_captions;
    bool m_dirty = false;
    std::string m_openSignature;
    bool m_readOnly = false;
    bool m_openError = false;
    bool m_labelEditing = false;
};

} // namespace qb::admin
