#include "TTzDataSource.h"

#include <algorithm>

namespace qb::engine {

TTzDataLink::~TTzDataLink() { setDataSource(nullptr); }

void TTzDataLink::setDataSource(TTzDataSource* source)
{
    if (m_source == source)
        return;
    if (m_source) {
        auto& l = m_source->m_links;
        l.erase(std::remove(l.begin(), l.end(), this), l.end());
    }
    m_source = source;
    if (m_source)
        m_source->m_links.push_back(this);
    activeChanged();
}

TTzDataSource::TTzDataSource() : m_dataSet(*this) {}

TTzDataSource::~TTzDataSource()
{
    for (TTzDataLink* link : m_links)
        link->m_source = nullptr;
}

bool TTzDataSource::Post()
{
    if (!m_dataSet.isEditing())
        return false;
    return m_dataSet.Post();
}

void TTzDataSource::EnableControls()
{
    if (m_disabled > 0)
        --m_disabled;
    if (m_disabled == 0)
        notifyDataChange();
}

void TTzDataSource::notifyDataChange()
{
    if (lastError() != 0 || m_disabled > 0 || m_dataSet.state() == TTzDataSetState::Inactive || m_links.empty())
        return;
    m_dataSet.m_modified = false;
    for (TTzDataLink* link : std::vector<TTzDataLink*>(m_links))
        link->dataChanged();
    if (OnDataChange)
        OnDataChange(*this, nullptr);
    m_dataSet.settle();
}

void TTzDataSource::notifyRecordModified()
{
    if (m_dataSet.state() == TTzDataSetState::Inactive)
        return;
    m_dataSet.markModified();
    if (m_disabled > 0)
        return;
    for (TTzDataLink* link : std::vector<TTzDataLink*>(m_links))
        link->recordChanged();
}

void TTzDataSource::notifyActiveChanged()
{
    for (TTzDataLink* link : std::vector<TTzDataLink*>(m_links))
        link->activeChanged();
}

} // namespace qb::engine
