// Writes the README's pictures of the Model window and of models laid over
// measured spectra, drawn offscreen: the window with its start-up model, with
// a Voigt nitroxide and with two species; Fremy's salt, Wurster's blue and
// the hydroquinone cation's cis/trans mixture over their measured spectra.
//
// Usage: make_model_screenshots <folder of measured spectra> <output folder>
// The measured spectra are those named in the README; a missing one is
// skipped with a word on stderr.

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "commands/ModelTexts.h"
#include "engine/ProgramState.h"
#include "ui/MainWindow.h"
#include "ui/ModelWindow.h"
#include "ui/QtHost.h"

namespace {

using Boxes = std::vector<std::pair<const char*, const char*>>;

struct Picture {
    const char* file;
    const char* measured; // imported first, or nullptr
    Boxes boxes;
    std::function<void(ravelle::ModelTexts&)> model;
    bool ofModelWindow;   // the Model window, or the main window
    int speciesTab = 0;   // the tab the Model window shows
};

ravelle::GroupTexts group(const char* isotope, const char* count, const char* coupling)
{
    return {isotope, count, coupling, false};
}

// Hand-set models over the measured spectra; the couplings are near those
// the spectra's sources report.

// Wurster's blue: two nitrogens in the main window's N boxes, the twelve
// methyl protons and the four ring protons as two groups of the Model window.
void wurstersBlue(ravelle::ModelTexts& t)
{
    t.groups = {group("1H", "12", "7.03"), group("1H", "4", "1.96")};
    t.offset = "-0.026";
}
const Boxes kWurstersBlueBoxes = {{"N1", "6.86"},  {"N2", "6.86"},    {"Sigma", "0.18"},
                                  {"NoPnts", "4000"}, {"GCntr", "3498.72"}, {"Scl", "0.80"}};

// Hydroquinone cation: the OH protons (3.47 G) in H1 and H2, the ring protons
// of the trans form (2.01 and 2.52 G) as groups of species 1, and the cis form
// (2.40 and 2.13 G) as species 2.
void hydroquinone(ravelle::ModelTexts& t)
{
    t.groups = {group("1H", "2", "2.01"), group("1H", "2", "2.52")};
    ravelle::SpeciesTexts cis;
    cis.groups = {group("1H", "2", "3.47"), group("1H", "2", "2.40"), group("1H", "2", "2.13")};
    cis.weight = "1.08";
    cis.sigma = "0.016";
    t.species = {cis};
    t.offset = "-0.017";
}
const Boxes kHydroquinoneBoxes = {{"H1", "3.47"},    {"H2", "3.47"},      {"Sigma", "0.016"}, {"G", "8"},
                                  {"NoPnts", "8000"}, {"GCntr", "3354.24"}, {"Scl", "0.93"}};

// Fremy's salt in glycerol (9.766 GHz), a nitroxide with Voigt lines whose
// Lorentzian width depends on the nitrogen's m_I: the nitrogen is a group of
// the Model window so that the width law can name it.
void fremysSalt(ravelle::ModelTexts& t)
{
    t.shape = ravelle::model::LineShape::Voigt;
    t.gamma = "0.488";
    t.groups = {group("14N", "1", "12.98")};
    t.widthLaw = {"1", "0", "0", "0.144", "0.211"};
    t.offset = "-0.003";
    t.frequency = "9.766";
}
const Boxes kFremysSaltBoxes = {{"Sigma", "0.04"}, {"GCntr", "3479.22"}, {"NoPnts", "2000"}, {"Scl", "0.99"}};

const std::vector<Picture>& pictures()
{
    static const std::vector<Picture> all = {
        {"model_window_default.png", nullptr, {}, {}, true},
        {"model_window_voigt_nitroxide.png", "Fremy_glycerol.dat", kFremysSaltBoxes, fremysSalt, true},
        {"fremys_salt_voigt.png", "Fremy_glycerol.dat", kFremysSaltBoxes, fremysSalt, false},
        {"model_window_two_species.png", "Hydroquinone_cation.dat", kHydroquinoneBoxes, hydroquinone, true, 1},
        {"hydroquinone_cis_trans.png", "Hydroquinone_cation.dat", kHydroquinoneBoxes, hydroquinone, false},
        {"model_window_wursters_blue.png", "WurstersBlue_TMPD_DMSO.dat", kWurstersBlueBoxes, wurstersBlue, true},
        {"wursters_blue.png", "WurstersBlue_TMPD_DMSO.dat", kWurstersBlueBoxes, wurstersBlue, false},
    };
    return all;
}

bool make(const Picture& picture, const QDir& measured, const QDir& output)
{
    QTemporaryDir startDir; // dirinf goes to a folder of its own
    ravelle::ProgramState state;
    ravelle::Initialise(state, startDir.path().toStdString());
    bool written = false;
    {
        ravelle::TForm1 form(state, QStringLiteral("Ravelle2"));
        form.show();
        if (picture.measured) {
            const QString file = measured.filePath(QString::fromLatin1(picture.measured));
            if (!QFileInfo::exists(file)) {
                std::fprintf(stderr, "%s: no %s, skipped\n", picture.file, qPrintable(file));
                return true;
            }
            form.host().setDialogAnswerer([&](ravelle::QtHost::DialogKind, const std::string&, const std::string&) {
                return std::optional<std::string>(file.toStdString());
            });
            form.ImportObservedSpectrum1->trigger();
        }
        for (const auto& [box, text] : picture.boxes)
            form.box(box)->setText(QString::fromLatin1(text));
        form.Model1->trigger();
        ravelle::ModelWindow& window = *form.modelWindow();
        if (picture.model) {
            ravelle::ModelTexts texts = form.host().modelTexts();
            picture.model(texts);
            form.host().setModelTexts(texts);
        }
        window.tabs->setCurrentIndex(picture.speciesTab);
        if (!picture.boxes.empty()) // else Calculate would only say what is missing
            form.Calculate1->click();
        QApplication::processEvents();
        QWidget& shown = picture.ofModelWindow ? static_cast<QWidget&>(window) : static_cast<QWidget&>(form);
        written = shown.grab().save(output.filePath(QString::fromLatin1(picture.file)));
    }
    ravelle::Finalise(state);
    if (!written)
        std::fprintf(stderr, "cannot write %s\n", picture.file);
    return written;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_model_screenshots <measured spectra folder> <output folder>\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // Absolute: an import moves the current directory to the imported file's.
    const QDir measured(QDir(QString::fromLocal8Bit(argv[1])).absolutePath());
    const QDir output(QDir(QString::fromLocal8Bit(argv[2])).absolutePath());
    bool allWritten = true;
    for (const Picture& picture : pictures())
        allWritten = make(picture, measured, output) && allWritten;
    return allWritten ? 0 : 1;
}
