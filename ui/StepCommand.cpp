#include "ui/Commands.h"

namespace ravelle {

bool stepBox(CommandHost&, std::string_view, long double) { return false; }

} // namespace ravelle
