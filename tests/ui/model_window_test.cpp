// The Model window in the main window: where it comes from, what it shows,
// and that what it holds reaches Calculate at Calculate only.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest/QTest>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands/Commands.h"
#include "engine/ProgramState.h"
#include "engine/model/Model.h"
#include "tests/support/FakeHost.h"
#include "tests/support/WindowTesting.h"
#include "ui/GroupTable.h"
#include "ui/MainWindow.h"
#include "ui/ModelWindow.h"
#include "ui/QtHost.h"
#include "ui/RasterImage.h"
#include "ui/SpeciesPanel.h"
#include "tests/support/FakeClock.h"
#include "ui/SpinButton.h"

namespace ravelle {
namespace {

using testing::FakeClock;
using testing::FakeClockTimer;
using testing::answerMessageBoxes;

class ModelWindowTest : public ::testing::Test {
protected:
    ModelWindowTest()
    {
        Initialise(state, startDir.path().toStdString());
        form = std::make_unique<TForm1>(state, QStringLiteral("Ravelle2"));
    }
    ~ModelWindowTest() override
    {
        form.reset();
        Finalise(state);
    }

    ModelWindow& openModel()
    {
        form->Model1->trigger();
        return *form->modelWindow();
    }
    SpeciesPanel& first() { return *form->modelWindow()->species(0); }
    void type(const char* box, const char* text) { form->box(box)->setText(QString::fromUtf8(text)); }
    QString text(const char* box) const { return form->box(box)->text(); }

    // The spectrum the commands make of these boxes and model texts.
    std::vector<double> spectrumOf(const ModelTexts& model)
    {
        ProgramState other;
        Initialise(other, startDir.path().toStdString());
        testing::FakeHost host(other);
        for (const auto& [name, boxText] : host.boxes)
            host.setBoxText(name, form->box(name)->text().toStdString());
        host.model = model;
        calculateCommand(other, host);
        EXPECT_TRUE(host.errors.empty() && host.notices.empty());
        return other.CalcIntensity;
    }

