// The one board every browser sees. The poller publishes what it read; each
// open page waits here for the next change and gets the rows that changed
// (or the whole board when it missed a step or just connected). Browsers
// never cause a read of the table: however many there are, the table is
// polled by the poller alone.
#pragma once

#include "BoardReader.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace qb::web {

// Text as a JSON string literal; <, > and & are written as \u escapes so the
// text stays inert wherever it lands.
std::string jsonString(const std::string& text);
std::string cssColor(const board::Rgb& c);

struct StreamMessage {
    std::string event; // "board", "rows", "problem"; empty: nothing new (keep-alive)
    std::shared_ptr<const std::string> data; // one line of JSON, shared by every page
};

class BoardHub {
public:
    // Takes a freshly read board. Returns whether it differs from the last one.
    bool publish(Snapshot snapshot);

    // Waits up to `timeout` for a version newer than `seen` and describes it:
    // only the changed rows when `seen` is the version just before, else the
    // whole board (or the problem). Returns false once stop() was called.
    bool next(std::uint64_t& seen, std::chrono::milliseconds timeout, StreamMessage& out);
    void stop();

    std::uint64_t version() const;
    std::shared_ptr<const Snapshot> current() const;
    // The board as /api/board serves it, optionally only one group's rows.
    static std::string boardJson(const Snapshot& s, std::uint64_t version, const std::optional<std::string>& group);
    static std::string problemJson(const Snapshot& s, std::uint64_t version);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::shared_ptr<const Snapshot> m_snapshot;
    std::uint64_t m_version = 0;
    StreamMessage m_full;  // the whole board or the problem, for m_version
    StreamMessage m_delta; // from m_version - 1 to m_version; empty event when none
    bool m_stopping = false;
};

} // namespace qb::web
