// The one exception of the engine: raised by the dataset layer only, for
// operations its state does not allow. Table errors never throw.
#pragma once

#include <stdexcept>
#include <string>

namespace qb::engine {

class EDuverError : public std::runtime_error {
public:
    explicit EDuverError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace qb::engine
