#pragma once

#include <QMainWindow>

#include "engine/ProgramState.h"

namespace ravelle {

// The main window Form1.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(ProgramState& state, QWidget* parent = nullptr);

private:
    ProgramState& state_;
};

// "Ravelle2 for Simple Organic Radicals" + two blanks + credit + " <<January, 2005>>".
extern const char* const kMainWindowCaption;

} // namespace ravelle
