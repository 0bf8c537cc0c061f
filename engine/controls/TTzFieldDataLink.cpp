#include "TTzFieldDataLink.h"

#include "engine/TTzODbf.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace qb::engine {

TTzFieldDataLink::~TTzFieldDataLink()
{
    // Detach without calling back into a control that is being destroyed.
    onDataChange = onEditingChange = onUpdateData = onActiveChange = nullptr;
    setDataSource(nullptr);
}

void TTzFieldDataLink::setDataField(const std::string& name)
{
    m_fieldName = name;
    m_modified = false;
    call(onDataChange);
}

void TTzFieldDataLink::setReadOnly(bool on)
{
    m_readOnly = on;
    call(onEditingChange);
}

TTzODbf* TTzFieldDataLink::table() const
{
    auto* t = dynamic_cast<TTzODbf*>(dataSource());
    return t && t->Active() ? t : nullptr;
}

// Looked up on every use: the dataset's field list is rebuilt on each open,
// so a kept pointer would dangle after a close.
const TTzField* TTzFieldDataLink::field() const
{
    if (!dataSource() || m_fieldName.empty() || !active())
        return nullptr;
    return dataSource()->dataSet().fieldByName(m_fieldName);
}

bool TTzFieldDataLink::active() const
{
    return dataSource() && dataSource()->dataSet().state() != TTzDataSetState::Inactive;
}

bool TTzFieldDataLink::editing() const { return dataSource() && dataSource()->dataSet().isEditing(); }

bool TTzFieldDataLink::edit()
{
    // A read-only control never edits, also while another control holds the
    // record in edit state.
    if (!canModify())
        return false;
    if (!editing())
        dataSource()->dataSet().Edit();
    return editing();
}

void TTzFieldDataLink::reset()
{
    m_modified = false;
    call(onDataChange);
}

bool TTzFieldDataLink::updateRecord()
{
    if (!m_modified || !field())
        return true;
    call(onUpdateData);
    m_modified = false;
    return dataSource()->lastError() == 0;
}

std::string TTzFieldDataLink::fieldText() const
{
    const TTzField* f = field();
    TTzODbf* t = table();
    if (!f || !t)
        return {};
    switch (f->type) {
    case 'C':
    case 'D': return t->getText(f->name);
    case 'L': return t->GetLField(f->name) ? "true" : "false";
    case 'M': return "(memo)";
    case 'N':
    case 'F':
        if (f->decimals == 0)
            return std::to_string(t->GetLongField(f->name));
        else {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.*f", f->decimals, t->GetRealField(f->name));
            return buf;
        }
    default: return {};
    }
}

bool TTzFieldDataLink::setFieldText(const std::string& utf8)
{
    const TTzField* f = field();
    TTzODbf* t = table();
    if (!f || !t)
        return false;
    std::string name = f->name; // the setters notify links, which may look fields up again
    switch (f->type) {
    case 'C':
    case 'D': t->setText(name, utf8); break;
    case 'L': {
        char c = utf8.empty() ? ' ' : static_cast<char>(std::toupper(static_cast<unsigned char>(utf8[0])));
        t->SetLField(name, c == 'T' || c == 'Y');
        break;
    }
    case 'N':
    case 'F':
        if (f->decimals == 0)
            t->SetLongField(name, std::strtoll(utf8.c_str(), nullptr, 10));
        else
            t->SetRealField(name, std::strtod(utf8.c_str(), nullptr));
        break;
    default: return false;
    }
    return t->lastError() == 0;
}

bool TTzFieldDataLink::fieldLogical() const
{
    const TTzField* f = field();
    TTzODbf* t = table();
    return f && t && f->type == 'L' && t->GetLField(f->name);
}

bool TTzFieldDataLink::setFieldLogical(bool on)
{
    const TTzField* f = field();
    TTzODbf* t = table();
    if (!f || !t || f->type != 'L')
        return false;
    t->SetLField(f->name, on);
    return t->lastError() == 0;
}

int TTzFieldDataLink::displayWidth() const
{
    const TTzField* f = field();
    if (!f)
        return 0;
    if (f->type == 'M')
        return 5;
    if (f->type == 'L')
        return 5; // "false", the longest of true/false/yes/no
    return f->length;
}

void TTzFieldDataLink::dataChanged()
{
    m_modified = false;
    call(onDataChange);
}

void TTzFieldDataLink::recordChanged()
{
    // Code set a field: show it, unless the user is typing into this control.
    if (!m_modified)
        call(onDataChange);
}

void TTzFieldDataLink::editingChanged() { call(onEditingChange); }

void TTzFieldDataLink::activeChanged()
{
    m_modified = false;
    call(onActiveChange);
    call(onDataChange);
}

} // namespace qb::engine
