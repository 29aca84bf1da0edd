#include "ui/Commands.h"

namespace ravelle {

void importCommand(ProgramState&, CommandHost&) {}

} // namespace ravelle
