// One field of an open table as the dataset sees it.
#pragma once

#include <string>

namespace qb::engine {

struct TTzField {
    std::string name; // lower case
    char type = 'C';
    int number = 0;   // 1-based field number, also its place in the typed buffer
    int length = 0;
    int decimals = 0;
};

} // namespace qb::engine
