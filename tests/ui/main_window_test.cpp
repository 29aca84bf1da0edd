#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <QtTest/QTest>

#include <cmath>
#include <cstdio>
#include <deque>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/Boxes.h"
#include "engine/ProgramState.h"
#include "engine/Synthesis.h"
#include "ui/AboutWindow.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/QtHost.h"
#include "ui/RasterImage.h"
#include "ui/SpinButton.h"
#include "tests/support/WindowTesting.h"

// Readable failure messages.
void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace ravelle {
namespace {

using testing::ShownBox;
using testing::answerMessageBoxes;
using testing::kHangGuardMs;
using testing::whenReady;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> crlfLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start) + "<no CR LF>");
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::pair<double, double> twoNumbers(const std::string& line)
{
    double a = NAN;
    double b = NAN;
    char rest = 0;
    EXPECT_EQ(std::sscanf(line.c_str(), "%lf %lf%c", &a, &b, &rest), 2) << line;
    return {a, b};
}

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest()
    {
        Initialise(state, startDir.path().toStdString());
        form = std::make_unique<TForm1>(state, QStringLiteral("Ravelle2"));
        about = std::make_unique<TForm2>();
        form->setAboutWindow(about.get());
        form->host().setDialogAnswerer([this](QtHost::DialogKind kind, const std::string& dir, const std::string& name) {
            dialogCalls.push_back({kind, dir, name});
            if (dialogAnswers.empty())
                return std::optional<std::string>();
            auto answer = dialogAnswers.front();
            dialogAnswers.pop_front();
            return answer;
        });
    }

    ~MainWindowTest() override
    {
        form.reset();
        about.reset();
        Finalise(state);
    }

    void showAndActivate()
    {
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get(), kHangGuardMs));
    }

    QString text(const char* box) const { return form->box(box)->text(); }
    void type(const char* box, const char* value) { form->box(box)->setText(QString::fromUtf8(value)); }

    QPoint clientPosition(const QWidget* widget) const
    {
        return widget->mapTo(form->centralWidget(), QPoint(0, 0));
    }

    struct DialogCall {
        QtHost::DialogKind kind;
        std::string initialDir;
        std::string fileName;
    };

    QTemporaryDir startDir;
    ProgramState state;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TForm2> about;
    std::deque<std::optional<std::string>> dialogAnswers;
    std::vector<DialogCall> dialogCalls;
};

