// Connects one control (or any observer) to a table component. The Qt
// controls implement it elsewhere; the engine only calls these hooks.
#pragma once

namespace qb::engine {

class TTzDataSource;

class TTzDataLink {
public:
    virtual ~TTzDataLink();
    TTzDataSource* dataSource() const { return m_source; }
    // Attaches to a source (detaching from the previous one); nullptr detaches.
    void setDataSource(TTzDataSource* source);

    // The current record changed (navigation, post, cancel); refresh from it.
    virtual void dataChanged() {}
    // A field of the record was set by code; show the new values.
    virtual void recordChanged() {}
    // The dataset entered or left edit/insert state.
    virtual void editingChanged() {}
    // The table opened or closed.
    virtual void activeChanged() {}
    // Write pending control values into the record (before a post).
    virtual void updateData() {}
    // True when the control holds a change not yet written into the record.
    virtual bool isModified() const { return false; }

private:
    friend class TTzDataSource;
    TTzDataSource* m_source = nullptr;
};

} // namespace qb::engine
