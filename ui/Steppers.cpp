// The fourteen steppers of the main window and their 28 handlers.
#include <QFrame>

#include <string_view>

#include "commands/Commands.h"
#include "ui/MainWindow.h"
#include "ui/ModelWindow.h"
#include "ui/QtHost.h"
#include "ui/SpinButton.h"

namespace ravelle {

namespace {

using Handler = void (TForm1::*)(QObject*);

// One stepper: where it sits, the box it steps and by how much, and its two
// handlers. Each box has its steppers in a row to its right, coarsest step
// leftmost. The steps 0.1, 0.01 and 0.001 are the extended-precision values
// nearest those decimals; up adds the step, down subtracts it.
struct StepperRow {
    TSpinButton* TForm1::*stepper;
    const char* name;
    bool onPanel1; // in the plot panel with its box, or on the window itself
    int left;
    int top;
    std::string_view box;
    long double step;
    Handler up;
    Handler down;
};

const StepperRow kSteppers[] = {
    {&TForm1::SpinButton3, "SpinButton3", true, 355, 508, "GCntr", 10.0L, &TForm1::SpinButton3UpClick,
     &TForm1::SpinButton3DownClick},
    {&TForm1::SpinButton2, "SpinButton2", true, 375, 508, "GCntr", 1.0L, &TForm1::SpinButton2UpClick,
     &TForm1::SpinButton2DownClick},
    {&TForm1::SpinButton1, "SpinButton1", true, 395, 508, "GCntr", 0.1L, &TForm1::SpinButton1UpClick,
     &TForm1::SpinButton1DownClick},
    {&TForm1::SpinButton7, "SpinButton7", true, 416, 508, "GCntr", 0.01L, &TForm1::SpinButton7UpClick,
     &TForm1::SpinButton7DownClick},
    {&TForm1::SpinButton6, "SpinButton6", true, 659, 508, "Scl", 1.0L, &TForm1::SpinButton6UpClick,
     &TForm1::SpinButton6DownClick},
    {&TForm1::SpinButton5, "SpinButton5", true, 679, 508, "Scl", 0.1L, &TForm1::SpinButton5UpClick,
     &TForm1::SpinButton5DownClick},
    {&TForm1::SpinButton4, "SpinButton4", true, 699, 508, "Scl", 0.01L, &TForm1::SpinButton4UpClick,
     &TForm1::SpinButton4DownClick},
    {&TForm1::SpinButton8, "SpinButton8", true, 719, 508, "Scl", 0.001L, &TForm1::SpinButton8UpClick,
     &TForm1::SpinButton8DownClick},
    {&TForm1::SpinButton12, "SpinButton12", false, 180, 542, "G", 10.0L, &TForm1::SpinButton12UpClick,
     &TForm1::SpinButton12DownClick},
    {&TForm1::SpinButton13, "SpinButton13", false, 200, 542, "G", 1.0L, &TForm1::SpinButton13UpClick,
     &TForm1::SpinButton13DownClick},
    {&TForm1::SpinButton14, "SpinButton14", false, 220, 542, "G", 0.1L, &TForm1::SpinButton14UpClick,
     &TForm1::SpinButton14DownClick},
    {&TForm1::SpinButton11, "SpinButton11", false, 523, 542, "Sigma", 0.1L, &TForm1::SpinButton11UpClick,
     &TForm1::SpinButton11DownClick},
    {&TForm1::SpinButton10, "SpinButton10", false, 543, 542, "Sigma", 0.01L, &TForm1::SpinButton10UpClick,
     &TForm1::SpinButton10DownClick},
    {&TForm1::SpinButton9, "SpinButton9", false, 563, 542, "Sigma", 0.001L, &TForm1::SpinButton9UpClick,
     &TForm1::SpinButton9DownClick},
};

} // namespace

void TForm1::createSteppers()
{
    for (const StepperRow& row : kSteppers) {
        auto* stepper = new TSpinButton(row.onPanel1 ? static_cast<QWidget*>(Panel1) : client_);
        stepper->setObjectName(QString::fromLatin1(row.name));
        stepper->move(row.left, row.top);
        this->*row.stepper = stepper;
    }
}

void TForm1::connectSteppers()
{
    for (const StepperRow& row : kSteppers) {
        TSpinButton* stepper = this->*row.stepper;
        connect(stepper, &TSpinButton::upClick, this, [this, stepper, up = row.up] { (this->*up)(stepper); });
        connect(stepper, &TSpinButton::downClick, this, [this, stepper, down = row.down] { (this->*down)(stepper); });
    }
}

void TForm1::stepAndCalculate(QObject* sender, const TSpinButton* stepper, int direction)
{
    if (!takesCommands())
        return;
    for (const StepperRow& row : kSteppers) {
        if (this->*row.stepper != stepper)
            continue;
        if (stepBox(*host_, row.box, direction * row.step))
            Calculate1Click(sender);
        return;
    }
}

void TForm1::stepGammaAndCalculate(long double step)
{
    if (!takesCommands())
        return;
    const ModelTextOf gamma = [](ModelTexts& texts) -> std::string& { return texts.gamma; };
    if (stepModelText(*host_, gamma, "Gamma", step))
        Calculate1Click(modelWindow_);
}

void TForm1::SpinButton1UpClick(QObject* sender) { stepAndCalculate(sender, SpinButton1, +1); }
void TForm1::SpinButton1DownClick(QObject* sender) { stepAndCalculate(sender, SpinButton1, -1); }
void TForm1::SpinButton2UpClick(QObject* sender) { stepAndCalculate(sender, SpinButton2, +1); }
void TForm1::SpinButton2DownClick(QObject* sender) { stepAndCalculate(sender, SpinButton2, -1); }
void TForm1::SpinButton3UpClick(QObject* sender) { stepAndCalculate(sender, SpinButton3, +1); }
void TForm1::SpinButton3DownClick(QObject* sender) { stepAndCalculate(sender, SpinButton3, -1); }
void TForm1::SpinButton4UpClick(QObject* sender) { stepAndCalculate(sender, SpinButton4, +1); }
void TForm1::SpinButton4DownClick(QObject* sender) { stepAndCalculate(sender, SpinButton4, -1); }
void TForm1::SpinButton5UpClick(QObject* sender) { stepAndCalculate(sender, SpinButton5, +1); }
void TForm1::SpinButton5DownClick(QObject* sender) { stepAndCalculate(sender, SpinButton5, -1); }
void TForm1::SpinButton6UpClick(QObject* sender) { stepAndCalculate(sender, SpinButton6, +1); }
void TForm1::SpinButton6DownClick(QObject* sender) { stepAndCalculate(sender, SpinButton6, -1); }
void TForm1::SpinButton7UpClick(QObject* sender) { stepAndCalculate(sender, SpinButton7, +1); }
void TForm1::SpinButton7DownClick(QObject* sender) { stepAndCalculate(sender, SpinButton7, -1); }
void TForm1::SpinButton8UpClick(QObject* sender) { stepAndCalculate(sender, SpinButton8, +1); }
void TForm1::SpinButton8DownClick(QObject* sender) { stepAndCalculate(sender, SpinButton8, -1); }
void TForm1::SpinButton9UpClick(QObject* sender) { stepAndCalculate(sender, SpinButton9, +1); }
void TForm1::SpinButton9DownClick(QObject* sender) { stepAndCalculate(sender, SpinButton9, -1); }
void TForm1::SpinButton10UpClick(QObject* sender) { stepAndCalculate(sender, SpinButton10, +1); }
void TForm1::SpinButton10DownClick(QObject* sender) { stepAndCalculate(sender, SpinButton10, -1); }
void TForm1::SpinButton11UpClick(QObject* sender) { stepAndCalculate(sender, SpinButton11, +1); }
void TForm1::SpinButton11DownClick(QObject* sender) { stepAndCalculate(sender, SpinButton11, -1); }
void TForm1::SpinButton12UpClick(QObject* sender) { stepAndCalculate(sender, SpinButton12, +1); }
void TForm1::SpinButton12DownClick(QObject* sender) { stepAndCalculate(sender, SpinButton12, -1); }
void TForm1::SpinButton13UpClick(QObject* sender) { stepAndCalculate(sender, SpinButton13, +1); }
void TForm1::SpinButton13DownClick(QObject* sender) { stepAndCalculate(sender, SpinButton13, -1); }
void TForm1::SpinButton14UpClick(QObject* sender) { stepAndCalculate(sender, SpinButton14, +1); }
void TForm1::SpinButton14DownClick(QObject* sender) { stepAndCalculate(sender, SpinButton14, -1); }

} // namespace ravelle
