// Data-aware check box (see TTzEdit.h for how controls are bound).
#pragma once

#include "engine/controls/TTzFieldDataLink.h"

#include <QCheckBox>

namespace qb::engine {

// Check box. Unbound: shown grayed (partially checked) until window code
// sets it, and a click does not toggle it. Bound to an L field: checked when
// the field is true; any other field: checked when its text equals
// ValueChecked (any case). Writes back the state (L) or
// ValueChecked/ValueUnChecked.
class TTzCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit TTzCheckBox(QWidget* parent = nullptr);
    TTzCheckBox(const QString& text, QWidget* parent);

    TTzDataSource* dataSource() const { return m_link.dataSource(); }
    void setDataSource(TTzDataSource* source) { m_link.setDataSource(source); }
    QString dataField() const { return QString::fromStdString(m_link.dataField()); }
    void setDataField(const QString& name) { m_link.setDataField(name.toStdString()); }
    bool readOnly() const { return m_link.readOnly(); }
    void setReadOnly(bool on) { m_link.setReadOnly(on); }
    QString valueChecked() const { return m_valueChecked; }
    void setValueChecked(const QString& v);
    QString valueUnChecked() const { return m_valueUnChecked; }
    void setValueUnChecked(const QString& v);
    TTzFieldDataLink& link() { return m_link; }

protected:
    void nextCheckState() override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    void init();
    void showField();
    void writeField();

    TTzFieldDataLink m_link;
    QString m_valueChecked = QStringLiteral("true");
    QString m_valueUnChecked = QStringLiteral("false");
};

} // namespace qb::engine
