// The main window under a system number format with a decimal comma (the
// test runs with LC_ALL=de_DE.UTF-8, which Qt takes for QLocale::system()).
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>

#include <optional>
#include <string>

#include "engine/ProgramState.h"
#include "tests/support/WindowTesting.h"
#include "ui/MainWindow.h"
#include "ui/ModelWindow.h"
#include "ui/QtHost.h"
#include "ui/SpeciesPanel.h"
#include "ui/SpinButton.h"

namespace ravelle {
namespace {

using testing::answerMessageBoxes;

class CommaLocaleTest : public ::testing::Test {
protected:
    CommaLocaleTest()
    {
        Initialise(state, startDir.path().toStdString());
        form = std::make_unique<TForm1>(state, QStringLiteral("Ravelle2"));
    }
    ~CommaLocaleTest() override
    {
        form.reset();
        Finalise(state);
    }

    QString text(const char* box) const { return form->box(box)->text(); }
    void type(const char* box, const char* value) { form->box(box)->setText(QString::fromUtf8(value)); }

    QTemporaryDir startDir;
    ProgramState state;
    std::unique_ptr<TForm1> form;
};

TEST_F(CommaLocaleTest, TheSystemHasADecimalComma)
{
    ASSERT_EQ(QLocale::system().decimalPoint(), QStringLiteral(","));
}

// The window opens with Sigma "0.1", typed with a point: it must calculate
// at once, whatever separator the user types into the other boxes.
TEST_F(CommaLocaleTest, CalculateReadsBothSeparatorsAndWritesCommas)
{
    const struct {
        const char* h1;
        const char* sigma;
        double coupling;
        double sigmaValue;
    } rows[] = {
        {"1,5", "0.1", 1.5, 0.1},
        {"1.5", "0.1", 1.5, 0.1},
        {"2,25", "0,2", 2.25, 0.2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.h1) + ", " + row.sigma);
        type("H1", row.h1);
        type("Sigma", row.sigma);
        EXPECT_TRUE(answerMessageBoxes([&] { form->Calculate1->click(); }).empty());
        EXPECT_EQ(state.CouplingH[1], row.coupling);
        EXPECT_EQ(state.SigmaValue, row.sigmaValue);
        EXPECT_EQ(text("Edit1"), "-15,00");
        EXPECT_EQ(text("Edit2"), "15,00");
        EXPECT_EQ(text("Edit3"), "-1,10");
        EXPECT_EQ(text("GCntr"), "0,00");
        EXPECT_EQ(text("Scl"), "1,0000");
        EXPECT_EQ(text("Sigma"), row.sigma) << "Sigma is never written back";
    }
}

TEST_F(CommaLocaleTest, SteppersStepPointTextsAndWriteCommas)
{
    type("H1", "1,5");
    const struct {
        TSpinButton* stepper;
        bool up;
        const char* box;
        const char* start;
        const char* after;
    } rows[] = {
        {form->SpinButton9, false, "Sigma", "0.1", "0,099"},
        {form->SpinButton11, true, "Sigma", "0,1", "0,2"},
        {form->SpinButton14, true, "G", "30.5", "30,6"},
        {form->SpinButton1, true, "GCntr", "3350.1", "3350,20"}, // Calculate writes it back
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.stepper->objectName().toStdString());
        type(row.box, row.start);
        const auto shown = answerMessageBoxes([&] {
            if (row.up)
                emit row.stepper->upClick();
            else
                emit row.stepper->downClick();
        });
        EXPECT_TRUE(shown.empty()) << shown.front().text.toStdString();
        EXPECT_EQ(text(row.box), row.after);
    }
}

// Fit reads the boxes as Calculate does: the start-up Sigma opens its dialog.
TEST_F(CommaLocaleTest, FitReadsTheStartUpSigma)
{
    form->host().setDialogAnswerer([](QtHost::DialogKind, const std::string&, const std::string&) {
        return std::optional<std::string>(RAVELLE_EXAMPLE_DAT);
    });
    ASSERT_TRUE(answerMessageBoxes([&] { form->ImportObservedSpectrum1->trigger(); }).empty());
    type("H1", "3,97");
    type("N1", "10.32");
    bool dialogOpened = false;
    testing::whenReady(
        form.get(), [] { return qobject_cast<QDialog*>(QApplication::activeModalWidget()) != nullptr; },
        [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            dialogOpened = dialog->objectName() == "FitDialog";
            dialog->reject();
        });
    const auto shown = answerMessageBoxes([&] { form->Fit1->trigger(); });
    EXPECT_TRUE(shown.empty()) << shown.front().text.toStdString();
    EXPECT_TRUE(dialogOpened);
}

TEST_F(CommaLocaleTest, ATextWithBothSeparatorsIsNoNumber)
{
    type("H1", "1.000,5");
    const auto shown = answerMessageBoxes([&] { form->Calculate1->click(); });
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QString::fromUtf8("'1.000,5' は浮動小数点数ではありません."));
}

// The Model window reads and shows numbers as the boxes do: either separator
// in, the system's comma out.
TEST_F(CommaLocaleTest, TheModelWindowShowsCommasAndReadsBothSeparators)
{
    form->Model1->trigger();
    ModelWindow& window = *form->modelWindow();
    SpeciesPanel& first = *window.species(0);
    first.shape->setCurrentIndex(1);
    first.gamma->setText(QStringLiteral("0.3"));
    EXPECT_EQ(first.gammaPeakToPeak->text(), QString::fromUtf8("p-p 2 Gamma/√3: 0,34641 G"));
    first.gamma->setText(QStringLiteral("0,3"));
    EXPECT_EQ(first.linePeakToPeak->text(), QString::fromUtf8("line p-p width 0,34641 G"));
    type("GCntr", "3390,00");
    window.frequency->setText(QStringLiteral("9.5"));
    EXPECT_EQ(window.gValue->text(), QString::fromUtf8("g-value of the centre field (GCntr): 2,00222"));

    type("H1", "1,5");
    EXPECT_TRUE(answerMessageBoxes([&] { emit first.gammaSteppers[1]->upClick(); }).empty());
    EXPECT_EQ(first.gamma->text(), "0,31");
    EXPECT_EQ(text("GCntr"), "3390,00");
}

} // namespace
} // namespace ravelle
