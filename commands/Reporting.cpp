#include "commands/Reporting.h"

#include <exception>
#include <new>
#include <stdexcept>
#include <string>

#include "engine/Messages.h"
#include "engine/UserError.h"

namespace ravelle {

namespace {

// The message is put together here too, so that even that cannot throw out.
void report(CommandHost& host, std::string_view message, std::string_view detail = {}) noexcept
{
    try {
        std::string text(message);
        text += detail;
        host.showError(text);
    } catch (...) {
        // Nothing is left to tell the user with; the event loop goes on.
    }
}

} // namespace

bool runReported(CommandHost& host, std::string_view noMemoryMessage, const std::function<void()>& body)
{
    try {
        body();
        return true;
    } catch (const WorkCancelled&) {
        // The user stopped it; there is nothing to tell.
    } catch (const UserError& error) {
        report(host, error.message());
    } catch (const std::bad_alloc&) {
        report(host, noMemoryMessage);
    } catch (const std::length_error&) {
        report(host, noMemoryMessage);
    } catch (const std::exception& error) {
        report(host, messages::kInternalErrorPrefix, error.what());
    } catch (...) {
        report(host, messages::kInternalError);
    }
    return false;
}

} // namespace ravelle
