#pragma once

#include <stdexcept>
#include <string>

namespace ravelle {

// The one error type of the program: it carries the text the user sees in
// the error box. The engine throws it; only the user interface shows it.
class UserError : public std::runtime_error {
public:
    explicit UserError(const std::string& message) : std::runtime_error(message), message_(message) {}
    // The whole text: what() would stop at a NUL byte that a quoted box or
    // file text may hold.
    const std::string& message() const { return message_; }

private:
    std::string message_;
};

} // namespace ravelle
