// What one running board program (one station) works with: its engine, clock,
// event log and directories. Tests build several stations on one data
// directory, each with its own engine.
#pragma once

#include "core/TableNames.h"
#include "engine/Engine.h"
#include "platform/Clock.h"
#include "platform/EventLog.h"

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace qb::board {

struct Station {
    Station(engine::Engine& e, const platform::Clock& c, platform::EventLog& l, std::string data, std::string start)
        : engine(e), clock(c), log(l), dataDir(std::move(data)), startDir(std::move(start))
    {
    }

    engine::Engine& engine;
    const platform::Clock& clock;
    platform::EventLog& log;
    std::string dataDir;  // shared tables
    std::string startDir; // local mirror q3.dbf

    // The alert menu: lines shown in a non-modal alert (no-op without a window).
    std::function<void(const std::vector<std::string>&)> alert;
    // Caption of the Help menu's Refresh item after every copy.
    std::function<void(const std::string&)> setRefreshCaption;
    // Pause used between lock attempts that are allowed to wait.
    std::function<void(std::chrono::milliseconds)> pause = [](std::chrono::milliseconds d) {
        std::this_thread::sleep_for(d);
    };

    std::string dataPath(const std::string& name) const { return dataDir + "/" + name; }
    std::string mirrorPath() const { return startDir + "/" + core::namesMirrorName(); }
    void showAlert(const std::vector<std::string>& lines) const
    {
        if (alert)
            alert(lines);
    }
};

} // namespace qb::board
