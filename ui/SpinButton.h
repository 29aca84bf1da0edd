#pragma once

#include <QWidget>

namespace ravelle {

// A stepper: 20 x 25 pixels, an up half and a down half with black arrows.
// A click on a half emits its signal once at the release; holding the left
// button repeats it (first after 400 ms, then every 100 ms). Never takes the
// keyboard focus.
class TSpinButton : public QWidget {
    Q_OBJECT
public:
    explicit TSpinButton(QWidget* parent = nullptr);

signals:
    void upClick();
    void downClick();
};

} // namespace ravelle