    QTemporaryDir startDir;
    ProgramState state;
    FakeClock clock; // outlives the steppers it drives
    std::unique_ptr<TForm1> form;
};

TEST_F(ModelWindowTest, ModelShowsOneWindowThatComesBackWhereItWas)
{
    const QList<QAction*> bar = form->menuBar()->actions();
    ASSERT_GE(bar.size(), 3);
    EXPECT_EQ(bar[1], form->Model1);
    EXPECT_EQ(form->Model1->menu(), nullptr);
    EXPECT_TRUE(form->Model1->shortcut().isEmpty());
    EXPECT_EQ(form->modelWindow(), nullptr) << "made at its first showing";

    form->show();
    ModelWindow& window = openModel();
    form->Model1->trigger();
    EXPECT_EQ(form->modelWindow(), &window);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(form->findChildren<ModelWindow*>().size(), 1);
    EXPECT_EQ(window.windowTitle(), "Model");

    window.move(300, 180);
    window.resize(600, 500);
    QApplication::processEvents();
    const QRect placed = window.geometry();
    window.close();
    EXPECT_FALSE(window.isVisible());
    form->Model1->trigger();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(form->modelWindow(), &window);
    EXPECT_EQ(window.geometry(), placed);
}

// What the commands set before the window exists is what it shows; from then
// on the window holds the texts.
TEST_F(ModelWindowTest, TextsHeldBeforeTheWindowAreShownInIt)
{
    ModelTexts texts;
    texts.shape = model::LineShape::Lorentzian;
    texts.gamma = "0.42";
    texts.groups = {{"31P", "1", "20", false}};
    form->host().setModelTexts(texts);
    ModelWindow& window = openModel();
    EXPECT_EQ(window.texts(), texts);
    EXPECT_EQ(first().gamma->text(), "0.42");
    first().gamma->setText(QStringLiteral("0.5"));
    EXPECT_EQ(form->host().modelTexts().gamma, "0.5");
}

// A parameter set restores the window byte for byte: whatever texts it
// holds come back out unchanged, and what is typed lands in its field.
TEST_F(ModelWindowTest, TheWindowGivesBackEveryTextExactlyAsShownOrTyped)
{
    ModelWindow& window = openModel();
    ModelTexts texts;
    texts.shape = model::LineShape::Voigt;
    texts.gamma = " 0,25 ";
    texts.groups = {{"13C", "6", "2.8", true}, {"Xx", "two", "", false}};
    texts.widthLaw = {"7", "0.01", "-0.02", "abc", ""};
    texts.offset = "1E-3";
    texts.slope = "-0.5";
    texts.frequency = "9.5";
    SpeciesTexts second;
    second.groups = {{"14N", "1", "15", false}};
    second.weight = "0.3";
    second.shift = "2.0031";
    second.shiftIsGValue = true;
    second.shape = model::LineShape::Lorentzian;
    second.sigma = "s";
    second.gamma = "0.2";
    second.widthLaw.group = "1";
    texts.species = {second, SpeciesTexts{}};
    window.setTexts(texts);
    EXPECT_EQ(window.texts(), texts);
    EXPECT_EQ(window.tabs->count(), 3);

    // Fewer species and groups: the extra ones go.
    ModelTexts fewer = texts;
    fewer.species.pop_back();
    fewer.groups.pop_back();
    fewer.widthLaw.group = "";
    window.setTexts(fewer);
    EXPECT_EQ(window.texts(), fewer);
    EXPECT_EQ(window.tabs->count(), 2);

    // Typing: each field lands in its own place.
    struct Row {
        const char* name;
        std::function<void()> typeIt;
        std::function<bool(const ModelTexts&)> landed;
    };
    SpeciesPanel& further = *window.species(1);
    const Row rows[] = {
        {"gamma", [&] { first().gamma->setText("0.7"); }, [](const ModelTexts& t) { return t.gamma == "0.7"; }},
        {"shape", [&] { first().shape->setCurrentIndex(1); },
         [](const ModelTexts& t) { return t.shape == model::LineShape::Lorentzian; }},
        {"coupling", [&] { first().groups->row(0).coupling->setText("3.1"); },
         [](const ModelTexts& t) { return t.groups[0].coupling == "3.1"; }},
        {"count", [&] { first().groups->row(0).count->setText("4"); },
         [](const ModelTexts& t) { return t.groups[0].count == "4"; }},
        {"isotope", [&] { first().groups->row(0).isotope->setCurrentText("29Si"); },
         [](const ModelTexts& t) { return t.groups[0].isotope == "29Si"; }},
        {"natural", [&] { first().groups->row(0).natural->setChecked(false); },
         [](const ModelTexts& t) { return !t.groups[0].naturalAbundance; }},
        {"width group", [&] { first().widthGroup->setCurrentIndex(1); },
         [](const ModelTexts& t) { return t.widthLaw.group == "1"; }},
        {"no width group", [&] { first().widthGroup->setCurrentIndex(0); },
         [](const ModelTexts& t) { return t.widthLaw.group.empty(); }},
        {"sigma C", [&] { first().sigmaC->setText("0.03"); },
         [](const ModelTexts& t) { return t.widthLaw.sigmaC == "0.03"; }},
        {"offset", [&] { window.baselineOffset->setText("0.2"); },
         [](const ModelTexts& t) { return t.offset == "0.2"; }},
        {"slope", [&] { window.baselineSlope->setText("0.01"); },
         [](const ModelTexts& t) { return t.slope == "0.01"; }},
        {"frequency", [&] { window.frequency->setText(""); }, [](const ModelTexts& t) { return t.frequency.empty(); }},
        {"weight", [&] { further.weight->setText("2"); },
         [](const ModelTexts& t) { return t.species[0].weight == "2"; }},
        {"shift", [&] { further.shift->setText("-1.5"); },
         [](const ModelTexts& t) { return t.species[0].shift == "-1.5"; }},
        {"shift as g", [&] { further.shiftIsGValue->setChecked(false); },
         [](const ModelTexts& t) { return !t.species[0].shiftIsGValue; }},
        {"species sigma", [&] { further.sigma->setText("0.3"); },
         [](const ModelTexts& t) { return t.species[0].sigma == "0.3"; }},
        {"species shape", [&] { further.shape->setCurrentIndex(2); },
         [](const ModelTexts& t) { return t.species[0].shape == model::LineShape::Voigt; }},
        {"species gamma B", [&] { further.gammaB->setText("0.05"); },
         [](const ModelTexts& t) { return t.species[0].widthLaw.gammaB == "0.05"; }},
    };
    for (const Row& row : rows) {
        ModelTexts before = window.texts();
        row.typeIt();
        const ModelTexts after = window.texts();
        EXPECT_TRUE(row.landed(after)) << row.name;
        // Nothing else moved: put the one change back and compare.
        window.setTexts(before);
        EXPECT_EQ(window.texts(), before) << row.name;
        row.typeIt();
        EXPECT_EQ(window.texts(), after) << row.name;
    }
}

// Typing in the Model window changes neither the picture, nor the boxes, nor
// the program state; the next Calculate reads all of it.
TEST_F(ModelWindowTest, EveryFieldIsReadAtCalculateAndNotBefore)
{
    type("H1", "1.5");
    type("N1", "7");
    ASSERT_TRUE(answerMessageBoxes([&] { form->Calculate1->click(); }).empty());
    const QImage picture = form->Image1->raster().copy();
    const std::vector<double> spectrum = state.CalcIntensity;
    std::vector<QString> boxes;
    for (const char* box : {"GCntr", "Scl", "Edit1", "Edit2", "NoPnts"})
        boxes.push_back(text(box));

    ModelWindow& window = openModel();
    first().shape->setCurrentIndex(2);
    first().gamma->setText(QStringLiteral("0.05"));
    first().groups->addRow();
    first().groups->row(0).count->setText(QStringLiteral("2"));
    first().groups->row(0).coupling->setText(QStringLiteral("2.2"));
    first().widthGroup->setCurrentIndex(1);
    first().sigmaC->setText(QStringLiteral("0.01"));
    window.addSpecies();
    window.species(1)->groups->addRow();
    window.species(1)->shift->setText(QStringLiteral("1.5"));
    window.baselineOffset->setText(QStringLiteral("0.2"));
    window.baselineSlope->setText(QStringLiteral("-0.004"));
    window.frequency->setText(QStringLiteral("9.4"));
    QApplication::processEvents();

    EXPECT_EQ(form->Image1->raster(), picture);
    EXPECT_EQ(state.CalcIntensity, spectrum);
    EXPECT_EQ(state.CalcBaselineOffset, 0.0);
    std::size_t i = 0;
    for (const char* box : {"GCntr", "Scl", "Edit1", "Edit2", "NoPnts"})
        EXPECT_EQ(text(box), boxes[i++]) << box;

    const ModelTexts typed = window.texts();
    ASSERT_TRUE(answerMessageBoxes([&] { form->Calculate1->click(); }).empty());
    EXPECT_NE(form->Image1->raster(), picture);
    EXPECT_EQ(state.CalcIntensity, spectrumOf(typed));
    EXPECT_NE(state.CalcIntensity, spectrum);
    EXPECT_EQ(state.CalcBaselineOffset, 0.2);
    EXPECT_EQ(state.CalcBaselineSlope, -0.004);
}

TEST_F(ModelWindowTest, GammaSteppersStepLikeSigmasAndCalculate)
{
    type("H1", "1.5");
    openModel();
    first().shape->setCurrentIndex(1); // Lorentzian: Gamma is used
    const struct {
        int stepper;
        const char* afterUp;
        const char* afterDown;
    } steps[] = {{0, "0.2", "0"}, {1, "0.11", "0.09"}, {2, "0.101", "0.099"}};
    for (const auto& s : steps) {
        TSpinButton* stepper = first().gammaSteppers[static_cast<std::size_t>(s.stepper)];
        first().gamma->setText(QStringLiteral("0.1"));
        ASSERT_TRUE(answerMessageBoxes([&] { emit stepper->upClick(); }).empty()) << s.stepper;
        EXPECT_EQ(first().gamma->text(), s.afterUp);
        EXPECT_EQ(text("GCntr"), "0.00") << "the step ran Calculate";
        first().gamma->setText(QStringLiteral("0.1"));
        // Gamma 0 stops Calculate at the engine's check; the text stays stepped.
        const auto shown = answerMessageBoxes([&] { emit stepper->downClick(); });
        EXPECT_EQ(first().gamma->text(), s.afterDown);
        EXPECT_EQ(shown.size(), std::string(s.afterDown) == "0" ? 1u : 0u) << s.stepper;
    }

    // Held for a second on the 0.01 stepper: eight steps, each with its
    // Calculate, the last one on Gamma 0.18.
    TSpinButton* middle = first().gammaSteppers[1];
    middle->setRepeatTimer(std::make_unique<FakeClockTimer>(clock));
    form->show();
    form->modelWindow()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form->modelWindow()));
    first().gamma->setText(QStringLiteral("0.1"));
    int held = 0;
    QObject::connect(middle, &TSpinButton::upClick, [&] { ++held; });
    QTest::mousePress(middle, Qt::LeftButton, {}, QPoint(10, 5));
    clock.advanceTo(1000);
    QTest::mouseRelease(middle, Qt::LeftButton, {}, QPoint(10, 5));
    EXPECT_EQ(held, 8);
    EXPECT_EQ(first().gamma->text(), "0.18");
    EXPECT_EQ(state.CalcIntensity, spectrumOf(form->modelWindow()->texts())) << "calculated on Gamma 0.18";