TEST(ApplicationTitleTest, IsTheExecutableNameCutAtItsFirstDotWithLaterLettersLowered)
{
    const struct {
        const char* path;
        const char* title;
    } cases[] = {
        {"/usr/bin/Ravelle2", "Ravelle2"},
        {"/opt/esr/RAVELLE2.EXE", "Ravelle2"},
        {"ravelle2.bin.old", "ravelle2"},
        {"/home/a.b/ESRsim", "Esrsim"},
        {"/usr/local/bin/x", "x"},
        {"/tmp/.hidden", "Ravelle2"},
        {"", "Ravelle2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(applicationTitle(QString::fromUtf8(c.path)), QString::fromUtf8(c.title)) << c.path;
}

TEST(DecimalSeparatorTest, TakesOneAsciiCharacterAndFallsBackToAPoint)
{
    EXPECT_EQ(decimalSeparatorOf(QStringLiteral(".")), '.');
    EXPECT_EQ(decimalSeparatorOf(QStringLiteral(",")), ',');
    EXPECT_EQ(decimalSeparatorOf(QString(QChar(0x066B))), '.'); // Arabic decimal separator
    EXPECT_EQ(decimalSeparatorOf(QString()), '.');
    EXPECT_EQ(decimalSeparatorOf(QStringLiteral(",,")), '.');
}

TEST_F(MainWindowTest, OpensWithEveryBoxShowingItsInitialText)
{
    for (const BoxInfo& info : kBoxes) {
        const QLineEdit* edit = form->box(info.name);
        ASSERT_NE(edit, nullptr) << info.name;
        EXPECT_EQ(edit->text().toStdString(), info.initialText) << info.name;
    }
    EXPECT_EQ(text("G"), "30");
    EXPECT_EQ(text("Sigma"), "0.1");
    EXPECT_EQ(form->windowTitle(),
              "Ravelle2 for Simple Organic Radicals  (the Ravelle2 contributors) <<January, 2005>>");
    EXPECT_TRUE(form->Image1->raster().isNull()) << "nothing is drawn before the first command";
}

TEST_F(MainWindowTest, CaptionsColoursAndFontsAreThoseOfTheDesign)
{
    const QColor silver(192, 192, 192), fuchsia(255, 0, 255), yellow(255, 255, 0), aqua(0, 255, 255),
        teal(0, 128, 128);
    const struct {
        QLabel* label;
        const char* caption;
        std::optional<QColor> background;
    } labels[] = {
        {form->Label1, "Center Field (G)", std::nullopt},
        {form->Label2, "Mutual Scale (Calc/Obs)", std::nullopt},
        {form->Label3, "(Defalt: 500)", std::nullopt},
        {form->Panel2, "Display Range (G)", fuchsia},
        {form->Panel3, "Sigma Value for Gaussian Function", fuchsia},
        {form->Panel4, "A(H) (G)", fuchsia},
        {form->Panel5, "A(N) (G)", fuchsia},
        {form->Panel6, "Points(Calc)", yellow},
    };
    for (const auto& l : labels) {
        EXPECT_EQ(l.label->text(), l.caption);
        EXPECT_EQ(l.label->font().family(), "Arial") << l.caption;
        EXPECT_EQ(l.label->font().pixelSize(), 12) << l.caption;
        if (l.background) {
            EXPECT_TRUE(l.label->autoFillBackground()) << l.caption;
            EXPECT_EQ(l.label->palette().color(QPalette::Window), *l.background) << l.caption;
            EXPECT_EQ(l.label->alignment(), Qt::AlignCenter) << l.caption;
        }
    }
    EXPECT_EQ(form->Panel1->palette().color(QPalette::Window), silver);
    EXPECT_TRUE(form->Panel1->autoFillBackground());
    EXPECT_EQ(form->GCntr->palette().color(QPalette::Base), aqua);
    EXPECT_EQ(form->Scl->palette().color(QPalette::Base), aqua);
    EXPECT_EQ(form->NoPnts->palette().color(QPalette::Base), teal);
    for (const BoxInfo& info : kBoxes) {
        EXPECT_EQ(form->box(info.name)->font().family(), "Arial") << info.name;
        EXPECT_EQ(form->box(info.name)->font().pixelSize(), 12) << info.name;
    }
    EXPECT_EQ(form->Calculate1->text(), "Calculate");
    EXPECT_EQ(form->Calculate1->focusPolicy(), Qt::NoFocus);
}

TEST_F(MainWindowTest, ControlsSitWhereDesignedAndStayThereWhenTheWindowIsResized)
{
    const struct {
        QWidget* widget;
        QRect geometry; // in the client area below the menu bar
    } controls[] = {
        {form->Panel1, {0, 0, 913, 537}},      {form->Image1, {48, 8, 857, 497}},
        {form->GCntr, {278, 509, 73, 23}},     {form->Scl, {600, 509, 57, 23}},
        {form->Edit4, {8, 8, 35, 23}},         {form->Edit3, {8, 480, 35, 23}},
        {form->Edit1, {32, 506, 57, 23}},      {form->Edit2, {848, 506, 57, 23}},
        {form->G, {128, 544, 51, 23}},         {form->Sigma, {473, 542, 49, 23}},
        {form->H1, {80, 568, 49, 23}},         {form->H10, {584, 568, 49, 23}},
        {form->H11, {80, 592, 49, 23}},        {form->H15, {304, 592, 49, 23}},
        {form->N1, {80, 616, 49, 23}},         {form->N6, {360, 616, 49, 23}},
        {form->NoPnts, {704, 592, 57, 23}},    {form->Panel3, {257, 544, 215, 20}},
        {form->Panel6, {696, 576, 73, 17}},    {form->Label3, {699, 619, 67, 15}},
        {form->Calculate1, {784, 576, 89, 33}}, {form->SpinButton3, {355, 508, 20, 25}},
        {form->SpinButton7, {416, 508, 20, 25}}, {form->SpinButton8, {719, 508, 20, 25}},
        {form->SpinButton12, {180, 542, 20, 25}}, {form->SpinButton9, {563, 542, 20, 25}},
    };
    const auto check = [&](const char* when) {
        for (const auto& c : controls)
            EXPECT_EQ(QRect(clientPosition(c.widget), c.widget->size()), c.geometry)
                << c.widget->objectName().toStdString() << " " << when;
    };
    form->show();
    QApplication::processEvents();
    EXPECT_EQ(form->centralWidget()->size(), QSize(914, 648));
    check("as opened");
    form->resize(500, 300);
    QApplication::processEvents();
    check("after a resize");
}

TEST_F(MainWindowTest, TabVisitsTheBoxesInTheirOrderFromGCntrAndWrapsAround)
{
    showAndActivate();
    ASSERT_EQ(QApplication::focusWidget(), form->GCntr);
    std::vector<std::string> visited;
    for (std::size_t i = 0; i <= kBoxes.size(); ++i) {
        visited.push_back(QApplication::focusWidget()->objectName().toStdString());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    std::vector<std::string> expected;
    for (const BoxInfo& info : kBoxes)
        expected.emplace_back(info.name);
    expected.emplace_back("GCntr");
    EXPECT_EQ(visited, expected);
}

TEST_F(MainWindowTest, MenuHasItsItemsWithoutShortcutsAndHelpIsABarCommand)
{
    const QList<QAction*> bar = form->menuBar()->actions();
    ASSERT_EQ(bar.size(), 4);
    EXPECT_EQ(bar[0], form->File1->menuAction());
    EXPECT_EQ(bar[0]->text(), "File");
    EXPECT_EQ(bar[1], form->Model1);
    EXPECT_EQ(bar[2], form->Fit1);
    EXPECT_EQ(bar[3], form->Help1);
    for (const QAction* command : {form->Model1, form->Help1}) {
        EXPECT_EQ(command->menu(), nullptr) << command->text().toStdString();
        EXPECT_TRUE(command->shortcut().isEmpty()) << command->text().toStdString();
    }
    EXPECT_EQ(form->Model1->text(), "Model");
    EXPECT_EQ(form->Help1->text(), "Help");

    QStringList items;
    for (const QAction* action : form->File1->actions()) {
        items << action->text();
        EXPECT_TRUE(action->shortcut().isEmpty()) << action->text().toStdString();
    }
    EXPECT_EQ(items, (QStringList{"Import_Observed_Spectrum", "Save_Simulated_Spectrum", "Open_Parameters",
                                  "Save_Parameters", "Exit"}));
    EXPECT_TRUE(form->Help1->shortcut().isEmpty());
}

TEST_F(MainWindowTest, CalculateAtStartUpShowsTheMissingParameterNoticeAndDrawsNothing)
{
    showAndActivate();
    const auto shown = answerMessageBoxes([&] { form->Calculate1->click(); });
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "DispRange, Sigma, N1 (or H1) must be Defined!");
    EXPECT_EQ(shown[0].caption, "Ravelle2");
    EXPECT_EQ(shown[0].icon, QMessageBox::NoIcon);
    EXPECT_EQ(shown[0].buttonCount, 1);
    const QPoint screenCentre = form->screen()->availableGeometry().center();
    EXPECT_LE((shown[0].geometry.center() - screenCentre).manhattanLength(), 4);
    EXPECT_TRUE(form->Image1->raster().isNull());
    EXPECT_EQ(form->focusWidget(), form->GCntr) << "the button leaves the focus where it was";
}

TEST_F(MainWindowTest, ErrorBoxAppendsAPointOnlyAfterALetterDigitOrJapaneseCharacter)
{
    const struct {
        const char* message;
        const char* shown;
    } cases[] = {
        {"'abc' は浮動小数点数ではありません", "'abc' は浮動小数点数ではありません."},
        {"I/O エラー (13)", "I/O エラー (13)"},
        {"Disk full!", "Disk full!"},
        {"Error 42", "Error 42."},
        {"'<b>1</b>' は浮動小数点数ではありません", "'<b>1</b>' は浮動小数点数ではありません."},
    };
    for (const auto& c : cases) {
        const auto shown = answerMessageBoxes([&] { form->host().showError(c.message); });
        ASSERT_EQ(shown.size(), 1u) << c.message;
        EXPECT_EQ(shown[0].text, QString::fromUtf8(c.shown));
        EXPECT_EQ(shown[0].caption, "Ravelle2");
        EXPECT_EQ(shown[0].icon, QMessageBox::Critical);
        EXPECT_EQ(shown[0].buttonCount, 1);
        EXPECT_EQ(shown[0].modality, Qt::ApplicationModal);
        EXPECT_EQ(shown[0].format, Qt::PlainText) << "what the user typed is never markup";
    }
}

TEST_F(MainWindowTest, MessageBoxesCopyThemselvesWithControlC)
{
    QString copied;
    answerMessageBoxes([&] { form->host().showNotice("The Observed Data will also be saved!!"); },
                       [&](QMessageBox& box) {
                           QTest::keyClick(&box, Qt::Key_C, Qt::ControlModifier);
                           copied = QGuiApplication::clipboard()->text();
                       });
    EXPECT_EQ(copied, "---------------------------\n"
                      "Ravelle2\n"
                      "---------------------------\n"
                      "The Observed Data will also be saved!!\n"
                      "---------------------------\n"
                      "OK   \n"
                      "---------------------------\n");
}

TEST_F(MainWindowTest, SteppersStepTheirBoxByTheirStepAndThenCalculate)
{
    type("GCntr", "3350");
    type("Scl", "1");
    const struct {
        TSpinButton* stepper;
        const char* box;
        const char* afterUp;
        const char* afterDown;
    } steppers[] = {
        {form->SpinButton3, "GCntr", "3360", "3340"},  {form->SpinButton2, "GCntr", "3351", "3349"},
        {form->SpinButton1, "GCntr", "3350.1", "3349.9"}, {form->SpinButton7, "GCntr", "3350.01", "3349.99"},
        {form->SpinButton6, "Scl", "2", "0"},          {form->SpinButton5, "Scl", "1.1", "0.9"},
        {form->SpinButton4, "Scl", "1.01", "0.99"},    {form->SpinButton8, "Scl", "1.001", "0.999"},
        {form->SpinButton12, "G", "40", "20"},         {form->SpinButton13, "G", "31", "29"},
        {form->SpinButton14, "G", "30.1", "29.9"},     {form->SpinButton11, "Sigma", "0.2", "0"},
        {form->SpinButton10, "Sigma", "0.11", "0.09"}, {form->SpinButton9, "Sigma", "0.101", "0.099"},
    };
    for (const auto& s : steppers) {
        const QString start = text(s.box);
        const std::string name = s.stepper->objectName().toStdString();
        // H1 and N1 are unset, so each step ends in the Calculate's notice and
        // the box keeps the stepped text.
        auto shown = answerMessageBoxes([&] { emit s.stepper->upClick(); });
        ASSERT_EQ(shown.size(), 1u) << name;
        EXPECT_EQ(shown[0].text, "DispRange, Sigma, N1 (or H1) must be Defined!") << name;
        EXPECT_EQ(text(s.box), s.afterUp) << name << " up";
        type(s.box, start.toUtf8().constData());
        shown = answerMessageBoxes([&] { emit s.stepper->downClick(); });
        ASSERT_EQ(shown.size(), 1u) << name;
        EXPECT_EQ(text(s.box), s.afterDown) << name << " down";
        type(s.box, start.toUtf8().constData());
    }
}

TEST_F(MainWindowTest, StepperOnABoxWithoutANumberShowsTheConversionErrorAndDoesNotCalculate)
{
    const auto shown = answerMessageBoxes([&] { emit form->SpinButton2->upClick(); });
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QString::fromUtf8("'GCntr' は浮動小数点数ではありません."));
    EXPECT_EQ(shown[0].icon, QMessageBox::Critical);
    EXPECT_EQ(text("GCntr"), "GCntr");
    EXPECT_TRUE(form->Image1->raster().isNull());
}

TEST_F(MainWindowTest, StepperOnAFullParameterSetRecalculatesAndRewritesTheCentre)
{
    type("H1", "1.5");
    type("GCntr", "3350");
    const auto shown = answerMessageBoxes([&] { emit form->SpinButton1->upClick(); });
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(text("GCntr"), "3350.10");
    EXPECT_EQ(text("Edit1"), "3335.10");
    EXPECT_EQ(text("Edit2"), "3365.10");
    EXPECT_EQ(form->Image1->raster().size(), QSize(857, 497));
}

TEST_F(MainWindowTest, HelpShowsTheOneAboutWindowWhichComesBackWhereItWasAfterClosing)
{
    ASSERT_FALSE(about->isVisible());
    form->Help1->trigger();
    form->Help1->trigger();
    EXPECT_TRUE(about->isVisible());
    int aboutWindows = 0;
    for (const QWidget* widget : QApplication::topLevelWidgets())
        aboutWindows += qobject_cast<const TForm2*>(widget) != nullptr;
    EXPECT_EQ(aboutWindows, 1);

    about->move(300, 200);
    about->resize(400, 250);
    QApplication::processEvents();
    const QRect placed = about->geometry();
    about->close();
    EXPECT_FALSE(about->isVisible());
    form->Help1->trigger();
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(about->geometry(), placed);
}

TEST_F(MainWindowTest, AboutWindowHoldsItsThirtyLinesAndTypingChangesNothing)
{
    EXPECT_EQ(about->windowTitle(), "About Ravelle2");
    EXPECT_EQ(about->size(), QSize(538, 290));
    QPlainTextEdit* memo = about->Memo1;
    EXPECT_EQ(memo->palette().color(QPalette::Base), QColor(0, 255, 255));
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);

    QStringList lines;
    for (QTextBlock block = memo->document()->begin(); block.isValid(); block = block.next())
        lines << block.text();
    ASSERT_EQ(lines.size(), 30);
    const std::map<int, const char*> fixed{
        {1, "<<Ravelle2>>  Simulation Program for the ESR Spectra of Simple Organic Radicals"},
        {3, ""},
        {11, ""},
        {12, "Note that the author is in no way liable for unexpected errors caused by this program."},
        {13, "Use this tool with your own responsibility."},
        {14, ""},
        {15, "How to Use:"},
        {16, "(1) You may import your observed data in a format same to the 'example.dat' file."},
        {17, "(2) Display Range and Sigma Value for Gaussian Function should be first defined."},
        {18, "(3) At least one of either H1 or N1 should be changed into a numerical value before"},
        {19, "    conducting calculation to afford a simulated ESR pattern for the defined conditions."},
        {20, "(4) For the coupling constants, you have to select younger paramters.  For example,"},
        {21, "    you can define your condition by selecting H1, H2, H3, and N1.  But you are not "},
        {22, "    to select H1, H3, H5, N2.  Thus, such skipping will not give you the appropriate "},
        {23, "    results, for in this case H2 in the H2-box returns the program that the definition"},
        {24, "    terminated prior to this box.  In the same manner, N1 in the N1-box indicates that"},
        {25, "    there is no coupling between the unpaired electron and the nitrogen atoms."},
        {26, "(5) You can save the results in two ASCII-format files.  Files with extentions of "},
        {27, "     'cal' and 'obs' may be stored in your working directory (you can change the names "},
        {28, "     if it is necessary for you to do so). "},
        {29, ""},
        {30, "That's all.  This is just a simple tool, so do not expect too much on it.  Good luck!"},
    };
    for (const auto& [number, line] : fixed)
        EXPECT_EQ(lines[number - 1], line) << "line " << number;
    EXPECT_TRUE(lines[1].startsWith("(") && lines[1].endsWith(")") && lines[1].contains("January 5, 2005"));
    for (int number = 4; number <= 10; ++number)
        EXPECT_FALSE(lines[number - 1].trimmed().isEmpty()) << "line " << number;

    about->show();
    memo->setFocus();
    const QString before = memo->toPlainText();
    QTest::keyClicks(memo, "typed");
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClick(memo, Qt::Key_Delete);
    EXPECT_EQ(memo->toPlainText(), before);
}

