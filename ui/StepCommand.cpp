#include <cmath>
#include <string>

#include "engine/BoxNumber.h"
#include "engine/Messages.h"
#include "engine/UserError.h"
#include "ui/Commands.h"

namespace ravelle {

bool stepBox(CommandHost& host, std::string_view box, long double step)
{
    try {
        const char separator = host.decimalSeparator();
        // The printed text of the previous step is parsed again each time, so
        // rounding never accumulates over a long repeat.
        const long double sum = parseBoxReal(host.boxText(box), separator) + step;
        // The parse stops at the range of long double and a step is small, so
        // this cannot trigger today; it keeps an infinity out of the box should
        // a caller ever pass a huge step.
        if (!std::isfinite(sum))
            throw UserError(std::string(messages::kOverflow));
        host.setBoxText(box, formatGeneral(sum, separator, 15));
        return true;
    } catch (const UserError& error) {
        host.showError(error.message());
        return false;
    }
}

} // namespace ravelle
