#include "ui/Commands.h"

namespace ravelle {

void calculateCommand(ProgramState&, CommandHost&) {}

} // namespace ravelle
