#pragma once

#include <QIcon>

namespace ravelle {

// The window icon: a first-derivative nitrogen triplet in a plot frame, the
// same picture as the installed ravelle2.svg.
QIcon programIcon();

} // namespace ravelle
