// The station a main-window test starts from: a new data directory, its own
// engine and a captured event log. Window tests derive from it next to QObject.
#pragma once

#include "board/TForm1.h"
#include "core/Station.h"
#include "engine/Engine.h"
#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "tools/DataDirCommands.h"

#include <QDir>
#include <QTemporaryDir>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>

namespace qb::testing {

class BoardWindowStation {
protected:
    // A new, empty data directory; false when it could not be made.
    bool makeStation()
    {
        m_savedCwd = QDir::currentPath();
        m_root = std::make_unique<QTemporaryDir>();
        if (!m_root->isValid())
            return false;
        m_data = m_root->filePath(QStringLiteral("data")).toStdString();
        std::ostringstream out, err;
        if (tools::initCommand({m_data}, out, err) != 0)
            return false;
        m_engine = std::make_unique<engine::Engine>();
        m_log.entries.clear();
        m_station = std::make_unique<board::Station>(
            board::Station {*m_engine, platform::SystemClock::instance(), m_log, m_data, m_root->path().toStdString()});
        m_station->pause = [](std::chrono::milliseconds) {};
        return true;
    }

    // The window must be gone before its station.
    void dropStation()
    {
        m_station.reset();
        m_engine.reset();
        QDir::setCurrent(m_savedCwd);
        m_root.reset();
    }

    // A workstation directory inside the scratch area, for the tester account.
    board::TForm1::RunInfo runInfo() const
    {
        board::TForm1::RunInfo run;
        run.workstationDir = m_root->filePath(QStringLiteral("sys")).toStdString();
        QDir().mkpath(QString::fromStdString(run.workstationDir));
        run.desktopDir = m_root->path().toStdString();
        run.userName = "tester";
        run.programPath = "/opt/qbp3";
        return run;
    }

    std::unique_ptr<QTemporaryDir> m_root;
    std::string m_data;
    std::unique_ptr<engine::Engine> m_engine;
    platform::MemoryEventLog m_log;
    std::unique_ptr<board::Station> m_station;
    QString m_savedCwd;
};

} // namespace qb::testing
