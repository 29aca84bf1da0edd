#include "ui/ModelWindow.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>
#include <optional>
#include <string>

#include "engine/BoxNumber.h"
#include "engine/model/GValue.h"
#include "engine/model/Model.h"
#include "ui/ModelFields.h"
#include "ui/QtHost.h"
#include "ui/SpeciesPanel.h"

namespace ravelle {

namespace {

constexpr int kFieldWidth = 80;

std::optional<double> positiveNumber(const QString& text, char separator)
{
    const std::optional<long double> value = tryParseRealEitherPoint(text.toStdString(), separator);
    if (!value || !(*value > 0) || !std::isfinite(static_cast<double>(*value)))
        return std::nullopt;
    return static_cast<double>(*value);
}

QString speciesTitle(std::size_t index)
{
    return QStringLiteral("Species %1").arg(index + 1);
}

} // namespace

ModelWindow::ModelWindow(const QLineEdit* sigmaBox, const QLineEdit* centreBox, QWidget* parent)
    : QWidget(parent, Qt::Window), sigmaBox_(sigmaBox), centreBox_(centreBox)
{
    setObjectName(QStringLiteral("ModelWindow"));
    setWindowTitle(QStringLiteral("Model"));
    // Showing it must never keep the program running once the main window is closed.
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(createCommonFields());

    tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("species"));
    layout->addWidget(tabs, 1);

    addSpeciesButton = new QPushButton(QStringLiteral("Add species"), this);
    addSpeciesButton->setObjectName(QStringLiteral("addSpecies"));
    removeSpeciesButton = new QPushButton(QStringLiteral("Remove this species"), this);
    removeSpeciesButton->setObjectName(QStringLiteral("removeSpecies"));
    for (QPushButton* button : {addSpeciesButton, removeSpeciesButton})
        button->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(addSpeciesButton);
    buttons->addWidget(removeSpeciesButton);
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(addSpeciesButton, &QPushButton::clicked, this, &ModelWindow::addSpecies);
    connect(removeSpeciesButton, &QPushButton::clicked, this, [this] { removeSpecies(tabs->currentIndex()); });
    connect(tabs, &QTabWidget::currentChanged, this, &ModelWindow::updateSpeciesButtons);

    appendSpecies(SpeciesTexts{});
    setTexts(ModelTexts{});

    connect(sigmaBox_, &QLineEdit::textChanged, this, [this](const QString& text) {
        species_.front()->setMainSigmaText(text);
    });
    species_.front()->setMainSigmaText(sigmaBox_->text());
    connect(centreBox_, &QLineEdit::textChanged, this, &ModelWindow::updateGValue);
    connect(frequency, &QLineEdit::textChanged, this, &ModelWindow::updateGValue);
    updateGValue();

    // Room for a species with a few groups; at 96 dpi it fits a 1366 x 768
    // screen beside the main window, and each species scrolls on its own.
    resize(660, 620);
    move(260, 60);
}

QWidget* ModelWindow::createCommonFields()
{
    auto* box = new QGroupBox(QStringLiteral("For the whole spectrum"), this);
    auto* form = new QFormLayout(box);

    baselineOffset = newField(box, "baselineOffset", kFieldWidth);
    baselineSlope = newField(box, "baselineSlope", kFieldWidth);
    auto* baseline = new QHBoxLayout;
    baseline->addWidget(baselineOffset);
    baseline->addWidget(new QLabel(QStringLiteral("  slope (per G, about the centre field):"), box));
    baseline->addWidget(baselineSlope);
    baseline->addStretch();
    form->addRow(QStringLiteral("Baseline offset:"), baseline);

    frequency = newField(box, "frequency", kFieldWidth);
    gValue = new QLabel(box);
    gValue->setObjectName(QStringLiteral("gValue"));
    gValue->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* microwave = new QHBoxLayout;
    microwave->addWidget(frequency);
    microwave->addWidget(gValue);
    microwave->addStretch();
    form->addRow(QStringLiteral("Microwave frequency (GHz):"), microwave);
    return box;
}

