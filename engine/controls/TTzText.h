// Data-aware label (see TTzEdit.h for how controls are bound).
#pragma once

#include "engine/controls/TTzFieldDataLink.h"

#include <QLabel>

namespace qb::engine {

// Label showing a field's display text (nothing without a field).
class TTzText : public QLabel {
    Q_OBJECT
public:
    explicit TTzText(QWidget* parent = nullptr);
    TTzDataSource* dataSource() const { return m_link.dataSource(); }
    void setDataSource(TTzDataSource* source) { m_link.setDataSource(source); }
    QString dataField() const { return QString::fromStdString(m_link.dataField()); }
    void setDataField(const QString& name) { m_link.setDataField(name.toStdString()); }
    TTzFieldDataLink& link() { return m_link; }

private:
    TTzFieldDataLink m_link;
};

} // namespace qb::engine
