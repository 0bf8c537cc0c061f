// The shared configuration table (one record of options, rights and polling
// intervals per person) and the site-wide option label table.
#pragma once

#include "core/Options.h"
#include "core/TableNames.h"
#include "engine/RecordCommit.h"
#include "engine/TTzDbf.h"

#include <functional>
#include <string>
#include <vector>

namespace qb::admin {

// Which main-menu items the loaded options show.
struct MenuEffects {
    bool messageItemsVisible = true; // "&Send Message", "&Read Message(s)", "&Read Message"
    bool refreshItemVisible = false; // "&Refresh"
};

// One person's record as a whole: what a new person starts with.
struct OptionsRecord {
    Options options; // values, rights and both intervals
    bool refreshLocked = false;
    bool messageLocked = false;
};

class ConfigTable {
public:
    static constexpr const char* kFileName = core::configTableName();
    static constexpr const char* kLabelFileName = core::configLabelTableName();

    ConfigTable(engine::Engine& engine, const platform::Clock& clock, std::string dataDir);

    // Field lists used when a new data directory is made.
    static std::vector<std::string> fieldList();
    static std::vector<std::string> labelFieldList();
    // Options a table with this many fields offers: fields / 2 - 1, at most 23.
    static int optionCountFor(int fieldCount);

    // Loads the record of boardIndex into opts, creating it from opts when
    // missing (under the append lock). Rights are read only in administrator
    // mode for the logged-in index. Returns false when the table could not be
    // opened after 6 tries; the intervals then hold their defaults.
    bool load(int boardIndex, Options& opts, bool adminMode, int loggedInIndex, MenuEffects* effects = nullptr);
    // Writes values, intervals and (withRights) rights into boardIndex's record,
    // appending it when missing.
    engine::CommitResult save(int boardIndex, const Options& opts, bool withRights);
    // Writes a whole record (values, rights, intervals and their locks) into
    // boardIndex's record, appending it when missing.
    engine::CommitResult saveRecord(int boardIndex, const OptionsRecord& record);

    // Captions of options 1..23: the label table's text where not blank,
    // else the built-in caption. Index 0 unused.
    std::vector<std::string> captions();
    // Stores a site-wide caption for option n (record n of the label table).
    bool setCaption(int n, const std::string& caption);

    engine::TTzDbf& table() { return m_table; }

private:
    bool openWithRetries();
    // Positions on the first record of boardIndex; false when there is none.
    bool findRecord(int boardIndex);
    void writeRecord(const Options& opts, int boardIndex, bool withRights, int optionCount);
    engine::CommitResult saveWith(int boardIndex, const std::function<void(int optionCount)>& write);
    engine::Engine& m_engine;
    const platform::Clock& m_clock;
    std::string m_dataDir;
    engine::TTzDbf m_table;
    engine::TTzDbf m_labels;
};

} // namespace qb::admin
