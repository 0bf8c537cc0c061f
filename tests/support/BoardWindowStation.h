// The station a main-window test starts from: a new data directory, its own
// engine, a captured event log, and the board window on it answering its
// dialogs from m_prompts. Window tests derive from it next to QObject, call
// makeStation() in init() and dropStation() in cleanup().
#pragma once

#include "admin/ConfigTable.h"
#include "board/TForm1.h"
#include "core/Station.h"
#include "engine/Engine.h"
#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "tests/support/ScriptedDialogs.h"
#include "tools/DataDirCommands.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>

namespace qb::testing {

class BoardWindowStation {
protected:
    // A new, empty data directory on the clock; false when it could not be
    // made.
    bool makeStation(const platform::Clock& clock = platform::SystemClock::instance())
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
        m_station = std::make_unique<board::Station>(*m_engine, clock, m_log, m_data, m_root->path().toStdString());
        m_station->pause = [](std::chrono::milliseconds) {};
        m_prompts = ScriptedDialogs();
        return true;
    }

    // The window must be gone before its station.
    void dropStation()
    {
        m_form.reset();
        m_station.reset();
        m_engine.reset();
        QDir::setCurrent(m_savedCwd);
        m_root.reset();
    }

    // A workstation directory for the tester account: sys inside the
    // scratch area, or the one given (then also the desktop).
    board::TForm1::RunInfo runInfo(const std::string& workstationDir = {}) const
    {
        board::TForm1::RunInfo run;
        run.workstationDir =
            workstationDir.empty() ? m_root->filePath(QStringLiteral("sys")).toStdString() : workstationDir;
        QDir().mkpath(QString::fromStdString(run.workstationDir));
        run.desktopDir = workstationDir.empty() ? m_root->path().toStdString() : workstationDir;
        run.userName = "tester";
        run.programPath = "/opt/qbp3";
        return run;
    }

    // The window on the station, not shown yet.
    void makeWindow(const board::TForm1::RunInfo& run)
    {
        m_form = std::make_unique<board::TForm1>(*m_station, run);
        m_form->setDialogs(&m_prompts);
    }
    void makeWindow() { makeWindow(runInfo()); }

    // Shows the window and waits for its deferred start-up.
    void showWindow()
    {
        QSignalSpy done(m_form.get(), &board::TForm1::startupDone);
        m_form->show();
        QVERIFY(done.wait(5000));
    }

    // Types into the login panel and presses OK.
    void typeLogin(const QString& name, const QString& password)
    {
        child<QComboBox>("LoginNames")->setEditText(name);
        child<QLineEdit>("Edit1")->setText(password);
        child<QPushButton>("OK")->click();
    }

    // Logs the person in with an empty password. The first OK of a run only
    // checks the password unless option 12 is on, and a missing
    // configuration table leaves it off.
    void logIn(const QString& name)
    {
        for (int i = 0; i < 2 && !m_form->loginLogic().loggedIn(); ++i)
            typeLogin(name, QString());
        QVERIFY(m_form->loginLogic().loggedIn());
    }

    // Sets one option of a person in the configuration table.
    void setOption(int boardIndex, int option, bool on)
    {
        admin::ConfigTable cfg(*m_engine, m_station->clock, m_data);
        admin::Options o;
        cfg.load(boardIndex, o, false, -1);
        o.set(option, on);
        QCOMPARE(cfg.save(boardIndex, o, true), engine::CommitResult::Ok);
    }

    template <typename T>
    T* child(const char* name) const
    {
        return m_form->findChild<T*>(QString::fromLatin1(name));
    }

    std::unique_ptr<QTemporaryDir> m_root;
    std::string m_data;
    std::unique_ptr<engine::Engine> m_engine;
    platform::MemoryEventLog m_log;
    std::unique_ptr<board::Station> m_station;
    std::unique_ptr<board::TForm1> m_form;
    ScriptedDialogs m_prompts;
    QString m_savedCwd;
};

} // namespace qb::testing