TEST_F(MainWindowTest, OpenDialogTakesPatternsForItsListingAndATypedNameOfAMissingFile)
{
    const std::string dir = startDir.path().toStdString();
    const std::unique_ptr<QFileDialog> open = form->host().makeOpenDialog(dir, "*.dat");
    EXPECT_TRUE(open->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(open->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(open->nameFilters(),
              (QStringList{"*.ASC", "Spectra and spectrometer files (*.dat *.txt *.asc *.csv *.tsv *.dsc *.dta *.par "
                                    "*.spc *.esr)"}));
    EXPECT_EQ(open->selectedNameFilter(), "*.ASC");
    EXPECT_EQ(open->directory().absolutePath().toStdString(), dir);

    ASSERT_TRUE(QDir(startDir.path()).mkdir("spectra"));
    const QString missing = startDir.filePath("not there/run1.dat");
    QLineEdit* focusAtStart = nullptr;
    QString presetShown;
    bool openAfterPattern = false;
    QString folderAfterPattern;
    QString boxAfterPattern;
    const auto typeIntoTheDialog = [&] {
        auto* fileName = open->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(fileName, nullptr);
        presetShown = fileName->text();
        focusAtStart = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        fileName->setText(startDir.filePath("spectra/*.txt"));
        QTest::keyClick(fileName, Qt::Key_Return);
        openAfterPattern = open->isVisible();
        folderAfterPattern = open->directory().absolutePath();
        boxAfterPattern = fileName->text();
        fileName->setText(missing);
        QTest::keyClick(fileName, Qt::Key_Return);
    };
    // Acts once the dialog is shown, active and has given a widget the focus,
    // however long that takes on a loaded machine.
    whenReady(
        open.get(), [&] { return open->isActiveWindow() && QApplication::focusWidget() != nullptr; },
        typeIntoTheDialog);
    // Only a bound against hanging when something is broken.
    QTimer::singleShot(kHangGuardMs, open.get(), [&] { open->reject(); });
    ASSERT_EQ(open->exec(), QDialog::Accepted);
    EXPECT_EQ(presetShown, "*.dat");
    EXPECT_NE(focusAtStart, nullptr);
    EXPECT_EQ(focusAtStart, open->findChild<QLineEdit*>("fileNameEdit"));
    EXPECT_TRUE(openAfterPattern);
    EXPECT_EQ(folderAfterPattern, startDir.filePath("spectra"));
    EXPECT_EQ(boxAfterPattern, "*.txt");
    EXPECT_EQ(open->selectedFiles(), QStringList{missing});

    const std::unique_ptr<QFileDialog> save = form->host().makeSaveDialog(dir, dir + "/run1.cal");
    EXPECT_TRUE(save->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_TRUE(save->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_TRUE(save->defaultSuffix().isEmpty());
}

TEST_F(MainWindowTest, TypingAndEnterInABoxChangeNothingElse)
{
    dialogAnswers.push_back(std::string(RAVELLE_EXAMPLE_DAT));
    form->ImportObservedSpectrum1->trigger();
    ASSERT_FALSE(form->Image1->raster().isNull());
    const QImage picture = form->Image1->raster().copy();
    std::vector<QString> before;
    for (const BoxInfo& info : kBoxes)
        before.push_back(form->box(info.name)->text());

    showAndActivate();
    form->H1->setFocus();
    form->H1->selectAll();
    QTest::keyClicks(form->H1, "2.5");
    QTest::keyClick(form->H1, Qt::Key_Return);
    QApplication::processEvents();

    EXPECT_EQ(form->Image1->raster(), picture);
    for (std::size_t i = 0; i < kBoxes.size(); ++i) {
        if (kBoxes[i].name != "H1") {
            EXPECT_EQ(form->box(kBoxes[i].name)->text(), before[i]) << kBoxes[i].name;
        }
    }
    EXPECT_EQ(text("H1"), "2.5");
}

// Import the example, fit the nitrobenzene couplings, calculate, save both
// files, and check them against the engine and against the example itself.
TEST_F(MainWindowTest, ImportCalculateAndSaveProduceTheEngineSpectrumAndTheNormalisedObservation)
{
    const std::string example = RAVELLE_EXAMPLE_DAT;
    const std::string calFile = startDir.filePath("fit.cal").toStdString();
    const std::string obsFile = startDir.filePath("fit.obs").toStdString();

    dialogAnswers.push_back(example);
    ASSERT_TRUE(answerMessageBoxes([&] { form->ImportObservedSpectrum1->trigger(); }).empty());
    EXPECT_EQ(dialogCalls.back().fileName, "*.dat");
    EXPECT_EQ(text("Edit1"), "3322.50");
    EXPECT_EQ(text("Edit2"), "3372.45");
    EXPECT_EQ(text("Edit3"), "-1.10");
    EXPECT_EQ(text("Edit4"), "1.10");
    EXPECT_EQ(text("GCntr"), "3347.47");
    EXPECT_EQ(text("G"), "49.95");
    EXPECT_EQ(text("NoPnts"), "500");
    EXPECT_EQ(form->Image1->raster().size(), QSize(857, 497));

    const std::vector<std::pair<const char*, const char*>> fit{
        {"H1", "3.97"}, {"H2", "3.39"}, {"H3", "3.39"}, {"H4", "1.09"}, {"H5", "1.09"},
        {"N1", "10.32"}, {"GCntr", "3348.20"}, {"Scl", "0.9"}, {"Sigma", "0.13"}};
    for (const auto& [box, value] : fit)
        type(box, value);
    ASSERT_TRUE(answerMessageBoxes([&] { form->Calculate1->click(); }).empty());
    EXPECT_EQ(text("Scl"), "0.9000");

    dialogAnswers.push_back(calFile);
    dialogAnswers.push_back(obsFile);
    const auto shown = answerMessageBoxes([&] { form->SaveSimulatedSpectrum1->trigger(); });
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "The Observed Data will also be saved!!");
    ASSERT_EQ(dialogCalls.size(), 3u);
    EXPECT_EQ(dialogCalls[1].fileName, example.substr(0, example.size() - 4) + ".cal");
    EXPECT_EQ(dialogCalls[2].fileName, example.substr(0, example.size() - 4) + ".obs");

    SynthesisInput input;
    input.displayRange = 49.95;
    input.sigma = 0.13;
    input.points = 500;
    input.couplingH = {3.97, 3.39, 3.39, 1.09, 1.09};
    input.couplingN = {10.32};
    const SimulatedSpectrum expected = synthesizeLiteral(input);
    const std::vector<std::string> cal = crlfLines(readFile(calFile));
    ASSERT_EQ(cal.size(), 501u);
    for (std::size_t i = 0; i < cal.size(); ++i) {
        EXPECT_EQ(cal[i].size(), 21u) << "line " << i << ": " << cal[i];
        const auto [field, intensity] = twoNumbers(cal[i]);
        EXPECT_NEAR(field, 3348.20 + expected.field[i], 0.005 + 1e-9) << "line " << i;
        EXPECT_NEAR(intensity, 0.9 * expected.intensity[i], 0.000005 + 1e-9) << "line " << i;
    }

    // The observation, normalised from the example's own numbers.
    std::vector<std::pair<double, double>> raw;
    for (const std::string& line : crlfLines(readFile(example)))
        raw.push_back(twoNumbers(line));
    ASSERT_EQ(raw.size(), 1000u);
    double low = raw[0].second;
    double high = raw[0].second;
    for (const auto& point : raw) {
        low = std::min(low, point.second);
        high = std::max(high, point.second);
    }
    const std::vector<std::string> obs = crlfLines(readFile(obsFile));
    ASSERT_EQ(obs.size(), raw.size());
    for (std::size_t i = 0; i < obs.size(); ++i) {
        EXPECT_EQ(obs[i].size(), 19u) << "line " << i << ": " << obs[i];
        const auto [field, intensity] = twoNumbers(obs[i]);
        EXPECT_NEAR(field, raw[i].first, 0.005 + 1e-9) << "line " << i;
        EXPECT_NEAR(intensity, 2 * (raw[i].second - (high + low) / 2) / (high - low), 0.000005 + 1e-9) << "line " << i;
    }
}

// Ending the program: these run the real event loop, so they come last.
TEST_F(MainWindowTest, ExitEndsTheEventLoopWithCodeZeroEvenWithTheAboutWindowOpen)
{
    form->show();
    QTimer::singleShot(0, form.get(), [&] {
        form->Help1->trigger();
        form->Exit1->trigger();
    });
    QTimer::singleShot(kHangGuardMs, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QApplication::exec(), 0);
}

TEST_F(MainWindowTest, ClosingTheMainWindowEndsTheEventLoopEvenWithTheAboutWindowOpen)
{
    form->show();
    QTimer::singleShot(0, form.get(), [&] {
        form->Help1->trigger();
        form->close();
    });
    QTimer::singleShot(kHangGuardMs, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QApplication::exec(), 0);
}

} // namespace
} // namespace ravelle
