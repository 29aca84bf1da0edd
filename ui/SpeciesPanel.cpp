#include "ui/SpeciesPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QVBoxLayout>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "engine/BoxNumber.h"
#include "engine/UserError.h"
#include "engine/model/Model.h"
#include "ui/GroupTable.h"
#include "ui/ModelFields.h"
#include "ui/QtHost.h"
#include "ui/SpinButton.h"

namespace ravelle {

namespace {

constexpr int kWidthFieldWidth = 80;
constexpr int kLawFieldWidth = 56;

// The shapes in the order the list shows them.
constexpr model::LineShape kShapes[] = {model::LineShape::Gaussian, model::LineShape::Lorentzian,
                                        model::LineShape::Voigt};

char systemSeparator()
{
    return decimalSeparatorOf(QLocale::system().decimalPoint());
}

// A width as the boxes take it, or nothing while the text holds no number.
std::optional<double> widthOf(const QString& text)
{
    const std::optional<long double> value = tryParseRealEitherPoint(text.toStdString(), systemSeparator());
    if (!value || !std::isfinite(static_cast<double>(*value)))
        return std::nullopt;
    return static_cast<double>(*value);
}

QString gaussText(std::optional<double> width)
{
    if (!width || !std::isfinite(*width))
        return QStringLiteral("—");
    return QString::fromStdString(formatGeneral(*width, systemSeparator(), 5)) + QStringLiteral(" G");
}

QLabel* note(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    label->setPalette(palette);
    return label;
}

QHBoxLayout* lineOf(const std::vector<QWidget*>& widgets)
{
    auto* line = new QHBoxLayout;
    line->setSpacing(4);
    for (QWidget* widget : widgets)
        line->addWidget(widget);
    line->addStretch();
    return line;
}

} // namespace

SpeciesPanel::SpeciesPanel(Kind kind, QWidget* parent) : QWidget(parent), kind_(kind)
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(createWidths());
    if (kind_ == Kind::Further)
        layout->addWidget(createPlacement());

    auto* groupBox = new QGroupBox(
        kind_ == Kind::First ? QStringLiteral("Nucleus groups, in addition to the main window's H and N boxes")
                             : QStringLiteral("Nucleus groups"),
        this);
    auto* groupLayout = new QVBoxLayout(groupBox);
    groups = new GroupTable(groupBox);
    groupLayout->addWidget(groups);
    layout->addWidget(groupBox);
    layout->addWidget(createWidthLaw());
    layout->addStretch();

    connect(groups, &GroupTable::rowsChanged, this, &SpeciesPanel::followGroupRows);
    updateUnusedWidths();
    updatePeakToPeak();
}

QWidget* SpeciesPanel::createWidths()
{
    auto* box = new QGroupBox(QStringLiteral("Line shape and widths"), this);
    auto* form = new QFormLayout(box);

    shape = new QComboBox(box);
    shape->setObjectName(QStringLiteral("shape"));
    shape->addItems({QStringLiteral("Gaussian"), QStringLiteral("Lorentzian"), QStringLiteral("Voigt")});
    linePeakToPeak = new QLabel(box);
    linePeakToPeak->setObjectName(QStringLiteral("linePeakToPeak"));
    form->addRow(QStringLiteral("Line shape:"), lineOf({shape, linePeakToPeak}));

    sigma = newField(box, "sigma", kWidthFieldWidth);
    sigmaPeakToPeak = new QLabel(box);
    sigmaPeakToPeak->setObjectName(QStringLiteral("sigmaPeakToPeak"));
    if (kind_ == Kind::First) {
        sigma->setReadOnly(true);
        sigma->setFocusPolicy(Qt::NoFocus);
        QPalette readOnly = sigma->palette();
        readOnly.setColor(QPalette::Base, readOnly.color(QPalette::Window));
        sigma->setPalette(readOnly);
        sigma->setToolTip(QStringLiteral("Species 1 takes Sigma from the main window's Sigma box."));
        form->addRow(QStringLiteral("Sigma (G), main window:"), lineOf({sigma, sigmaPeakToPeak}));
    } else {
        form->addRow(QStringLiteral("Sigma (G):"), lineOf({sigma, sigmaPeakToPeak}));
    }

    gamma = newField(box, "gamma", kWidthFieldWidth);
    gammaPeakToPeak = new QLabel(box);
    gammaPeakToPeak->setObjectName(QStringLiteral("gammaPeakToPeak"));
    // Species 1's Gamma has steppers like Sigma's in the main window,
    // coarsest on the left.
    std::vector<QWidget*> gammaRow{gamma};
    for (std::size_t k = 0; kind_ == Kind::First && k < gammaSteppers.size(); ++k) {
        auto* stepper = new TSpinButton(box);
        stepper->setObjectName(QStringLiteral("gammaStepper%1").arg(k + 1));
        stepper->setToolTip(QStringLiteral("Gamma ± %1 G, then Calculate")
                                .arg(QString::fromStdString(formatGeneral(kGammaSteps[k], systemSeparator()))));
        gammaSteppers[k] = stepper;
        gammaRow.push_back(stepper);
        const long double step = kGammaSteps[k];
        connect(stepper, &TSpinButton::upClick, this, [this, step] { emit gammaStep(step); });
        connect(stepper, &TSpinButton::downClick, this, [this, step] { emit gammaStep(-step); });
    }
    gammaRow.push_back(gammaPeakToPeak);
    QHBoxLayout* gammaLine = lineOf(gammaRow);
    form->addRow(QStringLiteral("Gamma (G):"), gammaLine);
    if (kind_ == Kind::First)
        form->addRow(note(QStringLiteral("Sigma: standard deviation of the Gaussian. Gamma: half width at half "
                                     "maximum of the Lorentzian. Voigt: the convolution of the two. Each width "
                                     "is also shown as the peak-to-peak width (p-p) of the derivative line."),
                          box));

    connect(shape, &QComboBox::currentIndexChanged, this, [this] {
        updateUnusedWidths();
        updatePeakToPeak();
    });
    connect(sigma, &QLineEdit::textChanged, this, &SpeciesPanel::updatePeakToPeak);
    connect(gamma, &QLineEdit::textChanged, this, &SpeciesPanel::updatePeakToPeak);
    return box;
}

