#include "TTzDataSet.h"

#include "engine/EDuverError.h"
#include "engine/FieldNames.h"
#include "engine/TTzDataSource.h"

namespace qb::engine {

namespace {
bool confirm(const TTzDataSetNotifyConfirmEvent& ev, TTzDataSet& ds)
{
    bool ok = true;
    if (ev)
        ev(ds, ok);
    return ok;
}
void fire(const TTzDataSetNotifyEvent& ev, TTzDataSet& ds)
{
    if (ev)
        ev(ds);
}
} // namespace

const TTzField* TTzDataSet::fieldByName(const std::string& name) const
{
    const int n = fieldNumberByName(m_fields, std::string_view(name).substr(0, 10));
    return n > 0 ? &m_fields[static_cast<std::size_t>(n - 1)] : nullptr;
}

void TTzDataSet::open(std::vector<TTzField> fields)
{
    m_fields = std::move(fields);
    m_modified = false;
    m_hasSnapshot = false;
    m_state = TTzDataSetState::Browse;
}

void TTzDataSet::close()
{
    m_fields.clear();
    m_modified = false;
    m_hasSnapshot = false;
    m_state = TTzDataSetState::Inactive;
}

void TTzDataSet::setState(TTzDataSetState s)
{
    bool wasEditing = isEditing();
    m_state = s;
    if (wasEditing != isEditing())
        for (TTzDataLink* link : std::vector<TTzDataLink*>(m_owner.m_links))
            link->editingChanged();
}

void TTzDataSet::takeSnapshot()
{
    if (TypedRecord* r = m_owner.currentRecord()) {
        m_snapshot = *r;
        m_hasSnapshot = true;
    }
}

void TTzDataSet::restoreSnapshot()
{
    TypedRecord* r = m_owner.currentRecord();
    if (r && m_hasSnapshot)
        *r = m_snapshot;
    m_modified = false;
    for (TTzDataLink* link : std::vector<TTzDataLink*>(m_owner.m_links))
        link->dataChanged();
}

bool TTzDataSet::anyLinkModified() const
{
    for (TTzDataLink* link : m_owner.m_links)
        if (link->isModified())
            return true;
    return false;
}

void TTzDataSet::settle()
{
    if (m_state == TTzDataSetState::Inactive)
        return;
    if (m_owner.atEof()) {
        if (m_state != TTzDataSetState::Insert)
            Insert();
        return;
    }
    m_modified = false;
    if (isEditing())
        setState(TTzDataSetState::Browse);
}

bool TTzDataSet::Edit()
{
    if (m_state == TTzDataSetState::Inactive)
        return false;
    if (isEditing())
        return true;
    if (m_owner.GetRecordCount() == 0 || m_owner.atEof())
        return Insert();
    if (!confirm(m_owner.DSBeforeEdit, *this))
        return false;
    m_owner._Refresh();
    takeSnapshot();
    m_modified = false;
    setState(TTzDataSetState::Edit);
    fire(m_owner.DSAfterEdit, *this);
    return true;
}

bool TTzDataSet::Insert()
{
    if (m_state == TTzDataSetState::Inactive)
        return false;
    if (!confirm(m_owner.DSBeforeInsert, *this))
        return false;
    takeSnapshot();
    m_owner.ClearFields();
    m_modified = false;
    setState(TTzDataSetState::Insert);
    for (TTzDataLink* link : std::vector<TTzDataLink*>(m_owner.m_links))
        link->dataChanged();
    fire(m_owner.DSAfterInsert, *this);
    return true;
}

bool TTzDataSet::Post()
{
    if (!isEditing())
        return false;
    if (!m_modified && !anyLinkModified()) {
        // Nothing was changed: drop the edit or insert without events.
        setState(TTzDataSetState::Browse);
        return true;
    }
    if (m_owner.OnUpdateData)
        m_owner.OnUpdateData(m_owner);
    for (TTzDataLink* link : std::vector<TTzDataLink*>(m_owner.m_links))
        link->updateData();
    if (!confirm(m_owner.DSBeforePost, *this)) {
        restoreSnapshot();
        return false;
    }
    bool ok = m_state == TTzDataSetState::Edit ? m_owner._Post() : m_owner._Insert();
    m_modified = false;
    setState(TTzDataSetState::Browse);
    fire(m_owner.DSAfterPost, *this);
    return ok;
}

bool TTzDataSet::Cancel()
{
    if (!isEditing())
        return false;
    if (!confirm(m_owner.DSBeforeCancel, *this))
        return false;
    restoreSnapshot();
    setState(TTzDataSetState::Browse);
    fire(m_owner.DSAfterCancel, *this);
    return true;
}

// Delete and restore share their checks and event order; only the step and
// its events differ.
bool TTzDataSet::deleteOrRestore(bool restore)
{
    if (m_state == TTzDataSetState::Inactive)
        throw EDuverError("Cannot perform this operation on a closed dataset");
    if (m_state == TTzDataSetState::Insert)
        return Cancel();
    if (m_owner.GetRecordCount() == 0)
        throw EDuverError("Cannot perform this operation on an empty dataset");
    if (!confirm(restore ? m_owner.DSBeforeRestore : m_owner.DSBeforeDelete, *this))
        return false;
    bool ok = restore ? m_owner._Restore() : m_owner._Delete();
    setState(TTzDataSetState::Browse);
    fire(restore ? m_owner.DSAfterRestore : m_owner.DSAfterDelete, *this);
    return ok;
}

bool TTzDataSet::Delete() { return deleteOrRestore(false); }

bool TTzDataSet::Restore() { return deleteOrRestore(true); }

} // namespace qb::engine
