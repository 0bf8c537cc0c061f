#include "ConfigTable.h"

#include <algorithm>

namespace qb::admin {

using engine::CommitResult;

ConfigTable::ConfigTable(engine::Engine& engine, const platform::Clock& clock, std::string dataDir)
    : m_engine(engine), m_clock(clock), m_dataDir(std::move(dataDir)), m_table("QBCfg", engine),
      m_labels("QBCfgLabel", engine)
{
    m_table.CreateIfNotFound = false;
    m_table.AutoFixRecCount = true;
    m_table.DbfFields = fieldList();
    m_labels.CreateIfNotFound = false;
    m_labels.AutoFixRecCount = true;
    m_labels.DbfFields = labelFieldList();
}

std::vector<std::string> ConfigTable::fieldList()
{
    std::vector<std::string> f = {"ident, N, 4, 0"};
    for (int n = 1; n <= 24; ++n) {
        f.push_back("value" + std::to_string(n) + ", L, 1, 0");
        f.push_back("usercan" + std::to_string(n) + ", L, 1, 0");
    }
    f.insert(f.end(), {"refresh, N, 4, 0", "reflock, L, 1, 0", "msgchk, N, 4, 0", "msglock, L, 1, 0"});
    return f;
}

std::vector<std::string> ConfigTable::labelFieldList()
{
    return {"optionno, N, 2, 0", "optionname, C, 60, 0", "optionhint, C, 120, 0"};
}

int ConfigTable::optionCountFor(int fieldCount)
{
    return std::clamp(fieldCount / 2 - 1, 0, kOptionCount);
}

bool ConfigTable::openWithRetries()
{
    m_table.setDbfFileName(m_dataDir + "/" + kFileName);
    bool ok = false;
    for (int i = 0; i < 6 && !ok; ++i) {
        m_table.setActive(false);
        m_engine.clearError();
        ok = m_table.setActive(true) && m_engine.lastError() == 0;
    }
    return ok;
}

void ConfigTable::writeRecord(const Options& opts, int boardIndex, bool withRights, int optionCount)
{
    for (int n = 1; n <= optionCount; ++n) {
        m_table.SetLField("value" + std::to_string(n), opts.value[static_cast<std::size_t>(n)]);
        if (withRights)
            m_table.SetLField("usercan" + std::to_string(n), opts.right[static_cast<std::size_t>(n)]);
    }
    m_table.SetLongField("refresh", opts.refreshTicks);
    m_table.SetLongField("msgchk", opts.messageTicks);
    m_table.SetLongField("ident", boardIndex);
}

bool ConfigTable::findRecord(int boardIndex)
{
    // The first record of the index counts; two stations may both have added one.
    m_table.GoTop();
    std::int64_t count = m_table.RecCount();
    for (std::int64_t i = 0; i < count && !m_table.dEOF(); ++i) {
        if (m_table.GetLongField("ident") == boardIndex)
            return true;
        m_table.Skip(1);
    }
    return false;
}

bool ConfigTable::load(int boardIndex, Options& opts, bool adminMode, int loggedInIndex, MenuEffects* effects)
{
    bool opened = openWithRetries();
    opts.refreshTicks = kDefaultRefreshTicks;
    opts.messageTicks = kDefaultMessageTicks;
    if (opened) {
        int optionCount = optionCountFor(m_table.FieldCount());
        if (!findRecord(boardIndex)) {
            m_table.ClearRecord();
            writeRecord(opts, boardIndex, true, optionCount);
            if (m_table.ALock()) {
                m_table.Append();
                m_table.Flush(); // count and end byte out before the lock goes
                m_table.UnLock();
            }
        }
        for (int n = 1; n <= optionCount; ++n) {
            opts.value[static_cast<std::size_t>(n)] = m_table.GetLField("value" + std::to_string(n));
            if (adminMode && boardIndex == loggedInIndex)
                opts.right[static_cast<std::size_t>(n)] = m_table.GetLField("usercan" + std::to_string(n));
        }
        std::int64_t refresh = m_table.GetLongField("refresh");
        std::int64_t msgchk = m_table.GetLongField("msgchk");
        opts.refreshTicks = refresh < 1 ? kDefaultRefreshTicks : static_cast<int>(refresh);
        opts.messageTicks = msgchk < 1 ? kDefaultMessageTicks : static_cast<int>(msgchk);
        m_table.setActive(false);
    }
    if (adminMode)
        opts.set(opt::kShowTime, true);
    if (effects) {
        effects->messageItemsVisible = adminMode || !opts[opt::kDisableMessages];
        effects->refreshItemVisible = opts[opt::kRefreshItem];
    }
    return opened;
}

CommitResult ConfigTable::save(int boardIndex, const Options& opts, bool withRights)
{
    return saveWith(boardIndex, [&](int optionCount) { writeRecord(opts, boardIndex, withRights, optionCount); });
}

CommitResult ConfigTable::saveRecord(int boardIndex, const OptionsRecord& record)
{
    return saveWith(boardIndex, [&](int optionCount) {
        writeRecord(record.options, boardIndex, true, optionCount);
        m_table.SetLField("reflock", record.refreshLocked);
        m_table.SetLField("msglock", record.messageLocked);
    });
}

CommitResult ConfigTable::saveWith(int boardIndex, const std::function<void(int optionCount)>& write)
{
    m_table.setActive(false);
    m_table.setDbfFileName(m_dataDir + "/" + kFileName);
    m_engine.clearError();
    if (!m_table.setActive(true))
        return CommitResult::WriteFailed;
    int optionCount = optionCountFor(m_table.FieldCount());
    bool found = !m_table.dEOF() && m_table.GetLongField("ident") == boardIndex;
    if (!found)
        found = findRecord(boardIndex);
    if (!found)
        m_table.ClearRecord();
    write(optionCount);
    CommitResult r = engine::commitRecord(m_table, found, m_clock);
    m_table.setActive(false);
    return r;
}

std::vector<std::string> ConfigTable::captions()
{
    std::vector<std::string> out(kOptionCount + 1);
    for (int n = 1; n <= kOptionCount; ++n)
        out[static_cast<std::size_t>(n)] = builtInCaption(n);
    m_labels.setDbfFileName(m_dataDir + "/" + kLabelFileName);
    m_engine.clearError();
    if (!m_labels.setActive(true))
        return out;
    std::int64_t count = std::min<std::int64_t>(m_labels.RecCount(), kOptionCount);
    for (std::int64_t n = 1; n <= count; ++n) {
        m_labels.Go(n);
        std::string label = m_labels.getText("optionname");
        if (!label.empty())
            out[static_cast<std::size_t>(n)] = label;
    }
    m_labels.setActive(false);
    m_engine.clearError();
    return out;
}

bool ConfigTable::setCaption(int n, const std::string& caption)
{
    if (n < 1 || n > kOptionCount)
        return false;
    m_labels.setDbfFileName(m_dataDir + "/" + kLabelFileName);
    m_engine.clearError();
    if (!m_labels.setActive(true))
        return false;
    bool ok;
    if (m_labels.RecCount() >= n) {
        m_labels.Go(n);
        m_labels.setText("optionname", caption);
        ok = engine::commitRecord(m_labels, true, m_clock) == CommitResult::Ok;
    } else {
        ok = false; // labels are addressed by position; a short table is an init fault
    }
    m_labels.setActive(false);
    return ok;
}

} // namespace qb::admin
