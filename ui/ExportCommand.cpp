#include "ui/Commands.h"

namespace ravelle {

void exportCommand(ProgramState&, CommandHost&) {}

} // namespace ravelle