    // A Gamma that holds no number: the error names the field, no Calculate.
    first().gamma->setText(QStringLiteral("abc"));
    const QImage picture = form->Image1->raster().copy();
    const auto shown = answerMessageBoxes([&] { emit first().gammaSteppers[0]->upClick(); });
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Gamma: 'abc' is not a number.");
    EXPECT_EQ(shown[0].icon, QMessageBox::Critical);
    EXPECT_EQ(first().gamma->text(), "abc");
    EXPECT_EQ(form->Image1->raster(), picture);
}

// Each width also as the peak-to-peak width of its derivative line; species
// 1's Sigma follows the main window's box as it is typed.
TEST_F(ModelWindowTest, PeakToPeakWidthsFollowTheTexts)
{
    openModel();
    struct Row {
        int shape;
        const char* sigma; // the main window's box
        const char* gamma;
        const char* sigmaShown;
        const char* gammaShown;
        const char* lineShown; // nullptr: the Voigt's, checked against its bounds
    };
    const Row rows[] = {
        {0, "0.1", "0.1", "p-p 2 Sigma: 0.2 G", "p-p 2 Gamma/√3: 0.11547 G", "line p-p width 0.2 G"},
        {0, "-0.13", "abc", "p-p 2 Sigma: 0.26 G", "p-p 2 Gamma/√3: —", "line p-p width 0.26 G"},
        {1, "Sigma", "0.3", "p-p 2 Sigma: —", "p-p 2 Gamma/√3: 0.34641 G", "line p-p width 0.34641 G"},
        {1, "0.1", "-0.3", "p-p 2 Sigma: 0.2 G", "p-p 2 Gamma/√3: —", "line p-p width —"},
        {0, "0", "0.1", "p-p 2 Sigma: 0 G", "p-p 2 Gamma/√3: 0.11547 G", "line p-p width —"},
        {2, "0.1", "0", "p-p 2 Sigma: 0.2 G", "p-p 2 Gamma/√3: 0 G", "line p-p width 0.2 G"},
        {2, "0.1", "0.1", "p-p 2 Sigma: 0.2 G", "p-p 2 Gamma/√3: 0.11547 G", nullptr},
    };
    for (const Row& row : rows) {
        first().shape->setCurrentIndex(row.shape);
        type("Sigma", row.sigma);
        first().gamma->setText(QString::fromUtf8(row.gamma));
        const std::string name = std::string(row.sigma) + " / " + row.gamma;
        EXPECT_EQ(first().sigma->text(), row.sigma) << name;
        EXPECT_EQ(first().sigmaPeakToPeak->text(), QString::fromUtf8(row.sigmaShown)) << name;
        EXPECT_EQ(first().gammaPeakToPeak->text(), QString::fromUtf8(row.gammaShown)) << name;
        if (row.lineShown) {
            EXPECT_EQ(first().linePeakToPeak->text(), QString::fromUtf8(row.lineShown)) << name;
        } else {
            // Wider than either part alone, narrower than both side by side.
            const QString shown = first().linePeakToPeak->text();
            const double width = shown.section(' ', 3, 3).toDouble();
            EXPECT_GT(width, 0.2) << shown.toStdString();
            EXPECT_LT(width, 0.2 + 0.11547) << shown.toStdString();
        }
    }
}

