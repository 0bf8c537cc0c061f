// What the record navigator's buttons do and when they are enabled, apart
// from the widget so it runs without a display.
#pragma once

#include "engine/TTzDataLink.h"

#include <array>
#include <functional>
#include <string>

namespace qb::engine {

class TTzDataSource;

enum class TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel, nbRefresh };
constexpr int kNavButtonCount = 10;
using NavButtonFlags = std::array<bool, kNavButtonCount>;

// "First", "Prior", ... (the button's name without "nb").
const char* navButtonName(TNavigateBtn b);
// The built-in hint of a button ("Go to first record", ...).
const char* navDefaultHint(TNavigateBtn b);

// Enabled state of each button: all off while the navigator is disabled or
// the source is not an open table; else First/Prior unless at begin of
// file, Next/Last unless at end of file, Delete unless both (empty table),
// Insert and Refresh always, Edit only when not editing and the
// table is not empty, Post and Cancel
// only when editing.
NavButtonFlags navEnabledButtons(TTzDataSource* source, bool navigatorEnabled);

// Carries out button b on the source when it is an open table. Delete asks
// confirm("Delete Record ?") when confirmDelete is set; on a deleted record
// it restores instead, asking "Restore Record ?" when confirmRestore is set.
// confirm answers true for Yes. Returns whether anything was done.
bool navClick(TTzDataSource* source, TNavigateBtn b, bool confirmDelete, bool confirmRestore,
              const std::function<bool(const std::string&)>& confirm);

// Follows a data source for a navigator: calls changed() on every data,
// editing or active change so the buttons can be re-enabled.
class TNavDataLink : public TTzDataLink {
public:
    std::function<void()> changed;
    ~TNavDataLink() override
    {
        changed = nullptr;
        setDataSource(nullptr);
    }
    void dataChanged() override { fire(); }
    void recordChanged() override { fire(); }
    void editingChanged() override { fire(); }
    void activeChanged() override { fire(); }

private:
    void fire()
    {
        if (changed)
            changed();
    }
};

} // namespace qb::engine
