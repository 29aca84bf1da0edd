// Writes docs/screenshot.png: the main window, drawn offscreen, with the
// example spectrum imported and the nitrobenzene couplings calculated over
// it, as the README's walk-through leaves it.
//
// Usage: make_screenshot <example.dat> <output.png>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>
#include <string>

#include "engine/ProgramState.h"
#include "ui/MainWindow.h"
#include "ui/QtHost.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_screenshot <example.dat> <output.png>\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const std::string example = argv[1];

    // dirinf goes to a folder of its own, not to where the tool was started.
    QTemporaryDir startDir;
    ravelle::ProgramState state;
    ravelle::Initialise(state, startDir.path().toStdString());
    {
        ravelle::TForm1 form(state, QStringLiteral("Ravelle2"));
        form.host().setDialogAnswerer([&](ravelle::QtHost::DialogKind, const std::string&, const std::string&) {
            return std::optional<std::string>(example);
        });
        form.show();
        form.ImportObservedSpectrum1->trigger();
        const std::pair<const char*, const char*> boxes[] = {
            {"H1", "3.97"},  {"H2", "3.39"},    {"H3", "3.39"},  {"H4", "1.09"},      {"H5", "1.09"},
            {"N1", "10.32"}, {"Sigma", "0.13"}, {"Scl", "1.1"},  {"NoPnts", "1000"},  {"GCntr", "3348.20"},
        };
        for (const auto& [box, text] : boxes)
            form.box(box)->setText(QString::fromLatin1(text));
        form.Calculate1->click();
        QApplication::processEvents();
        if (!form.grab().save(QString::fromLocal8Bit(argv[2]))) {
            std::fprintf(stderr, "cannot write %s\n", argv[2]);
            return 1;
        }
    }
    ravelle::Finalise(state);
    return 0;
}
