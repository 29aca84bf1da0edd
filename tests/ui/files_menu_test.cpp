// The File menu's parameter sets and the import's column dialog in the real
// window: dialogs as the user meets them, texts as the edit boxes hold them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Boxes.h"
#include "engine/ProgramState.h"
#include "ui/ColumnDialog.h"
#include "ui/MainWindow.h"
#include "ui/QtHost.h"
#include "ui/RasterImage.h"
#include "tests/support/WindowTesting.h"

namespace ravelle {
namespace {

using testing::answerMessageBoxes;
using testing::kHangGuardMs;
using testing::whenReady;

const std::string kSeveralColumns = std::string(RAVELLE_FORMATS_DATA) + "/several_intensity_columns.txt";

class FilesMenuTest : public ::testing::Test {
protected:
    FilesMenuTest()
    {
        Initialise(state, startDir.path().toStdString());
        form = std::make_unique<TForm1>(state, QStringLiteral("Ravelle2"));
        form->host().setDialogAnswerer([this](QtHost::DialogKind kind, const std::string& dir, const std::string& name) {
            kinds.push_back(kind);
            presets.push_back(name);
            static_cast<void>(dir);
            if (answers.empty())
                return std::optional<std::string>();
            auto answer = answers.front();
            answers.pop_front();
            return answer;
        });
    }
    ~FilesMenuTest() override
    {
        form.reset();
        Finalise(state);
    }

    QTemporaryDir startDir;
    ProgramState state;
    std::unique_ptr<TForm1> form;
    std::deque<std::optional<std::string>> answers;
    std::vector<QtHost::DialogKind> kinds;
    std::vector<std::string> presets;
};

TEST_F(FilesMenuTest, SaveParametersThenOpenParametersGiveBackWhatTheBoxesHeld)
{
    // The longest text a box takes, and texts the file must escape.
    const QString longest(form->H2->maxLength(), QLatin1Char('9'));
    const std::vector<std::pair<QLineEdit*, QString>> typed{
        {form->GCntr, QStringLiteral("3348.20")}, {form->H1, QStringLiteral(" 3,97 ")},
        {form->H2, longest},                      {form->N1, QStringLiteral("日本\\x41")},
        {form->Sigma, QString()},                 {form->Edit3, QStringLiteral("[End]")}};
    for (const auto& [box, text] : typed)
        box->setText(text);
    const std::string file = startDir.filePath("set.ravelle").toStdString();
    answers = {file};
    ASSERT_TRUE(answerMessageBoxes([&] { form->SaveParameters1->trigger(); }).empty());

    for (const BoxInfo& info : kBoxes)
        form->box(info.name)->setText(QStringLiteral("changed"));
    const QImage picture = form->Image1->raster().copy();
    answers = {file};
    ASSERT_TRUE(answerMessageBoxes([&] { form->OpenParameters1->trigger(); }).empty());
    for (const auto& [box, text] : typed)
        EXPECT_EQ(box->text(), text) << box->objectName().toStdString();
    EXPECT_EQ(form->Scl->text(), "Scl");
    EXPECT_EQ(form->Image1->raster(), picture); // no Calculate
    EXPECT_EQ(kinds, (std::vector<QtHost::DialogKind>{QtHost::DialogKind::SaveParameters,
                                                      QtHost::DialogKind::OpenParameters}));
    EXPECT_EQ(presets, (std::vector<std::string>{"parameters.ravelle", "*.ravelle"}));
}

TEST_F(FilesMenuTest, TheParameterDialogsListTheirOwnType)
{
    const std::string dir = startDir.path().toStdString();
    const auto open = form->host().makeOpenParametersDialog(dir, "*.ravelle");
    EXPECT_EQ(open->nameFilters(), QStringList{"Ravelle2 parameter sets (*.ravelle)"});
    EXPECT_EQ(open->acceptMode(), QFileDialog::AcceptOpen);
    const auto save = form->host().makeSaveParametersDialog(dir, dir + "/run1.ravelle");
    EXPECT_EQ(save->nameFilters(), QStringList{"Ravelle2 parameter sets (*.ravelle)"});
    EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(save->defaultSuffix(), "ravelle");
    EXPECT_TRUE(save->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(save->selectedFiles(), QStringList{QString::fromStdString(dir + "/run1.ravelle")});
}

TEST_F(FilesMenuTest, TheColumnDialogOffersTheCandidatesWithOnePreselected)
{
    const ColumnChoice choice{"esr_daten-4.txt", {"b", "fn2", "n2", "n2a"}, 0, {2, 3}, 3};
    const auto dialog = form->host().makeColumnDialog(choice);
    EXPECT_EQ(dialog->textLabel()->text(),
              "'esr_daten-4.txt' holds several spectra. Choose the column to import; the field is read from column 'b'.");
    ASSERT_EQ(dialog->columnList()->count(), 2);
    EXPECT_EQ(dialog->columnList()->item(0)->text(), "n2  (column 3)");
    EXPECT_EQ(dialog->columnList()->item(1)->text(), "n2a  (column 4)");
    EXPECT_EQ(dialog->columnList()->currentRow(), 1);
    EXPECT_EQ(dialog->chosenColumn(), 3u);
    dialog->columnList()->setCurrentRow(0);
    EXPECT_EQ(dialog->chosenColumn(), 2u);
}

TEST_F(FilesMenuTest, ReturnInTheColumnDialogImportsThePreselectedColumnAndEscapeCancels)
{
    form->show();
    const struct {
        Qt::Key key;
        bool imported;
    } cases[] = {{Qt::Key_Escape, false}, {Qt::Key_Return, true}};
    for (const auto& row : cases) {
        SCOPED_TRACE(row.key);
        bool asked = false;
        whenReady(
            form.get(),
            [] {
                // The focus still in the main window would take the key.
                return testing::hasFocusInside(qobject_cast<ColumnDialog*>(QApplication::activeModalWidget()));
            },
            [&] {
                auto* dialog = qobject_cast<ColumnDialog*>(QApplication::activeModalWidget());
                asked = dialog->columnList()->currentItem()->text() == "Sweep 1  (column 2)";
                QTest::keyClick(QApplication::focusWidget(), row.key);
            });
        answers = {kSeveralColumns};
        const auto shown = answerMessageBoxes([&] { form->ImportObservedSpectrum1->trigger(); });
        EXPECT_TRUE(shown.empty());
        EXPECT_TRUE(asked);
        EXPECT_EQ(state.ObsLoaded, row.imported);
    }
    // Sweep 1: 1, -1, 0 in the file.
    EXPECT_EQ(state.ObsIntensity[1], 1.0);
    EXPECT_EQ(state.ObsIntensity[2], -1.0);
    EXPECT_EQ(state.ObsIntensity[3], 0.0);
    EXPECT_EQ(form->GCntr->text(), "3401.00");
}

} // namespace
} // namespace ravelle
