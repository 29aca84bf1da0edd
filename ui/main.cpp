#include <QApplication>

#include "engine/ProgramState.h"
#include "ui/MainWindow.h"

int main(int argc, char* argv[])
{
    ravelle::ProgramState state;
    ravelle::Initialise(state);
    int exitCode = 0;
    {
        QApplication app(argc, argv);
        ravelle::TForm1 form1(state);
        form1.show();
        exitCode = app.exec();
    }
    ravelle::Finalise(state);
    return exitCode;
}
