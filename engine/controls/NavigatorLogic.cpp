#include "NavigatorLogic.h"

#include "engine/TTzDataSource.h"

namespace qb::engine {

namespace {
constexpr std::array<const char*, kNavButtonCount> kNames = {"First", "Prior",  "Next", "Last",   "Insert",
                                                             "Delete", "Edit", "Post", "Cancel", "Refresh"};
constexpr std::array<const char*, kNavButtonCount> kHints = {
    "Go to first record", "Go to prior record", "Go to next record", "Go to last record", "Insert a record",
    "Delete/Restore record", "Edit record", "Save changes", "Cancel edit", "Refresh record"};

bool isOpen(TTzDataSource* s) { return s && s->dataSet().state() != TTzDataSetState::Inactive; }
} // namespace

const char* navButtonName(TNavigateBtn b) { return kNames[static_cast<std::size_t>(b)]; }
const char* navDefaultHint(TNavigateBtn b) { return kHints[static_cast<std::size_t>(b)]; }

NavButtonFlags navEnabledButtons(TTzDataSource* source, bool navigatorEnabled)
{
    NavButtonFlags on{};
    if (!navigatorEnabled || !isOpen(source))
        return on;
    bool bof = source->atBof(), eof = source->atEof(), editing = source->dataSet().isEditing();
    auto set = [&](TNavigateBtn b, bool v) { on[static_cast<std::size_t>(b)] = v; };
    set(TNavigateBtn::nbFirst, !bof);
    set(TNavigateBtn::nbPrior, !bof);
    set(TNavigateBtn::nbNext, !eof);
    set(TNavigateBtn::nbLast, !eof);
    set(TNavigateBtn::nbInsert, true);
    set(TNavigateBtn::nbDelete, !(bof && eof));
    set(TNavigateBtn::nbEdit, !editing && !(bof && eof));
    set(TNavigateBtn::nbPost, editing);
    set(TNavigateBtn::nbCancel, editing);
    set(TNavigateBtn::nbRefresh, true);
    return on;
}

bool navClick(TTzDataSource* source, TNavigateBtn b, bool confirmDelete, bool confirmRestore,
              const std::function<bool(const std::string&)>& confirm)
{
    if (!isOpen(source))
        return false;
    TTzDataSet& ds = source->dataSet();
    switch (b) {
    case TNavigateBtn::nbFirst: source->_First(); break;
    case TNavigateBtn::nbPrior: source->_Prior(); break;
    case TNavigateBtn::nbNext: source->_Next(); break;
    case TNavigateBtn::nbLast: source->_Last(); break;
    case TNavigateBtn::nbInsert: return ds.Insert();
    case TNavigateBtn::nbDelete:
        if (source->GetRecordCount() == 0)
            return false;
        if (source->Deleted()) {
            if (confirmRestore && !(confirm && confirm("Restore Record ?")))
                return false;
            return ds.Restore();
        }
        if (confirmDelete && !(confirm && confirm("Delete Record ?")))
            return false;
        return ds.Delete();
    case TNavigateBtn::nbEdit: return ds.Edit();
    case TNavigateBtn::nbPost: return source->Post();
    case TNavigateBtn::nbCancel: return ds.Cancel();
    case TNavigateBtn::nbRefresh:
        // Re-read the record and let every bound control show it.
        source->_Refresh();
        for (TTzDataLink* link : std::vector<TTzDataLink*>(source->links()))
            link->dataChanged();
        break;
    }
    return true;
}

} // namespace qb::engine