TEST_F(ModelWindowTest, TheGValueOfTheCentreFieldFollowsGCntrAndTheFrequency)
{
    ModelWindow& window = openModel();
    const QString prefix = QStringLiteral("g-value of the centre field (GCntr): ");
    const struct {
        const char* frequency;
        const char* centre;
        QString shown;
    } rows[] = {
        {"", "3390", QStringLiteral("g-value of the centre field: type the frequency")},
        // g = h nu / (mu_B B) = 6.62607015e-34 x 9.5e9 / (9.2740100783e-24 x 0.339)
        {"9.5", "3390", prefix + "2.00222"},
        {"9.5", " 3390.00 ", prefix + "2.00222"},
        {"9.766", "3479.22", prefix + "2.00550"},
        {"9.5", "GCntr", prefix + "—"},
        {"9.5", "-3390", prefix + "—"},
        {"0", "3390", prefix + "—"},
        {"GHz", "3390", prefix + "—"},
    };
    for (const auto& row : rows) {
        window.frequency->setText(QString::fromUtf8(row.frequency));
        type("GCntr", row.centre);
        EXPECT_EQ(window.gValue->text(), row.shown) << row.frequency << " at " << row.centre;
    }
    // A stepper and Calculate rewrite the centre; the g-value follows.
    window.frequency->setText(QStringLiteral("9.5"));
    type("GCntr", "3300");
    type("H1", "1");
    EXPECT_EQ(window.gValue->text(), prefix + "2.05683");
    ASSERT_TRUE(answerMessageBoxes([&] { emit form->SpinButton3->upClick(); }).empty());
    EXPECT_EQ(text("GCntr"), "3310.00");
    EXPECT_EQ(window.gValue->text(), prefix + "2.05061");
}

