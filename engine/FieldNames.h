// How a field is found by its name, the same for the engine's calls and the
// table component's bound controls: blanks after the name do not count, nor
// does the case of its letters.
#pragma once

#include "platform/AsciiCase.h"

#include <string_view>

namespace qb::engine {

// The 1-based number of the field called name among fields (a sequence of
// anything with a std::string member `name`), 0 when there is none.
template <class Fields>
int fieldNumberByName(const Fields& fields, std::string_view name)
{
    while (!name.empty() && name.back() == ' ')
        name.remove_suffix(1);
    int number = 0;
    for (const auto& f : fields) {
        ++number;
        if (platform::equalsIgnoringCase(f.name, name))
            return number;
    }
    return 0;
}

} // namespace qb::engine
