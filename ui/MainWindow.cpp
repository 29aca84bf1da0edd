#include "ui/MainWindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <qdrawutil.h>
#include <QPushButton>

#include <array>

#include "engine/Boxes.h"
#include "ui/AboutWindow.h"
#include "commands/Commands.h"
#include "ui/FitDialog.h"
#include "ui/ModelWindow.h"
#include "ui/QtHost.h"
#include "ui/RasterImage.h"

namespace ravelle {

const char* const kMainWindowCaption =
    "Ravelle2 for Simple Organic Radicals  (the Ravelle2 contributors) <<January, 2005>>";

namespace {

constexpr QColor kSilver(192, 192, 192);
constexpr QColor kFuchsia(255, 0, 255);
constexpr QColor kYellow(255, 255, 0);
constexpr QColor kAqua(0, 255, 255);
constexpr QColor kTeal(0, 128, 128);

constexpr int kClientWidth = 914;
constexpr int kClientHeight = 648;
constexpr int kBoxHeight = 23;

QFont textFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    return font;
}

// The window's own face; every control that shows text sets Arial over it.
QFont windowDefaultFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"), QStringLiteral("Sans Serif")});
    font.setPixelSize(12);
    return font;
}

// A panel with a one-pixel raised bevel in the classic white and grey,
// whatever colours the style would pick for a frame.
class RaisedPanel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QLabel::paintEvent(event);
        QPainter painter(this);
        QPalette bevel = palette();
        bevel.setColor(QPalette::Light, Qt::white);
        bevel.setColor(QPalette::Dark, QColor(128, 128, 128));
        qDrawShadePanel(&painter, rect(), bevel, false, 1);
    }
};

void setBackground(QWidget* widget, QPalette::ColorRole role, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

} // namespace

TForm1::TForm1(ProgramState& state, const QString& title, QWidget* parent) : QMainWindow(parent), state_(state)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromUtf8(kMainWindowCaption));
    createControls();
    createMenu();
    createHost(title);
    connectCommands();
    setKeyboardOrder();
    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    move(22, 29);
}

TForm1::~TForm1() = default;

void TForm1::createControls()
{
    client_ = new QWidget(this);
    client_->setFont(windowDefaultFont());
    setCentralWidget(client_);
    createPlotPanel();
    createParameterRows();
    createSteppers();
}

void TForm1::createPlotPanel()
{
    Panel1 = new RaisedPanel(client_);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 913, 537);
    Panel1->setAutoFillBackground(true);
    setBackground(Panel1, QPalette::Window, kSilver);
    Panel1->setFont(textFont());

    Image1 = new RasterImage(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(48, 8, 857, 497);

    Label1 = addLabel(Panel1, "Label1", "Center Field (G)", QRect(186, 513, 87, 15));
    GCntr = addBox(Panel1, "GCntr", 278, 509, 73);
    setBackground(GCntr, QPalette::Base, kAqua);
    Label2 = addLabel(Panel1, "Label2", "Mutual Scale (Calc/Obs)", QRect(472, 513, 132, 15));
    Scl = addBox(Panel1, "Scl", 600, 509, 57);
    setBackground(Scl, QPalette::Base, kAqua);
}

