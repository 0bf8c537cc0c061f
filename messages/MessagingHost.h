// What the messaging windows need from the board, filled in by whoever
// assembles the program (the main window), so that this area includes no
// header of the board's windows.
#pragma once

#include <QIcon>
#include <QString>

#include <array>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace qb::core {
class Dialogs;
}

namespace qb::messages {

struct MessagingHost {
    QWidget* boardWindow = nullptr;   // parent and anchor of the windows
    std::function<bool()> loggedIn;   // a person or the administrator is logged in
    std::function<bool()> adminMode;
    std::function<int()> ownIndex;    // -1 logged out, 0 administrator
    std::function<std::string()> ownName;
    std::function<bool(int)> option;  // the logged-in person's option n (1..23)
    std::function<int()> messageInterval; // message-check interval, 500 ms ticks
    std::function<std::string()> viewFilter;
    std::function<std::string()> inText; // the board's text for "In"
    // The board's people: board index and name, in board order (index > 0).
    std::function<std::vector<std::pair<int, std::string>>()> people;
    std::function<std::string()> mirrorPath;       // local copy of the names table
    std::function<std::string()> workstationDir;   // where qbpmsg.wav may lie
    std::function<std::array<std::string, 7>()> flagLabels; // site labels 1..7, empty keeps the caption
    std::function<bool()> outOfOfficeColouring;    // site setting MsgColor
    std::function<void(const QString& topic)> openHelp;
    std::function<void(const std::vector<std::string>& lines)> alert; // the board's alert box
    std::function<void(const QString& text)> statusLine;              // the board's status line
    std::function<void(const QString& title)> setTitle; // application title and board caption
    std::function<QString()> caption;                   // the board's caption now
    std::function<void(const QIcon* icon)> setTrayIcon; // nullptr: the board's own icon
    // The program's boxes (borrowed); without, every question counts as
    // Cancel.
    core::Dialogs* dialogs = nullptr;
};

} // namespace qb::messages
