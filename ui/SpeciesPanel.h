#pragma once

#include <QWidget>

#include <array>

#include "commands/ModelTexts.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace ravelle {

class GroupTable;
class TSpinButton;

// One species in the Model window: its line shape and widths, each width
// also shown as the peak-to-peak width of the derivative line, its nucleus
// groups and its m_I-dependent widths. Species 1 takes its Sigma from the
// main window's box and has steppers for Gamma; a further species has its
// own Sigma, a weight and a centre shift.
class SpeciesPanel : public QWidget {
    Q_OBJECT
public:
    enum class Kind { First, Further };
    explicit SpeciesPanel(Kind kind, QWidget* parent = nullptr);

    // Species 1 uses shape, gamma, groups and widthLaw only.
    SpeciesTexts texts() const;
    // Shows exactly `texts`; only what differs is rewritten.
    void setTexts(const SpeciesTexts& texts);

    // Species 1: the text of the main window's Sigma box, shown and used
    // for the peak-to-peak widths.
    void setMainSigmaText(const QString& text);

    Kind kind() const { return kind_; }

    QComboBox* shape = nullptr;
    QLineEdit* sigma = nullptr; // read-only for species 1: the main window's
    QLineEdit* gamma = nullptr;
    // Species 1: steps of 0.1, 0.01 and 0.001 on Gamma, coarsest first.
    std::array<TSpinButton*, 3> gammaSteppers{};
    QLabel* sigmaPeakToPeak = nullptr;
    QLabel* gammaPeakToPeak = nullptr;
    QLabel* linePeakToPeak = nullptr;
    QLineEdit* weight = nullptr;       // further species only
    QLineEdit* shift = nullptr;        // further species only
    QCheckBox* shiftIsGValue = nullptr; // further species only
    GroupTable* groups = nullptr;
    QComboBox* widthGroup = nullptr; // "none", then the group numbers
    QLineEdit* sigmaB = nullptr;
    QLineEdit* sigmaC = nullptr;
    QLineEdit* gammaB = nullptr;
    QLineEdit* gammaC = nullptr;

    static constexpr std::array<long double, 3> kGammaSteps{0.1L, 0.01L, 0.001L};

signals:
    // A Gamma stepper of species 1 asks for a step of this size (signed).
    void gammaStep(long double step);

private:
    QWidget* createWidths();
    QWidget* createPlacement();
    QWidget* createWidthLaw();
    void updatePeakToPeak();
    void updateUnusedWidths();
    void followGroupRows(int removedIndex);
    void showWidthGroup(const std::string& text);
    std::string widthGroupText() const;

    Kind kind_;
};

} // namespace ravelle
