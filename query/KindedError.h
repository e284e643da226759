#pragma once

#include <stdexcept>
#include <string>

namespace tesseron {

// An error that names which of a known set of reasons ended an attempt, beside the
// message for a person.
template <typename Kind> class KindedError : public std::runtime_error {
public:
    KindedError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Kind kind() const noexcept { return kind_; }

private:
    Kind kind_;
};

} // namespace tesseron
