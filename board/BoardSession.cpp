#include "BoardSession.h"

#include "board/StartupChecks.h"
#include "board/StartupMarks.h"
#include "core/TableNames.h"

namespace qb::board {

BoardSession::BoardSession(Station& station, RunInfo run)
    : m_station(station), m_run(std::move(run)), m_remarkLog(station, m_board),
      m_names(station, m_board, m_remarkLog), m_config(station.engine, station.clock, station.dataDir),
      m_settings(m_run.workstationDir, m_run.desktopDir, m_run.userName),
      m_login(station, m_board, m_names, m_config, m_remarkLog),
      m_poll(station, m_board, m_names, m_remarkLog, forwardingHooks())
{
    m_login.onMirrorRefreshed = [this] { m_poll.resetStamps(); };
}

PollTimer::Hooks BoardSession::forwardingHooks()
{
    // The window sets its hooks after the session exists.
    PollTimer::Hooks hooks;
    hooks.setOwnOut = [this] {
        if (pollHooks.setOwnOut)
            pollHooks.setOwnOut();
    };
    hooks.reloadOptions = [this] { reloadOwnOptions(); };
    hooks.clearRemarkList = [this] {
        if (pollHooks.clearRemarkList)
            pollHooks.clearRemarkList();
    };
    hooks.boardReloaded = [this] {
        if (pollHooks.boardReloaded)
            pollHooks.boardReloaded();
    };
    hooks.messageCheck = [this] {
        if (messageCheck)
            messageCheck();
    };
    return hooks;
}

void BoardSession::created(long long windowHandle)
{
    m_poll.resetStamps();
    m_board.pollCounter = 0;
    m_settings.testWritable(windowHandle);
}

bool BoardSession::autoLoginFor(const std::string& lastName, bool afterLogout)
{
    return !afterLogout && !lastName.empty() && !LoginLogic::isAdminName(lastName);
}

bool BoardSession::runStartup(StartupView& view)
{
    if (m_started)
        return false;
    m_started = true;
    startupMark("startup");

    m_station.log.info(StartupChecks::startedText(m_station.clock));
    auto settingsAlert = StartupChecks::settingsCheck(m_settings.writable(), m_station.log);
    if (!settingsAlert.empty())
        view.showAlert(settingsAlert);
    view.busy(true);

    // The site's settings hold for the whole run: read with the first start.
    if (!m_siteRead)
        m_settings.loadWithSite();
    else
        m_settings.load();
    m_siteRead = true;
    m_settings.applyColourLocks(m_station.dataDir);
    applySettings();
    startupMark("settings");
    view.settingsRead(m_settings);

    auto tableAlert = StartupChecks::namesTableCheck(m_station.dataDir, m_station.log);
    if (!tableAlert.empty())
        view.showAlert(tableAlert);

    view.restoreView(m_settings.filter == LocalSettings::kOwnGroupFilter ? "" : m_settings.filter,
                     m_settings.columnWidths);
    // A fresh copy even when a mirror is there: the one an earlier run left
    // misses what changed while this station was off, and the poll's stamp
    // (taken at creation) would never show it. A damaged server table does
    // not replace it.
    m_names.load(true);
    startupMark("loaded");
    view.boardLoaded();

    const bool afterLogout = m_afterLogout;
    m_afterLogout = false;
    view.offerName(afterLogout ? std::nullopt : std::optional<std::string>(m_board.lastLoginName));
    if (autoLoginFor(m_board.lastLoginName, afterLogout))
        view.autoLogin();
    startupMark("login");
    if (!m_login.loggedIn())
        view.loginPanelStays();
    if (m_board.options[admin::opt::kShowInTaskbar])
        view.minimise();
    view.busy(false);
    startupMark("startup-done");
    view.startupFinished();
    return true;
}

LoginOutcome BoardSession::login(const std::string& name, const std::string& typedPassword)
{
    LoginOutcome outcome = m_login.login(name, typedPassword);
    if (outcome.result == LoginOutcome::Result::LoggedIn)
        m_started = true;
    return outcome;
}

void BoardSession::logout(bool boardShown, const WindowState& window)
{
    if (m_login.loggedIn() && boardShown) {
        saveSettings(window);
        m_started = false;
        m_afterLogout = true;
    }
    m_login.logout();
}

void BoardSession::applySettings()
{
    m_board.options.setFromText(LocalSettings::optionText(m_settings.optionValues),
                                LocalSettings::optionText(m_settings.optionRights));
    m_board.options.messageTicks = m_settings.msgRate;
    m_board.lastLoginName = m_settings.lastName;
    m_login.setSavedPassword(m_settings.password);
}

void BoardSession::saveSettings(const WindowState& window)
{
    LocalSettings::SaveContext ctx;
    ctx.refreshTicks = m_board.options.refreshTicks;
    ctx.recordCount = m_board.rowCount();
    ctx.ownIdent = m_board.ownIndex;
    ctx.ownName = m_board.ownName;
    if (m_board.ownIndex > 0 && m_board.ownIndex < m_board.rowCount())
        ctx.ownGroup = m_board.groups[static_cast<std::size_t>(m_board.ownIndex)];
    ctx.programPath = m_run.programPath;
    ctx.commandLine = m_run.commandLine;
    ctx.messageTablePath = m_station.dataPath(core::messageTableName(m_board.ownIndex));
    ctx.isIconic = window.minimised;
    ctx.appIconic = window.minimised;

    m_settings.msgRate = m_board.options.messageTicks;
    m_settings.filter = window.filter;
    m_settings.font = window.fontSize;
    m_settings.columnWidths = window.columnWidths;
    for (int n = 1; n <= admin::kOptionCount; ++n) {
        const auto i = static_cast<std::size_t>(n);
        m_settings.optionValues[i - 1] = m_board.options.value[i];
        m_settings.optionRights[i - 1] = m_board.options.right[i];
    }
    m_settings.password = m_login.savedPassword();
    m_settings.geometry.top = window.top;
    m_settings.geometry.left = window.left;
    m_settings.geometry.width = window.width;
    if (window.height)
        m_settings.geometry.height = *window.height;
    m_settings.save(ctx, m_station.clock, m_station.log);
}

void BoardSession::reloadOwnOptions(admin::MenuEffects* effects)
{
    m_config.load(m_board.ownIndex, m_board.options, m_board.adminMode, m_board.ownIndex, effects);
}

} // namespace qb::board