// Groups and species come and go; the m_I width group keeps its nuclei.
TEST_F(ModelWindowTest, GroupsAndSpeciesAreAddedAndRemoved)
{
    ModelWindow& window = openModel();
    GroupTable& groups = *first().groups;
    for (const char* coupling : {"1", "2", "3"}) {
        groups.addButton()->click();
        groups.row(groups.rowCount() - 1).coupling->setText(QString::fromLatin1(coupling));
    }
    first().widthGroup->setCurrentIndex(3);
    const struct {
        int removed;
        const char* couplings;
        const char* widthGroup;
    } removals[] = {{0, "2 3", "2"}, {1, "2", ""}};
    for (const auto& r : removals) {
        groups.row(r.removed).remove->click();
        QApplication::processEvents();
        std::string couplings;
        for (const GroupTexts& group : window.texts().groups)
            couplings += (couplings.empty() ? "" : " ") + group.coupling;
        EXPECT_EQ(couplings, r.couplings);
        EXPECT_EQ(window.texts().widthLaw.group, r.widthGroup);
        EXPECT_EQ(groups.row(0).number->text(), "1");
    }

    EXPECT_FALSE(window.removeSpeciesButton->isEnabled()) << "species 1 stays";
    for (std::size_t s = 1; s < model::kMaxSpecies; ++s)
        window.addSpeciesButton->click();
    EXPECT_EQ(window.speciesCount(), static_cast<int>(model::kMaxSpecies));
    EXPECT_FALSE(window.addSpeciesButton->isEnabled());
    window.species(2)->weight->setText(QStringLiteral("0.3"));
    window.tabs->setCurrentIndex(1);
    window.removeSpeciesButton->click();
    EXPECT_EQ(window.speciesCount(), static_cast<int>(model::kMaxSpecies) - 1);
    EXPECT_EQ(window.tabs->tabText(1), "Species 2");
    EXPECT_EQ(window.texts().species[0].weight, "0.3");
    EXPECT_TRUE(window.addSpeciesButton->isEnabled());
}

// At 96 dpi on a 1366 x 768 screen: the window fits, also with many species
// and groups, which scroll inside their tab.
TEST_F(ModelWindowTest, FitsASmallScreenWithManySpeciesAndGroups)
{
    ModelWindow& window = openModel();
    ModelTexts crowded;
    crowded.groups.assign(12, GroupTexts{});
    crowded.widthLaw.group = "3";
    crowded.species.assign(model::kMaxSpecies - 1, SpeciesTexts{});
    for (SpeciesTexts& species : crowded.species)
        species.groups.assign(12, GroupTexts{});
    window.setTexts(crowded);
    window.show();
    QApplication::processEvents();
    const QSize screen(1366, 768 - 40); // less a task bar
    const QRect frame = window.frameGeometry();
    EXPECT_LE(frame.width(), screen.width());
    EXPECT_LE(frame.height(), screen.height());
    EXPECT_LE(window.minimumSizeHint().width(), screen.width());
    EXPECT_LE(window.minimumSizeHint().height(), screen.height());
    EXPECT_EQ(window.texts(), crowded);
}

} // namespace
} // namespace ravelle