QWidget* SpeciesPanel::createPlacement()
{
    auto* box = new QGroupBox(QStringLiteral("Amount and position"), this);
    auto* form = new QFormLayout(box);
    weight = newField(box, "weight", kWidthFieldWidth);
    form->addRow(QStringLiteral("Weight (relative amount):"), lineOf({weight}));
    shift = newField(box, "shift", kWidthFieldWidth);
    shiftIsGValue = new QCheckBox(QStringLiteral("as a g-value (needs the microwave frequency)"), box);
    shiftIsGValue->setObjectName(QStringLiteral("shiftIsGValue"));
    form->addRow(QStringLiteral("Centre shift (G):"), lineOf({shift, shiftIsGValue}));
    return box;
}

QWidget* SpeciesPanel::createWidthLaw()
{
    auto* box = new QGroupBox(QStringLiteral("m_I-dependent widths"), this);
    auto* layout = new QVBoxLayout(box);
    widthGroup = new QComboBox(box);
    widthGroup->setObjectName(QStringLiteral("widthGroup"));
    widthGroup->addItem(QStringLiteral("none"));
    sigmaB = newField(box, "sigmaB", kLawFieldWidth);
    sigmaC = newField(box, "sigmaC", kLawFieldWidth);
    gammaB = newField(box, "gammaB", kLawFieldWidth);
    gammaC = newField(box, "gammaC", kLawFieldWidth);
    const auto label = [box](const char* text) { return new QLabel(QString::fromUtf8(text), box); };
    layout->addLayout(lineOf({label("Group:"), widthGroup, label("  Sigma B"), sigmaB, label("C"), sigmaC,
                              label("  Gamma B"), gammaB, label("C"), gammaC}));
    layout->addWidget(note(QStringLiteral("Width = Sigma + B m + C m², likewise Gamma, where m is the total m_I "
                                          "of the chosen group of the list above."),
                           box));
    return box;
}

SpeciesTexts SpeciesPanel::texts() const
{
    SpeciesTexts texts;
    texts.groups = groups->groups();
    texts.shape = kShapes[std::max(shape->currentIndex(), 0)];
    texts.sigma = textOf(sigma);
    texts.gamma = textOf(gamma);
    if (kind_ == Kind::Further) {
        texts.weight = textOf(weight);
        texts.shift = textOf(shift);
        texts.shiftIsGValue = shiftIsGValue->isChecked();
    }
    texts.widthLaw = {widthGroupText(), textOf(sigmaB), textOf(sigmaC), textOf(gammaB), textOf(gammaC)};
    return texts;
}

