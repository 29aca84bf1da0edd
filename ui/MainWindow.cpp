#include "ui/MainWindow.h"

namespace ravelle {

const char* const kMainWindowCaption =
    "Ravelle2 for Simple Organic Radicals  (the Ravelle2 contributors) <<January, 2005>>";

TForm1::TForm1(ProgramState& state, QWidget* parent) : QMainWindow(parent), state_(state)
{
    setWindowTitle(QString::fromUtf8(kMainWindowCaption));
    resize(914, 648);
}

} // namespace ravelle
