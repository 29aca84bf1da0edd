#include "ui/AboutWindow.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <array>

namespace ravelle {

namespace {

// Blanks at the start and the end of some lines belong to the text.
constexpr std::array<const char*, 30> kAboutLines{
    "<<Ravelle2>>  Simulation Program for the ESR Spectra of Simple Organic Radicals",
    "(Revised on January 5, 2005, in the Ravelle2 source repository)",
    "",
    "Written and maintained by the Ravelle2 contributors.",
    "Source code: the Ravelle2 project repository (C++20, Qt 6 Widgets).",
    "Spectra: up to 15 H (I = 1/2) and 6 N (I = 1) couplings, Gaussian lines.",
    "Files: observed spectra in two columns, results in '.cal' and '.obs' tables.",
    "Example: 'example.dat' is installed with the program (share/ravelle2).",
    "Problems and suggestions: please open an issue in the project's tracker,",
    "attaching the observed file and the box values that show the problem.",
    "",
    "Note that the author is in no way liable for unexpected errors caused by this program.",
    "Use this tool with your own responsibility.",
    "",
    "How to Use:",
    "(1) You may import your observed data in a format same to the 'example.dat' file.",
    "(2) Display Range and Sigma Value for Gaussian Function should be first defined.",
    "(3) At least one of either H1 or N1 should be changed into a numerical value before",
    "    conducting calculation to afford a simulated ESR pattern for the defined conditions.",
    "(4) For the coupling constants, you have to select younger paramters.  For example,",
    "    you can define your condition by selecting H1, H2, H3, and N1.  But you are not ",
    "    to select H1, H3, H5, N2.  Thus, such skipping will not give you the appropriate ",
    "    results, for in this case H2 in the H2-box returns the program that the definition",
    "    terminated prior to this box.  In the same manner, N1 in the N1-box indicates that",
    "    there is no coupling between the unpaired electron and the nitrogen atoms.",
    "(5) You can save the results in two ASCII-format files.  Files with extentions of ",
    "     'cal' and 'obs' may be stored in your working directory (you can change the names ",
    "     if it is necessary for you to do so). ",
    "",
    "That's all.  This is just a simple tool, so do not expect too much on it.  Good luck!",
};

} // namespace

QStringList aboutLines()
{
    QStringList lines;
    for (const char* line : kAboutLines)
        lines.append(QString::fromLatin1(line));
    return lines;
}

TForm2::TForm2(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("About Ravelle2"));
    // Showing it must never keep the program running once the main window is closed.
    setAttribute(Qt::WA_QuitOnClose, false);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    Memo1->setFont(font);
    QPalette palette = Memo1->palette();
    palette.setColor(QPalette::Base, QColor(0, 255, 255));
    Memo1->setPalette(palette);
    Memo1->setReadOnly(true);
    // Read-only, yet the text can still be selected from the keyboard and copied.
    Memo1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setPlainText(aboutLines().join(u'\n'));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Memo1);

    resize(538, 290);
    move(191, 143);
}

} // namespace ravelle
