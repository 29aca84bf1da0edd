#include "engine/BoxNumber.h"
#include "engine/UserError.h"
#include "commands/Commands.h"

namespace ravelle {

bool stepBox(CommandHost& host, std::string_view box, long double step)
{
    try {
        const char separator = host.decimalSeparator();
        // The printed text of the previous step is parsed again each time, so
        // rounding never accumulates over a long repeat.
        const long double sum = parseBoxReal(host.boxText(box), separator) + step;
        host.setBoxText(box, formatGeneral(sum, separator, 15));
        return true;
    } catch (const UserError& error) {
        host.showError(error.message());
        return false;
    }
}

} // namespace ravelle