void TForm1::createParameterRows()
{
    Edit4 = addBox(client_, "Edit4", 8, 8, 35);
    Edit3 = addBox(client_, "Edit3", 8, 480, 35);
    Edit1 = addBox(client_, "Edit1", 32, 506, 57);
    Edit2 = addBox(client_, "Edit2", 848, 506, 57);

    Panel2 = addCaptionPanel("Panel2", "Display Range (G)", QRect(8, 544, 113, 20), kFuchsia);
    G = addBox(client_, "G", 128, 544, 51);
    Panel3 = addCaptionPanel("Panel3", "Sigma Value for Gaussian Function", QRect(257, 544, 215, 20), kFuchsia);
    Sigma = addBox(client_, "Sigma", 473, 542, 49);

    Panel4 = addCaptionPanel("Panel4", "A(H) (G)", QRect(8, 568, 65, 20), kFuchsia);
    const std::array<QLineEdit**, 15> hydrogen{&H1, &H2, &H3, &H4, &H5, &H6, &H7, &H8,
                                               &H9, &H10, &H11, &H12, &H13, &H14, &H15};
    for (int k = 1; k <= 15; ++k) {
        const int column = (k - 1) % 10;
        const int top = k <= 10 ? 568 : 592;
        *hydrogen[k - 1] = addBox(client_, hydrogenBox(k), 80 + 56 * column, top, 49);
    }

    Panel5 = addCaptionPanel("Panel5", "A(N) (G)", QRect(8, 616, 65, 20), kFuchsia);
    const std::array<QLineEdit**, 6> nitrogen{&N1, &N2, &N3, &N4, &N5, &N6};
    for (int k = 1; k <= 6; ++k)
        *nitrogen[k - 1] = addBox(client_, nitrogenBox(k), 80 + 56 * (k - 1), 616, 49);

    Panel6 = addCaptionPanel("Panel6", "Points(Calc)", QRect(696, 576, 73, 17), kYellow);
    NoPnts = addBox(client_, "NoPnts", 704, 592, 57);
    setBackground(NoPnts, QPalette::Base, kTeal);
    Label3 = addLabel(client_, "Label3", "(Defalt: 500)", QRect(699, 619, 67, 15));

    Calculate1 = new QPushButton(QStringLiteral("Calculate"), client_);
    Calculate1->setObjectName(QStringLiteral("Calculate1"));
    Calculate1->setGeometry(784, 576, 89, 33);
    Calculate1->setFont(textFont());
    // Pressing it leaves the keyboard focus in the box the user was editing.
    Calculate1->setFocusPolicy(Qt::NoFocus);
    Calculate1->setAutoDefault(false);
}

void TForm1::createMenu()
{
    // No "&" anywhere: the menu has no accelerator letters, and the
    // underscores of the item captions show as they are.
    File1 = menuBar()->addMenu(QStringLiteral("File"));
    File1->setObjectName(QStringLiteral("File1"));
    ImportObservedSpectrum1 = File1->addAction(QStringLiteral("Import_Observed_Spectrum"));
    ImportObservedSpectrum1->setObjectName(QStringLiteral("ImportObservedSpectrum1"));
    SaveSimulatedSpectrum1 = File1->addAction(QStringLiteral("Save_Simulated_Spectrum"));
    SaveSimulatedSpectrum1->setObjectName(QStringLiteral("SaveSimulatedSpectrum1"));
    OpenParameters1 = File1->addAction(QStringLiteral("Open_Parameters"));
    OpenParameters1->setObjectName(QStringLiteral("OpenParameters1"));
    SaveParameters1 = File1->addAction(QStringLiteral("Save_Parameters"));
    SaveParameters1->setObjectName(QStringLiteral("SaveParameters1"));
    Exit1 = File1->addAction(QStringLiteral("Exit"));
    Exit1->setObjectName(QStringLiteral("Exit1"));
    // Model, Fit and Help are commands of the menu bar itself, not menus.
    Model1 = menuBar()->addAction(QStringLiteral("Model"));
    Model1->setObjectName(QStringLiteral("Model1"));
    Fit1 = menuBar()->addAction(QStringLiteral("Fit"));
    Fit1->setObjectName(QStringLiteral("Fit1"));
    Help1 = menuBar()->addAction(QStringLiteral("Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
}

void TForm1::createHost(const QString& title)
{
    std::map<std::string, QLineEdit*, std::less<>> boxes;
    for (const BoxInfo& info : kBoxes)
        boxes.emplace(std::string(info.name), box(info.name));
    host_ = std::make_unique<QtHost>(this, std::move(boxes), Image1, title);
}

void TForm1::connectCommands()
{
    connect(Calculate1, &QPushButton::clicked, this, [this] { Calculate1Click(Calculate1); });
    connect(ImportObservedSpectrum1, &QAction::triggered, this, [this] { OpenButtonClick(ImportObservedSpectrum1); });
    connect(SaveSimulatedSpectrum1, &QAction::triggered, this, [this] { SaveButtonClick(SaveSimulatedSpectrum1); });
    connect(OpenParameters1, &QAction::triggered, this, [this] { OpenParametersClick(OpenParameters1); });
    connect(SaveParameters1, &QAction::triggered, this, [this] { SaveParametersClick(SaveParameters1); });
    connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(Exit1); });
    connect(Model1, &QAction::triggered, this, [this] { Model1Click(Model1); });
    connect(Fit1, &QAction::triggered, this, [this] { Fit1Click(Fit1); });
    connect(Help1, &QAction::triggered, this, [this] { Help1Click(Help1); });

    connectSteppers();
}

