#include "ui/SpinButton.h"

namespace ravelle {

TSpinButton::TSpinButton(QWidget* parent) : QWidget(parent)
{
    setFixedSize(20, 25);
    setFocusPolicy(Qt::NoFocus);
}

} // namespace ravelle
