#include <QApplication>

#include "engine/ProgramState.h"
#include "ui/AboutWindow.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgramIcon.h"

int main(int argc, char* argv[])
{
    // The start-up directory is taken before anything else can change it.
    ravelle::ProgramState state;
    ravelle::Initialise(state);
    int exitCode = 0;
    {
        QApplication app(argc, argv);
        QGuiApplication::setDesktopFileName(QStringLiteral("ravelle2"));
        QApplication::setWindowIcon(ravelle::programIcon());
        const QString title = ravelle::applicationTitle(QCoreApplication::applicationFilePath());

        ravelle::TForm1 form1(state, title);
        ravelle::TForm2 form2;
        form1.setAboutWindow(&form2);
        form1.show();
        exitCode = QApplication::exec();
    }
    ravelle::Finalise(state);
    return exitCode;
}
