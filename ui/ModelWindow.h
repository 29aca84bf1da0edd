#pragma once

#include <QWidget>

#include <vector>

#include "commands/ModelTexts.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace ravelle {

class SpeciesPanel;

// The Model window: what the spectrum model adds to the main window's boxes.
// Species 1's line shape, Gamma, extra nucleus groups and m_I-dependent
// widths; further species; the baseline under the red trace; the microwave
// frequency, with the g-value of the centre field. Like the boxes, it holds
// texts that take effect at the next Calculate or stepper step; typing in it
// changes nothing else. Closing it only hides it.
class ModelWindow : public QWidget {
    Q_OBJECT
public:
    // `sigmaBox` and `centreBox` are the main window's Sigma and GCntr: the
    // window follows their texts for the peak-to-peak widths of species 1
    // and for the g-value.
    ModelWindow(const QLineEdit* sigmaBox, const QLineEdit* centreBox, QWidget* parent = nullptr);

    ModelTexts texts() const;
    // Shows exactly `texts`; only fields whose texts differ are rewritten.
    void setTexts(const ModelTexts& texts);

    int speciesCount() const { return static_cast<int>(species_.size()); }
    SpeciesPanel* species(int index) const { return species_.at(static_cast<std::size_t>(index)); }
    // Adds a species with the start-up texts (none beyond kMaxSpecies);
    // removes species 2, 3, ... (never species 1).
    void addSpecies();
    void removeSpecies(int index);

    QLineEdit* baselineOffset = nullptr;
    QLineEdit* baselineSlope = nullptr;
    QLineEdit* frequency = nullptr;
    QLabel* gValue = nullptr;
    QTabWidget* tabs = nullptr;
    QPushButton* addSpeciesButton = nullptr;
    QPushButton* removeSpeciesButton = nullptr;

signals:
    // A Gamma stepper of species 1 asks for a step of this size (signed).
    void gammaStep(long double step);

private:
    QWidget* createCommonFields();
    void appendSpecies(const SpeciesTexts& texts);
    void updateGValue();
    void updateSpeciesButtons();

    const QLineEdit* sigmaBox_;
    const QLineEdit* centreBox_;
    std::vector<SpeciesPanel*> species_;
};

} // namespace ravelle
