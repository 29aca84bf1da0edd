#pragma once

#include <stdexcept>
#include <string>

namespace ravelle {

// The one error type of the program: it carries the text the user sees in
// the error box. The engine throws it; only the user interface shows it.
class UserError : public std::runtime_error {
public:
    explicit UserError(const std::string& message) : std::runtime_error(message) {}
    const std::string message() const { return what(); }
};

} // namespace ravelle
