// The in-memory board: one row per board index, rebuilt as a whole by every
// load of the names table. Owned by the main window; plain data.
#pragma once

#include "core/Options.h"
#include "core/TableNames.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qb::board {

constexpr int kMaxRows = 1000;
constexpr const char* kDeletedName = core::kDeletedName;
constexpr int kPollParked = -9999;

// Remark types.
namespace remark {
constexpr int kIn = 1;
constexpr int kInUnavailable = 2;
constexpr int kOut = 3;
constexpr int kOther = 4;
} // namespace remark

struct Board {
    // Rows, entry i = record i (board index i). Texts are UTF-8.
    std::vector<std::string> names, remarks, groups, miscs, colorTexts;
    std::array<std::uint8_t, kMaxRows> colorCodes {};
    std::array<double, kMaxRows> times {}; // date-time in days

    std::vector<std::pair<std::string, int>> loginNames; // sorted by name
    std::vector<std::string> groupList;                    // sorted, distinct
    std::vector<int> displayOrder;                         // board indexes in shown order

    int ownIndex = -1;      // -1 before login, 0 for the administrator
    std::string ownName;
    int ownStatus = remark::kOther;
    std::string lastLoginName;
    bool adminMode = false;
    std::string trayHint;   // first 60 characters of remark + ": " + own name

    int largestRowCount = 0; // largest row count any copy saw in this process
    int pollCounter = 0;     // shared with the poll timer; parked at -9999 by loads and writes

    // Texts of remark types 1 and 3 ("In", "Out" unless the remark list says otherwise).
    std::string inText = "In";
    std::string outText = "Out";

    admin::Options options; // the logged-in person's options

    int rowCount() const { return static_cast<int>(names.size()); }
    bool isShown(int index) const
    {
        return index > 0 && index < rowCount() && names[static_cast<std::size_t>(index)] != kDeletedName;
    }
};

} // namespace qb::board