void TForm1::setKeyboardOrder()
{
    QWidget* previous = nullptr;
    for (const BoxInfo& info : kBoxes) {
        QWidget* current = box(info.name);
        if (previous)
            setTabOrder(previous, current);
        previous = current;
    }
    // The focus the window gets when it first becomes active.
    GCntr->setFocus(Qt::OtherFocusReason);
}

QLineEdit* TForm1::addBox(QWidget* parent, std::string_view name, int left, int top, int width)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    edit->setGeometry(left, top, width, kBoxHeight);
    edit->setFont(textFont());
    for (const BoxInfo& info : kBoxes)
        if (info.name == name)
            edit->setText(QString::fromUtf8(info.initialText.data(), static_cast<qsizetype>(info.initialText.size())));
    edit->setCursorPosition(0);
    return edit;
}

QLabel* TForm1::addLabel(QWidget* parent, const char* name, const char* caption, QRect geometry)
{
    auto* label = new QLabel(QString::fromLatin1(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setFont(textFont());
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel* TForm1::addCaptionPanel(const char* name, const char* caption, QRect geometry, QColor colour)
{
    auto* panel = new RaisedPanel(QString::fromLatin1(caption), client_);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setGeometry(geometry);
    panel->setFont(textFont());
    panel->setTextFormat(Qt::PlainText);
    panel->setContentsMargins(1, 1, 1, 1);
    panel->setAlignment(Qt::AlignCenter);
    panel->setAutoFillBackground(true);
    setBackground(panel, QPalette::Window, colour);
    return panel;
}

QLineEdit* TForm1::box(std::string_view name) const
{
    const QList<QLineEdit*> edits = findChildren<QLineEdit*>(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    return edits.isEmpty() ? nullptr : edits.front();
}

bool TForm1::takesCommands() const
{
    // Input waits while long work runs; this holds off the rest (a command
    // raised by a program, or by a test's synthetic input).
    return !host_->working();
}

void TForm1::Calculate1Click(QObject*)
{
    if (takesCommands())
        calculateCommand(state_, *host_);
}

void TForm1::OpenButtonClick(QObject*)
{
    if (takesCommands())
        importCommand(state_, *host_);
}

void TForm1::SaveButtonClick(QObject*)
{
    if (takesCommands())
        exportCommand(state_, *host_);
}

void TForm1::OpenParametersClick(QObject*)
{
    if (takesCommands())
        openParametersCommand(state_, *host_);
}

void TForm1::SaveParametersClick(QObject*)
{
    if (takesCommands())
        saveParametersCommand(state_, *host_);
}

void TForm1::Exit1Click(QObject*)
{
    if (!takesCommands())
        return;
    // No question and nothing saved; main() still releases the program state.
    QCoreApplication::exit(0);
}

void TForm1::Fit1Click(QObject*)
{
    if (!takesCommands())
        return;
    fitCommand(state_, *host_, this, [this] { Calculate1Click(Fit1); });
}

void TForm1::Model1Click(QObject*)
{
    if (!takesCommands())
        return;
    // Made at its first showing; from then on it holds the model's texts.
    if (!modelWindow_) {
        modelWindow_ = new ModelWindow(Sigma, GCntr, this);
        connect(modelWindow_, &ModelWindow::gammaStep, this, &TForm1::stepGammaAndCalculate);
        host_->setModelWindow(modelWindow_);
    }
    modelWindow_->show();
    modelWindow_->raise();
    modelWindow_->activateWindow();
}

void TForm1::Help1Click(QObject*)
{
    if (!about_ || !takesCommands())
        return;
    about_->show();
    about_->raise();
    about_->activateWindow();
}

} // namespace ravelle
