#include "BoardHub.h"

#include <cstdio>
#include <map>

namespace qb::web {

namespace {

const char* const kRowKeys[5] = {"name", "remark", "group", "misc", "time"};

std::string rowJson(const WebRow& r)
{
    std::string s = "{\"index\":" + std::to_string(r.index);
    for (std::size_t c = 0; c < r.cells.size(); ++c)
        s += ",\"" + std::string(kRowKeys[c]) + "\":" + jsonString(r.cells[c]);
    s += ",\"color\":\"" + cssColor(r.remarkBackground) + "\",\"textColor\":\"" + cssColor(r.remarkText) + "\"}";
    return s;
}

template <typename Range, typename F>
std::string jsonArray(const Range& items, F&& each)
{
    std::string s = "[";
    bool first = true;
    for (const auto& item : items) {
        if (!first)
            s += ',';
        first = false;
        s += each(item);
    }
    return s + "]";
}

// Titles, groups and the five sort orders: small, and sent with every change.
std::string frameJson(const Snapshot& s, std::uint64_t version)
{
    std::string j = "{\"version\":" + std::to_string(version);
    j += ",\"titles\":" + jsonArray(s.titles, jsonString);
    j += ",\"groups\":" + jsonArray(s.groups, jsonString);
    j += ",\"order\":" + jsonArray(s.order, [](const std::vector<int>& o) {
        return jsonArray(o, [](int i) { return std::to_string(i); });
    });
    return j;
}

StreamMessage message(std::string event, std::string data)
{
    return {std::move(event), std::make_shared<const std::string>(std::move(data))};
}

bool sameBoard(const Snapshot& a, const Snapshot& b)
{
    return a.problems == b.problems && a.titles == b.titles && a.groups == b.groups && a.rows == b.rows
        && a.order == b.order;
}

} // namespace

std::string jsonString(const std::string& text)
{
    std::string s = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': s += "\\\""; break;
        case '\\': s += "\\\\"; break;
        case '\n': s += "\\n"; break;
        case '\r': s += "\\r"; break;
        case '\t': s += "\\t"; break;
        default:
            if (c < 0x20 || c == '<' || c == '>' || c == '&' || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                s += buf;
            } else {
                s += static_cast<char>(c);
            }
        }
    }
    return s + "\"";
}

std::string cssColor(const board::Rgb& c)
{
    auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", clamp(c.r), clamp(c.g), clamp(c.b));
    return buf;
}

std::string BoardHub::boardJson(const Snapshot& s, std::uint64_t version, const std::optional<std::string>& group)
{
    std::string j = frameJson(s, version) + ",\"rows\":[";
    bool first = true;
    for (const auto& r : s.rows) {
        if (group && r.cells[2] != *group)
            continue;
        if (!first)
            j += ',';
        first = false;
        j += rowJson(r);
    }
    return j + "]}";
}

std::string BoardHub::problemJson(const Snapshot& s, std::uint64_t version)
{
    return "{\"version\":" + std::to_string(version) + ",\"problems\":" + jsonArray(s.problems, jsonString) + "}";
}

bool BoardHub::publish(Snapshot snapshot)
{
    auto next = std::make_shared<const Snapshot>(std::move(snapshot));
    std::lock_guard lock(m_mutex);
    if (m_snapshot && sameBoard(*m_snapshot, *next))
        return false;
    const std::uint64_t version = m_version + 1;
    m_full = next->ok() ? message("board", boardJson(*next, version, std::nullopt))
                        : message("problem", problemJson(*next, version));
    m_delta = {};
    if (m_snapshot && m_snapshot->ok() && next->ok()) {
        std::map<int, const WebRow*> before;
        for (const auto& r : m_snapshot->rows)
            before[r.index] = &r;
        std::string rows;
        for (const auto& r : next->rows) {
            auto it = before.find(r.index);
            if (it == before.end() || !(*it->second == r))
                rows += (rows.empty() ? "" : ",") + rowJson(r);
            if (it != before.end())
                before.erase(it);
        }
        std::string removed;
        for (const auto& [index, row] : before)
            removed += (removed.empty() ? "" : ",") + std::to_string(index);
        m_delta = message("rows", frameJson(*next, version) + ",\"rows\":[" + rows + "],\"removed\":[" + removed + "]}");
    }
    m_snapshot = std::move(next);
    m_version = version;
    m_changed.notify_all();
    return true;
}

bool BoardHub::next(std::uint64_t& seen, std::chrono::milliseconds timeout, StreamMessage& out)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, timeout, [&] { return m_stopping || (m_version != 0 && m_version != seen); });
    if (m_stopping)
        return false;
    if (m_version == 0 || m_version == seen)
        out = {};
    else if (seen + 1 == m_version && !m_delta.event.empty())
        out = m_delta;
    else
        out = m_full;
    seen = m_version;
    return true;
}

void BoardHub::stop()
{
    std::lock_guard lock(m_mutex);
    m_stopping = true;
    m_changed.notify_all();
}

std::uint64_t BoardHub::version() const
{
    std::lock_guard lock(m_mutex);
    return m_version;
}

std::shared_ptr<const Snapshot> BoardHub::current() const
{
    std::lock_guard lock(m_mutex);
    return m_snapshot;
}

} // namespace qb::web
