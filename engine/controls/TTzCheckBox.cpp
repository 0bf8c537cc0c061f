#include "TTzCheckBox.h"

#include <QKeyEvent>

namespace qb::engine {



TTzCheckBox::TTzCheckBox(QWidget* parent) : QCheckBox(parent) { init(); }

TTzCheckBox::TTzCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) { init(); }

void TTzCheckBox::init()
{
    setTristate(true);
    setCheckState(Qt::PartiallyChecked);
    m_link.control = this;
    m_link.onDataChange = [this] { showField(); };
    m_link.onUpdateData = [this] { writeField(); };
}

void TTzCheckBox::showField()
{
    const TTzField* f = m_link.field();
    if (!f) {
        // Unbound or closed: grayed only while nobody bound it; window code
        // that sets an unbound box keeps its state.
        if (m_link.dataSource() || !m_link.dataField().empty())
            setCheckState(Qt::PartiallyChecked);
        return;
    }
    bool on = f->type == 'L' ? m_link.fieldLogical()
                             : QString::fromStdString(m_link.fieldText()).compare(m_valueChecked, Qt::CaseInsensitive) == 0;
    setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

void TTzCheckBox::writeField()
{
    const TTzField* f = m_link.field();
    if (!f)
        return;
    const bool on = checkState() == Qt::Checked;
    if (f->type == 'L')
        m_link.setFieldLogical(on);
    else
        m_link.setFieldText((on ? m_valueChecked : m_valueUnChecked).toStdString());
}

void TTzCheckBox::setValueChecked(const QString& v)
{
    m_valueChecked = v;
    showField();
}

void TTzCheckBox::setValueUnChecked(const QString& v)
{
    m_valueUnChecked = v;
    showField();
}

void TTzCheckBox::nextCheckState()
{
    // A click toggles only when the record can be edited.
    if (!m_link.edit())
        return;
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    m_link.modified();
}

void TTzCheckBox::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape && m_link.field()) {
        m_link.reset();
        e->accept();
        return;
    }
    if (e->key() == Qt::Key_Backspace) {
        m_link.edit();
        e->accept();
        return;
    }
    QCheckBox::keyPressEvent(e); // space ends in nextCheckState
}

void TTzCheckBox::focusOutEvent(QFocusEvent* e)
{
    m_link.updateRecord();
    QCheckBox::focusOutEvent(e);
}

} // namespace qb::engine
