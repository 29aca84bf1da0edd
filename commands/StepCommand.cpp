#include "engine/BoxNumber.h"
#include "engine/Messages.h"
#include "commands/Commands.h"
#include "commands/Reporting.h"

namespace ravelle {

bool stepBox(CommandHost& host, std::string_view box, long double step)
{
    return runReported(host, messages::kNoMemoryForCommand, [&] {
        const char separator = host.decimalSeparator();
        // The printed text of the previous step is parsed again each time, so
        // rounding never accumulates over a long repeat. The box reads as
        // Calculate reads it; the sum is written with the system's separator.
        const long double sum = parseRealEitherPoint(host.boxText(box), separator) + step;
        host.setBoxText(box, formatGeneral(sum, separator, 15));
    });
}

} // namespace ravelle