void SpeciesPanel::setTexts(const SpeciesTexts& texts)
{
    groups->setGroups(texts.groups);
    for (int k = 0; k < 3; ++k)
        if (kShapes[k] == texts.shape && shape->currentIndex() != k)
            shape->setCurrentIndex(k);
    if (kind_ == Kind::Further) {
        showText(sigma, texts.sigma);
        showText(weight, texts.weight);
        showText(shift, texts.shift);
        showChecked(shiftIsGValue, texts.shiftIsGValue);
    }
    showText(gamma, texts.gamma);
    showWidthGroup(texts.widthLaw.group);
    showText(sigmaB, texts.widthLaw.sigmaB);
    showText(sigmaC, texts.widthLaw.sigmaC);
    showText(gammaB, texts.widthLaw.gammaB);
    showText(gammaC, texts.widthLaw.gammaC);
}

void SpeciesPanel::setMainSigmaText(const QString& text)
{
    if (kind_ == Kind::First && sigma->text() != text)
        sigma->setText(text);
}

void SpeciesPanel::updateUnusedWidths()
{
    const auto chosen = kShapes[std::max(shape->currentIndex(), 0)];
    const bool usesSigma = chosen != model::LineShape::Lorentzian;
    const bool usesGamma = chosen != model::LineShape::Gaussian;
    if (kind_ == Kind::Further)
        sigma->setEnabled(usesSigma);
    sigmaB->setEnabled(usesSigma);
    sigmaC->setEnabled(usesSigma);
    gamma->setEnabled(usesGamma);
    gammaB->setEnabled(usesGamma);
    gammaC->setEnabled(usesGamma);
    for (TSpinButton* stepper : gammaSteppers)
        if (stepper)
            stepper->setEnabled(usesGamma);
}

void SpeciesPanel::updatePeakToPeak()
{
    const std::optional<double> sigmaValue = widthOf(sigma->text());
    const std::optional<double> gammaValue = widthOf(gamma->text());
    std::optional<double> sigmaWidth;
    if (sigmaValue)
        sigmaWidth = 2 * std::fabs(*sigmaValue);
    std::optional<double> gammaWidth;
    if (gammaValue && *gammaValue >= 0)
        gammaWidth = 2 * *gammaValue / std::sqrt(3.0);
    sigmaPeakToPeak->setText(QStringLiteral("p-p 2 Sigma: ") + gaussText(sigmaWidth));
    gammaPeakToPeak->setText(QStringLiteral("p-p 2 Gamma/√3: ") + gaussText(gammaWidth));

    // The shape's own widths only: a text in the width it does not use
    // changes nothing.
    const auto chosen = kShapes[std::max(shape->currentIndex(), 0)];
    const double lineSigma = chosen == model::LineShape::Lorentzian ? 0.0 : sigmaValue.value_or(NAN);
    const double lineGamma = chosen == model::LineShape::Gaussian ? 0.0 : gammaValue.value_or(NAN);
    std::optional<double> lineWidth;
    try {
        lineWidth = model::peakToPeakWidth(chosen, lineSigma, lineGamma);
    } catch (const UserError&) {
        // A width the shape needs holds no usable number: nothing to show.
    }
    linePeakToPeak->setText(QStringLiteral("line p-p width ") + gaussText(lineWidth));
}

void SpeciesPanel::followGroupRows(int removedIndex)
{
    // The chosen group keeps its nuclei: a group after a removed one moves
    // up a number; a removed group is no longer chosen.
    std::string chosen = widthGroupText();
    if (removedIndex >= 0 && !chosen.empty()) {
        const int number = std::atoi(chosen.c_str());
        if (number == removedIndex + 1)
            chosen.clear();
        else if (number > removedIndex + 1)
            chosen = std::to_string(number - 1);
    }
    showWidthGroup(chosen);
}

void SpeciesPanel::showWidthGroup(const std::string& text)
{
    // "none", the groups there are, and a chosen number beyond them (from
    // a parameter set, say): the choice is shown as it is and Calculate
    // reports it.
    widthGroup->blockSignals(true);
    widthGroup->clear();
    widthGroup->addItem(QStringLiteral("none"));
    for (int k = 1; k <= groups->rowCount(); ++k)
        widthGroup->addItem(QString::number(k));
    const QString shown = QString::fromStdString(text);
    if (!text.empty() && widthGroup->findText(shown) < 0)
        widthGroup->addItem(shown);
    widthGroup->setCurrentIndex(text.empty() ? 0 : widthGroup->findText(shown));
    widthGroup->blockSignals(false);
}

std::string SpeciesPanel::widthGroupText() const
{
    return widthGroup->currentIndex() <= 0 ? std::string() : textOf(widthGroup);
}

} // namespace ravelle
