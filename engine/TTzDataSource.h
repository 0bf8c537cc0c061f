// Event hub of a table component: owns the dataset, the list of data links
// and the Before/After events, and declares the record operations a concrete
// table provides.
#pragma once

#include "engine/TTzDataLink.h"
#include "engine/TTzDataSet.h"

#include <functional>
#include <string>
#include <vector>

namespace qb::engine {

using TTzDataSetNotifyEvent = std::function<void(TTzDataSet&)>;
using TTzDataSetNotifyConfirmEvent = std::function<void(TTzDataSet&, bool& okToProceed)>;
using TTzDataChangeEvent = std::function<void(TTzDataSource& sender, const TTzField* field)>;

class TTzDataSource {
public:
    TTzDataSource();
    virtual ~TTzDataSource();
    TTzDataSource(const TTzDataSource&) = delete;
    TTzDataSource& operator=(const TTzDataSource&) = delete;

    TTzDataSet& dataSet() { return m_dataSet; }
    const std::vector<TTzDataLink*>& links() const { return m_links; }

    // Window-code operations: Post does nothing and returns false in browse state.
    bool Post();
    bool Delete() { return m_dataSet.Delete(); }
    bool Restore() { return m_dataSet.Restore(); }
    // Nestable; resuming sends one data-change notification.
    void DisableControls() { ++m_disabled; }
    void EnableControls();
    bool controlsDisabled() const { return m_disabled > 0; }

    // Events passed through to the dataset.
    TTzDataSetNotifyEvent DSAfterCancel, DSAfterDelete, DSAfterRestore, DSAfterEdit, DSAfterInsert, DSAfterPost;
    TTzDataSetNotifyConfirmEvent DSBeforeCancel, DSBeforeDelete, DSBeforeRestore, DSBeforeEdit, DSBeforeInsert,
        DSBeforePost;
    TTzDataChangeEvent OnDataChange;
    std::function<void(TTzDataSource&)> OnUpdateData;

    // Record operations of a concrete table.
    virtual void ClearFields() = 0;
    virtual std::int64_t GetRecordCount() = 0;
    virtual bool Deleted() = 0;
    virtual bool _Delete() = 0;
    virtual void _First() = 0;
    virtual bool _Insert() = 0;
    virtual void _Last() = 0;
    virtual void _MoveBy(std::int64_t n) = 0;
    virtual void _Next() = 0;
    virtual bool _Post() = 0;
    virtual void _Prior() = 0;
    virtual void _Refresh() = 0;
    virtual bool _Restore() = 0;
    virtual bool atEof() = 0;
    virtual bool atBof() = 0;
    // The typed buffer of the current record (nullptr when closed).
    virtual TypedRecord* currentRecord() = 0;
    virtual int lastError() const = 0;

protected:
    // After the current record changed: refresh links, fire OnDataChange,
    // settle the dataset state. Skipped while an error is pending, while
    // suspended, while inactive or without links.
    void notifyDataChange();
    // After a setter: mark the record modified and show the new values.
    void notifyRecordModified();
    void notifyActiveChanged();

private:
    friend class TTzDataLink;
    friend class TTzDataSet;
    TTzDataSet m_dataSet;
    std::vector<TTzDataLink*> m_links;
    int m_disabled = 0;
};

} // namespace qb::engine
