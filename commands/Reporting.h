#pragma once

#include <functional>
#include <string_view>

#include "commands/CommandHost.h"

namespace ravelle {

// Runs one command's body and reports whatever ends it early through the
// host's error box (a cancel by the user ends it without a word): the user's
// error with its own message, running out of
// memory (or a size beyond what can be allocated) with `noMemoryMessage`,
// anything else as an internal error. Nothing is let out to the caller, not
// even a failure of the error box itself. Returns whether the body ran to its
// end.
bool runReported(CommandHost& host, std::string_view noMemoryMessage, const std::function<void()>& body);

} // namespace ravelle
