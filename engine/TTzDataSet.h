// The dataset state machine of a table component: browse, edit, insert.
#pragma once

#include "engine/Engine.h"
#include "engine/TTzField.h"

#include <string>
#include <vector>

namespace qb::engine {

class TTzDataSource;

enum class TTzDataSetState { Inactive, Browse, Edit, Insert };

class TTzDataSet {
public:
    explicit TTzDataSet(TTzDataSource& owner) : m_owner(owner) {}

    TTzDataSetState state() const { return m_state; }
    bool isEditing() const { return m_state == TTzDataSetState::Edit || m_state == TTzDataSetState::Insert; }
    const std::vector<TTzField>& fields() const { return m_fields; }
    // Field by name (any case), nullptr when absent.
    const TTzField* fieldByName(const std::string& name) const;
    TTzDataSource& owner() { return m_owner; }

    // Dataset operations with their Before/After events. Edit and Insert
    // return whether the state was entered; Post returns the post's result.
    bool Edit();
    bool Insert();
    bool Post();
    bool Cancel();
    // Throw EDuverError on a closed or empty dataset.
    bool Delete();
    bool Restore();

    bool modified() const { return m_modified; }

private:
    friend class TTzDataSource;
    friend class TTzODbf;
    void open(std::vector<TTzField> fields);
    void close();
    void setState(TTzDataSetState s);
    void markModified() { m_modified = true; }
    void takeSnapshot();
    void restoreSnapshot();
    // After a data change: an insert at end of file, else back to browse.
    void settle();
    bool anyLinkModified() const;
    bool deleteOrRestore(bool restore);

    TTzDataSource& m_owner;
    TTzDataSetState m_state = TTzDataSetState::Inactive;
    std::vector<TTzField> m_fields;
    bool m_modified = false;
    TypedRecord m_snapshot;
    bool m_hasSnapshot = false;
};

} // namespace qb::engine
