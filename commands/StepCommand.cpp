#include <optional>

#include "commands/Commands.h"
#include "commands/Reporting.h"
#include "engine/BoxNumber.h"
#include "engine/Messages.h"
#include "engine/UserError.h"

namespace ravelle {

namespace {

// The printed text of the previous step is parsed again each time, so
// rounding never accumulates over a long repeat. The text reads as
// Calculate reads it; the sum is written with the system's separator.
std::optional<std::string> steppedText(const std::string& text, char separator, long double step)
{
    const std::optional<long double> value = tryParseRealEitherPoint(text, separator);
    if (!value)
        return std::nullopt;
    return formatGeneral(*value + step, separator, 15);
}

} // namespace

bool stepBox(CommandHost& host, std::string_view box, long double step)
{
    return runReported(host, messages::kNoMemoryForCommand, [&] {
        const std::string text = host.boxText(box);
        const std::optional<std::string> stepped = steppedText(text, host.decimalSeparator(), step);
        if (!stepped)
            throw UserError(messages::notAReal(text));
        host.setBoxText(box, *stepped);
    });
}

bool stepModelText(CommandHost& host, const ModelTextOf& text, std::string_view field, long double step)
{
    return runReported(host, messages::kNoMemoryForCommand, [&] {
        ModelTexts model = host.modelTexts();
        std::string& chosen = text(model);
        const std::optional<std::string> stepped = steppedText(chosen, host.decimalSeparator(), step);
        if (!stepped)
            throw UserError(messages::modelFieldNotANumber(field, chosen));
        chosen = *stepped;
        host.setModelTexts(model);
    });
}

} // namespace ravelle
