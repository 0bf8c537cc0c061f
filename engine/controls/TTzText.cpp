#include "TTzText.h"

namespace qb::engine {



TTzText::TTzText(QWidget* parent) : QLabel(parent)
{
    m_link.control = this;
    m_link.onDataChange = [this] { setText(QString::fromStdString(m_link.fieldText())); };
}

} // namespace qb::engine