ModelTexts ModelWindow::texts() const
{
    ModelTexts texts;
    const SpeciesTexts first = species_.front()->texts();
    texts.shape = first.shape;
    texts.gamma = first.gamma;
    texts.groups = first.groups;
    texts.widthLaw = first.widthLaw;
    texts.offset = textOf(baselineOffset);
    texts.slope = textOf(baselineSlope);
    texts.frequency = textOf(frequency);
    for (std::size_t s = 1; s < species_.size(); ++s)
        texts.species.push_back(species_[s]->texts());
    return texts;
}

void ModelWindow::setTexts(const ModelTexts& texts)
{
    SpeciesTexts first;
    first.shape = texts.shape;
    first.gamma = texts.gamma;
    first.groups = texts.groups;
    first.widthLaw = texts.widthLaw;
    species_.front()->setTexts(first);
    showText(baselineOffset, texts.offset);
    showText(baselineSlope, texts.slope);
    showText(frequency, texts.frequency);

    // Species beyond the model's limit are shown too, so that nothing a
    // parameter set holds is lost; Calculate refuses them.
    while (species_.size() > texts.species.size() + 1)
        removeSpecies(static_cast<int>(species_.size()) - 1);
    for (std::size_t s = 0; s < texts.species.size(); ++s) {
        if (s + 1 < species_.size())
            species_[s + 1]->setTexts(texts.species[s]);
        else
            appendSpecies(texts.species[s]);
    }
    updateSpeciesButtons();
}

void ModelWindow::addSpecies()
{
    if (species_.size() >= model::kMaxSpecies)
        return;
    appendSpecies(SpeciesTexts{});
    tabs->setCurrentIndex(tabs->count() - 1);
    updateSpeciesButtons();
}

void ModelWindow::removeSpecies(int index)
{
    if (index < 1 || index >= speciesCount())
        return;
    QWidget* page = tabs->widget(index);
    tabs->removeTab(index);
    page->deleteLater();
    species_.erase(species_.begin() + index);
    for (std::size_t s = 0; s < species_.size(); ++s)
        tabs->setTabText(static_cast<int>(s), speciesTitle(s));
    updateSpeciesButtons();
}

void ModelWindow::appendSpecies(const SpeciesTexts& texts)
{
    const auto kind = species_.empty() ? SpeciesPanel::Kind::First : SpeciesPanel::Kind::Further;
    auto* panel = new SpeciesPanel(kind);
    panel->setObjectName(QStringLiteral("species%1").arg(species_.size() + 1));
    panel->setTexts(texts);
    if (kind == SpeciesPanel::Kind::First)
        connect(panel, &SpeciesPanel::gammaStep, this, &ModelWindow::gammaStep);
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(panel);
    species_.push_back(panel);
    tabs->addTab(scroll, speciesTitle(species_.size() - 1));
}

void ModelWindow::updateGValue()
{
    const char separator = decimalSeparatorOf(QLocale::system().decimalPoint());
    if (frequency->text().isEmpty()) {
        gValue->setText(QStringLiteral("g-value of the centre field: type the frequency"));
        return;
    }
    const std::optional<double> nu = positiveNumber(frequency->text(), separator);
    const std::optional<double> field = positiveNumber(centreBox_->text(), separator);
    if (!nu || !field) {
        gValue->setText(QStringLiteral("g-value of the centre field (GCntr): —"));
        return;
    }
    const double g = model::gValueAt(*field, *nu);
    gValue->setText(QStringLiteral("g-value of the centre field (GCntr): ") +
                    QString::fromStdString(formatFixed(g, 5, separator)));
}

void ModelWindow::updateSpeciesButtons()
{
    addSpeciesButton->setEnabled(species_.size() < model::kMaxSpecies);
    removeSpeciesButton->setEnabled(tabs->currentIndex() >= 1);
}

} // namespace ravelle
