// The binding between one data-aware control and one field of a table
// component. Qt-free, so the link logic runs in tests without a display and
// in logic libraries that must not link Qt.
//
// A control owns one TTzFieldDataLink, sets its four callbacks and forwards
// user intent to it:
//   - before the user changes the value: edit()      (false: refuse the key)
//   - after every change of the shown value: modified()
//   - Escape: reset()
//   - focus leaving the control: updateRecord()
// The link calls back:
//   - onDataChange: the record changed (navigation, post, cancel, open,
//     close); show fieldText() / fieldLogical(). The modified flag is
//     already cleared.
//   - onEditingChange: the dataset entered or left edit state (editing()).
//   - onUpdateData: write the control's value into the record, normally
//     with setFieldText() / setFieldLogical(). Only called when modified.
//   - onActiveChange: the table opened or closed (active()).
// Values written through the link reach the typed record buffer only; the
// file changes when window code posts (TTzDataSource::Post), which first asks
// every modified link to update the record.
#pragma once

#include "engine/TTzDataSource.h"
#include "engine/TTzField.h"

#include <functional>
#include <string>

namespace qb::engine {

class TTzODbf;

class TTzFieldDataLink : public TTzDataLink {
public:
    TTzFieldDataLink() = default;
    ~TTzFieldDataLink() override;
    TTzFieldDataLink(const TTzFieldDataLink&) = delete;
    TTzFieldDataLink& operator=(const TTzFieldDataLink&) = delete;

    std::function<void()> onDataChange, onEditingChange, onUpdateData, onActiveChange;
    // The control this link serves (informational; never dereferenced here).
    void* control = nullptr;

    // The field name, matched without regard to case. Setting it (or a new
    // data source, TTzDataLink::setDataSource) re-reads the control.
    const std::string& dataField() const { return m_fieldName; }
    void setDataField(const std::string& name);
    bool readOnly() const { return m_readOnly; }
    void setReadOnly(bool on);

    // The bound field of the open table; nullptr when closed or not found.
    const TTzField* field() const;
    // The data source is an open table.
    bool active() const;
    // The dataset is in edit or insert state.
    bool editing() const;
    // Not read-only and a field is bound.
    bool canModify() const { return !m_readOnly && field() != nullptr; }

    // Edit request: enters edit state when the control may modify; answers
    // whether the dataset is editing now.
    bool edit();
    void modified() { m_modified = true; }
    bool isModified() const override { return m_modified; }
    // Discards what was typed: clears the modified flag and re-reads the field.
    void reset();
    // Focus leaves the control: a modified value goes into the record.
    // False when the engine refused the value (the flag is cleared anyway).
    bool updateRecord();

    // The field's value as a control shows it: C/D text without trailing
    // blanks (converted from the stored code page), N/F as a number with the
    // field's decimals, L "true"/"false", M "(memo)". Empty without a field.
    std::string fieldText() const;
    // Writes text into the bound field of the record buffer: C/D as text,
    // N/F parsed as a number (blank or invalid gives 0), L true for a text
    // starting with T, t, Y or y. False without a field or on an engine error.
    bool setFieldText(const std::string& utf8);
    bool fieldLogical() const;
    bool setFieldLogical(bool on);
    // Display width of the field for a text box: its length, 5 for M, and for
    // L the longest of "true", "false", "yes", "no". 0 without a field.
    int displayWidth() const;

    // TTzDataLink notifications.
    void dataChanged() override;
    void recordChanged() override;
    void editingChanged() override;
    void activeChanged() override;
    void updateData() override { updateRecord(); }

private:
    TTzODbf* table() const;
    static void call(const std::function<void()>& f)
    {
        if (f)
            f();
    }

    std::string m_fieldName;
    bool m_readOnly = false;
    bool m_modified = false;
};

} // namespace qb::engine
