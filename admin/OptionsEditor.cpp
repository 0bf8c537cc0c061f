#include "OptionsEditor.h"

#include <algorithm>

namespace qb::admin {

namespace {

constexpr int kOpenTries = 6;
// A table showing fewer fields than this is not open (or too old to edit).
constexpr int kFullFieldCount = 43;
// Intervals a blank or broken stored value is shown as.
constexpr int kFallbackRefreshTicks = 60;
constexpr int kFallbackMessageTicks = 80;
// Ticks a created record starts with, both intervals.
constexpr int kCreatedTicks = 120;
// The board holds at most this many rows; "Chg All" never writes further.
constexpr int kBoardRows = 1000;
constexpr const char* kNamesFile = "qb3.dbf";

bool startsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

} // namespace

std::string adminOptionsCaption(const std::string& name)
{
    return "Options for " + name + " (Admin Mode)";
}

OptionsMode optionsModeFor(bool adminMode, const std::string& caption)
{
    if (!adminMode)
        return OptionsMode::Own;
    return startsWith(caption, "Opt") ? OptionsMode::AdminEditing : OptionsMode::Adding;
}

std::string refreshIntervalText(int ticks)
{
    for (const auto& e : kRefreshIntervals)
        if (e.ticks == ticks)
            return e.caption;
    return std::to_string(ticks / 2) + " seconds";
}

std::string messageIntervalText(int ticks)
{
    // Half the ticks read as a time of day: hours win, then minutes, then seconds.
    int seconds = (std::max(ticks, 0) / 2) % 86400;
    if (seconds / 3600 > 0)
        return "1 hour";
    if (seconds / 60 > 0)
        return std::to_string(seconds / 60 % 60) + " minutes";
    return std::to_string(seconds) + " seconds";
}

int refreshTicksOfEntry(int entry)
{
    if (entry < 0 || entry >= static_cast<int>(std::size(kRefreshIntervals)))
        return 120; // "1 minute"
    return kRefreshIntervals[entry].ticks;
}

int messageTicksOfEntry(int entry)
{
    if (entry < 0 || entry >= static_cast<int>(std::size(kMessageIntervals)))
        return 80; // "40 seconds"
    return kMessageIntervals[entry].ticks;
}

OptionsEditor::OptionsEditor(engine::Engine& engine, const platform::Clock& clock, std::string dataDir,
                             bool adminMode, const Options& inMemory)
    : m_engine(engine), m_clock(clock), m_dataDir(std::move(dataDir)), m_admin(adminMode), m_memory(inMemory),
      m_table("QBOptions", engine), m_labels(engine, clock, m_dataDir)
{
    m_table.CreateIfNotFound = false;
    m_table.AutoFixRecCount = true;
    m_table.DbfFields = ConfigTable::fieldList();
}

OptionsEditor::~OptionsEditor()
{
    if (m_table.Active())
        m_table.setActive(false);
}

bool OptionsEditor::openWithRetries()
{
    m_table.setDbfFileName(m_dataDir + "/" + ConfigTable::kFileName);
    bool ok = false;
    for (int i = 0; i < kOpenTries && !ok; ++i) {
        m_table.setActive(false);
        m_engine.clearError();
        ok = m_table.setActive(true) && m_engine.lastError() == 0;
    }
    return ok;
}

bool OptionsEditor::findTarget()
{
    m_table.GoTop();
    const std::int64_t count = m_table.RecCount();
    for (std::int64_t i = 0; i < count && !m_table.dEOF(); ++i) {
        if (m_table.GetLongField("ident") == m_target)
            return true;
        m_table.Skip(1);
    }
    return false;
}

bool OptionsEditor::createTarget()
{
    if (!m_table.ALock())
        return false;
    // Another station may have created the record since the search; the
    // first record of an index is the one every station reads.
    bool found = findTarget();
    if (!found) {
        m_table.ClearRecord();
        m_table.SetLongField("ident", m_target);
        for (int n = 1; n <= m_optionCount; ++n) {
            m_table.SetLField(rightField(n), m_memory.right[static_cast<std::size_t>(n)]);
            m_table.SetLField(valueField(n), m_memory.value[static_cast<std::size_t>(n)]);
        }
        m_table.SetLField("reflock", true);
        m_table.SetLField("msglock", true);
        m_table.SetLongField("refresh", kCreatedTicks);
        m_table.SetLongField("msgchk", kCreatedTicks);
        m_engine.clearError();
        m_table.Append();
        found = m_engine.lastError() == 0;
        m_table.Flush();
    }
    m_table.UnLock();
    return found;
}

void OptionsEditor::editRecord()
{
    // Kept in edit state for the whole showing: a box ticked later must not
    // re-read the record and lose a right toggled before.
    if (m_table.Active() && !m_table.dEOF())
        m_table.dataSet().Edit();
}

void OptionsEditor::open(const std::string& caption, int target)
{
    m_mode = optionsModeFor(m_admin, caption);
    m_caption = caption;
    m_target = m_mode == OptionsMode::Adding ? 0 : target;
    m_dirty = m_readOnly = m_openError = m_labelEditing = false;

    m_openError = !openWithRetries();
    if (m_table.FieldCount() < kFullFieldCount) {
        std::uint16_t saved = m_engine.openModeOverride;
        m_engine.openModeOverride = engine::openmode::kReadOnlyDenyNone;
        m_table.setActive(false);
        m_engine.clearError();
        m_table.setActive(true);
        m_engine.openModeOverride = saved;
        m_readOnly = true;
        m_caption = m_table.FieldCount() >= kFullFieldCount ? kLockedCaption : kProblemCaption;
    }
    m_optionCount = ConfigTable::optionCountFor(m_table.FieldCount());
    m_captions = m_table.Active() ? m_labels.captions() : std::vector<std::string>(kOptionCount + 1);
    if (!m_table.Active())
        for (int n = 1; n <= kOptionCount; ++n)
            m_captions[static_cast<std::size_t>(n)] = builtInCaption(n);

    if (m_table.Active() && !findTarget()) {
        // A record that cannot be created leaves nothing to edit: show the
        // person's options as withheld rather than a blank record as his.
        if (m_readOnly || !createTarget()) {
            m_readOnly = true;
            if (m_caption == caption)
                m_caption = kLockedCaption;
            m_table.ClearRecord();
        }
    }
    editRecord();
    if (m_table.Active() && !m_table.dEOF()) {
        if (m_table.GetLongField("msgchk") < 1)
            m_table.SetLongField("msgchk", kFallbackMessageTicks);
        if (m_table.GetLongField("refresh") < 1)
            m_table.SetLongField("refresh", kFallbackRefreshTicks);
    }
    // What the window shows now is the baseline: closing without a change
    // writes nothing, not even the fixed-up intervals.
    m_openSignature = signature();
    m_dirty = false;
}

const std::string& OptionsEditor::optionCaption(int n) const
{
    static const std::string none;
    return n >= 1 && n < static_cast<int>(m_captions.size()) ? m_captions[static_cast<std::size_t>(n)] : none;
}

bool OptionsEditor::dirty()
{
    syncControls();
    return m_dirty || signature() != m_openSignature;
}

void OptionsEditor::syncControls()
{
    if (!m_table.Active())
        return;
    for (engine::TTzDataLink* link : std::vector<engine::TTzDataLink*>(m_table.links()))
        if (link->isModified())
            link->updateData();
}

bool OptionsEditor::right(int n)
{
    if (n < 1 || n > m_optionCount || m_readOnly || !m_table.Active())
        return false;
    return m_table.GetLField(rightField(n));
}

bool OptionsEditor::value(int n)
{
    if (n < 1 || n > m_optionCount || !m_table.Active())
        return false;
    return m_table.GetLField(valueField(n));
}

bool OptionsEditor::setValue(int n, bool on)
{
    if (n < 1 || n > m_optionCount || !m_table.Active() || boxReadOnly(n))
        return false;
    syncControls();
    editRecord();
    m_table.SetLField(valueField(n), on);
    return true;
}

bool OptionsEditor::toggleRight(int n)
{
    if (!m_admin || n < 1 || n > m_optionCount || !m_table.Active())
        return false;
    syncControls();
    editRecord();
    m_table.SetLField(rightField(n), !m_table.GetLField(rightField(n)));
    return true;
}

bool OptionsEditor::refreshUnlocked()
{
    return m_table.Active() && !m_readOnly && !m_table.GetLField("reflock");
}

bool OptionsEditor::messageUnlocked()
{
    return m_table.Active() && !m_readOnly && !m_table.GetLField("msglock");
}

bool OptionsEditor::toggleRefreshLock()
{
    if (!m_admin || !m_table.Active())
        return false;
    syncControls();
    editRecord();
    m_table.SetLField("reflock", !m_table.GetLField("reflock"));
    return true;
}

bool OptionsEditor::toggleMessageLock()
{
    if (!m_admin || !m_table.Active())
        return false;
    syncControls();
    editRecord();
    m_table.SetLField("msglock", !m_table.GetLField("msglock"));
    return true;
}

int OptionsEditor::refreshTicks()
{
    return m_table.Active() ? static_cast<int>(m_table.GetLongField("refresh")) : kFallbackRefreshTicks;
}

int OptionsEditor::messageTicks()
{
    return m_table.Active() ? static_cast<int>(m_table.GetLongField("msgchk")) : kFallbackMessageTicks;
}

bool OptionsEditor::chooseRefresh(int entry)
{
    if (!refreshListEnabled() || !m_table.Active())
        return false;
    syncControls();
    editRecord();
    m_table.SetLongField("refresh", refreshTicksOfEntry(entry));
    return true;
}

bool OptionsEditor::chooseMessage(int entry)
{
    if (!messageListEnabled() || !m_table.Active())
        return false;
    syncControls();
    editRecord();
    m_table.SetLongField("msgchk", messageTicksOfEntry(entry));
    return true;
}

void OptionsEditor::startLabelEditing()
{
    if (adminButtonsVisible())
        m_labelEditing = true;
}

bool OptionsEditor::setLabel(int n, const std::string& text)
{
    if (!m_admin || !m_labelEditing || n < 1 || n > m_optionCount)
        return false;
    if (!m_labels.setCaption(n, text))
        return false;
    std::string shown = text;
    while (!shown.empty() && shown.back() == ' ')
        shown.pop_back();
    m_captions[static_cast<std::size_t>(n)] = shown.empty() ? builtInCaption(n) : shown;
    return true;
}

int OptionsEditor::boardPositions()
{
    engine::TTzDbf names("QBNamesCnt", m_engine);
    names.CreateIfNotFound = false;
    names.setDbfFileName(m_dataDir + "/" + kNamesFile);
    m_engine.clearError();
    if (!names.setActive(true))
        return 0;
    std::int64_t count = names.RecCount();
    names.setActive(false);
    return static_cast<int>(std::clamp<std::int64_t>(count, 0, kBoardRows));
}

int OptionsEditor::changeAll(int bound, const std::function<void(int recNo, int bound)>& progress)
{
    if (!m_admin || !m_table.Active() || m_readOnly)
        return 0;
    bound = std::min(bound, kBoardRows);
    syncControls();
    m_table.DisableControls();
    const int savedRetries = m_engine.lockRetries;
    m_engine.setRetry(4, 20);
    m_table.PushRecord();
    int written = 0;
    for (int recNo = 1; recNo <= bound; ++recNo) {
        if (progress)
            progress(recNo, bound);
        bool append = recNo > m_table.RecCount();
        if (append) {
            // Without the append lock the next record would land one position
            // early and break ident = position - 1: stop here instead.
            if (!m_table.ALock())
                break;
            if (m_table.RecCount() >= recNo) { // another station appended meanwhile
                m_table.UnLock();
                append = false;
            }
        }
        if (!append) {
            m_table.Go(recNo);
            if (!m_table.RLock())
                continue; // held by another station: not written, not counted
        }
        m_table.PopRecord();
        m_table.PushRecord();
        m_table.SetLongField("ident", recNo - 1);
        m_engine.clearError();
        if (append)
            m_table.Append();
        else
            m_table.Replace();
        if (m_engine.lastError() == 0)
            ++written;
        m_table.Flush();
        m_table.UnLock();
    }
    m_table.PopRecord();
    m_engine.lockRetries = savedRetries;
    m_table.Flush();
    m_table.setActive(false);
    m_engine.clearError();
    m_table.setActive(true);
    // Back to the person's record: positions may have changed hands.
    if (!findTarget())
        m_table.GoTop();
    m_table.EnableControls();
    editRecord();
    m_openSignature = signature();
    m_dirty = false;
    return written;
}

std::string OptionsEditor::signature()
{
    std::string s;
    if (!m_table.Active() || m_table.dEOF())
        return s;
    for (int n = 1; n <= m_optionCount; ++n) {
        s += m_table.GetLField(valueField(n)) ? 'T' : 'F';
        s += m_table.GetLField(rightField(n)) ? 'T' : 'F';
    }
    s += m_table.GetLField("reflock") ? 'T' : 'F';
    s += m_table.GetLField("msglock") ? 'T' : 'F';
    s += std::to_string(m_table.GetLongField("refresh")) + "/" + std::to_string(m_table.GetLongField("msgchk"));
    return s;
}

OptionsRecord OptionsEditor::shownRecord()
{
    syncControls();
    OptionsRecord r;
    if (!m_table.Active())
        return r;
    for (int n = 1; n <= m_optionCount; ++n) {
        r.options.value[static_cast<std::size_t>(n)] = m_table.GetLField(valueField(n));
        r.options.right[static_cast<std::size_t>(n)] = m_table.GetLField(rightField(n));
    }
    r.options.refreshTicks = refreshTicks();
    r.options.messageTicks = messageTicks();
    r.refreshLocked = m_table.GetLField("reflock");
    r.messageLocked = m_table.GetLField("msglock");
    return r;
}

CloseResult OptionsEditor::close()
{
    CloseResult result = CloseResult::NothingToWrite;
    if (m_table.Active() && dirty()) {
        if (m_readOnly) {
            result = CloseResult::NotWritable;
        } else {
            switch (engine::commitRecord(m_table, true, m_clock)) {
            case engine::CommitResult::Ok: result = CloseResult::Written; break;
            case engine::CommitResult::LockFailed: result = CloseResult::LockFailed; break;
            case engine::CommitResult::WriteFailed: result = CloseResult::WriteFailed; break;
            }
        }
    }
    if (m_table.Active() && m_table.dataSet().isEditing())
        m_table.dataSet().Cancel();
    m_table.setActive(false);
    if (result == CloseResult::Written)
        m_dirty = false;
    m_caption = kOwnOptionsCaption;
    return result;
}

} // namespace qb::admin
