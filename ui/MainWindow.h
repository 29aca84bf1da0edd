#pragma once

#include <QMainWindow>

#include <memory>
#include <string_view>

#include "engine/ProgramState.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QFrame;

namespace ravelle {

class ModelWindow;
class QtHost;
class RasterImage;
class TForm2;
class TSpinButton;

// The main window Form1: the plot, the parameter boxes, the steppers, the
// Calculate button and the menu. Every command is one of its handlers.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // `title` captions the message boxes.
    TForm1(ProgramState& state, const QString& title, QWidget* parent = nullptr);
    ~TForm1() override;

    // The About window that Help shows; none by default.
    void setAboutWindow(TForm2* about) { about_ = about; }

    QtHost& host() { return *host_; }
    // The Model window, once the Model command has first shown it; null before.
    ModelWindow* modelWindow() const { return modelWindow_; }
    // The edit box with the given name ("GCntr", "H1", "Edit3", ...), or null.
    QLineEdit* box(std::string_view name) const;

    // Controls, named as the window's users and tests know them.
    QFrame* Panel1 = nullptr;
    RasterImage* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* GCntr = nullptr;
    QLineEdit* Scl = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QLabel* Panel2 = nullptr;
    QLineEdit* G = nullptr;
    QLabel* Panel3 = nullptr;
    QLineEdit* Sigma = nullptr;
    QLabel* Panel4 = nullptr;
    QLineEdit* H1 = nullptr;
    QLineEdit* H2 = nullptr;
    QLineEdit* H3 = nullptr;
    QLineEdit* H4 = nullptr;
    QLineEdit* H5 = nullptr;
    QLineEdit* H6 = nullptr;
    QLineEdit* H7 = nullptr;
    QLineEdit* H8 = nullptr;
    QLineEdit* H9 = nullptr;
    QLineEdit* H10 = nullptr;
    QLineEdit* H11 = nullptr;
    QLineEdit* H12 = nullptr;
    QLineEdit* H13 = nullptr;
    QLineEdit* H14 = nullptr;
    QLineEdit* H15 = nullptr;
    QLabel* Panel5 = nullptr;
    QLineEdit* N1 = nullptr;
    QLineEdit* N2 = nullptr;
    QLineEdit* N3 = nullptr;
    QLineEdit* N4 = nullptr;
    QLineEdit* N5 = nullptr;
    QLineEdit* N6 = nullptr;
    QLabel* Panel6 = nullptr;
    QLineEdit* NoPnts = nullptr;
    QPushButton* Calculate1 = nullptr;
    TSpinButton* SpinButton1 = nullptr;
    TSpinButton* SpinButton2 = nullptr;
    TSpinButton* SpinButton3 = nullptr;
    TSpinButton* SpinButton4 = nullptr;
    TSpinButton* SpinButton5 = nullptr;
    TSpinButton* SpinButton6 = nullptr;
    TSpinButton* SpinButton7 = nullptr;
    TSpinButton* SpinButton8 = nullptr;
    TSpinButton* SpinButton9 = nullptr;
    TSpinButton* SpinButton10 = nullptr;
    TSpinButton* SpinButton11 = nullptr;
    TSpinButton* SpinButton12 = nullptr;
    TSpinButton* SpinButton13 = nullptr;
    TSpinButton* SpinButton14 = nullptr;

    QMenu* File1 = nullptr;
    QAction* ImportObservedSpectrum1 = nullptr;
    QAction* SaveSimulatedSpectrum1 = nullptr;
    QAction* OpenParameters1 = nullptr;
    QAction* SaveParameters1 = nullptr;
    QAction* Exit1 = nullptr;
    QAction* Model1 = nullptr;
    QAction* Fit1 = nullptr;
    QAction* Help1 = nullptr;

public slots:
    void Calculate1Click(QObject* sender);
    void OpenButtonClick(QObject* sender);
    void SaveButtonClick(QObject* sender);
    void OpenParametersClick(QObject* sender);
    void SaveParametersClick(QObject* sender);
    void Exit1Click(QObject* sender);
    void Help1Click(QObject* sender);
    void Model1Click(QObject* sender);
    void Fit1Click(QObject* sender);

    void SpinButton1UpClick(QObject* sender);
    void SpinButton1DownClick(QObject* sender);
    void SpinButton2UpClick(QObject* sender);
    void SpinButton2DownClick(QObject* sender);
    void SpinButton3UpClick(QObject* sender);
    void SpinButton3DownClick(QObject* sender);
    void SpinButton4UpClick(QObject* sender);
    void SpinButton4DownClick(QObject* sender);
    void SpinButton5UpClick(QObject* sender);
    void SpinButton5DownClick(QObject* sender);
    void SpinButton6UpClick(QObject* sender);
    void SpinButton6DownClick(QObject* sender);
    void SpinButton7UpClick(QObject* sender);
    void SpinButton7DownClick(QObject* sender);
    void SpinButton8UpClick(QObject* sender);
    void SpinButton8DownClick(QObject* sender);
    void SpinButton9UpClick(QObject* sender);
    void SpinButton9DownClick(QObject* sender);
    void SpinButton10UpClick(QObject* sender);
    void SpinButton10DownClick(QObject* sender);
    void SpinButton11UpClick(QObject* sender);
    void SpinButton11DownClick(QObject* sender);
    void SpinButton12UpClick(QObject* sender);
    void SpinButton12DownClick(QObject* sender);
    void SpinButton13UpClick(QObject* sender);
    void SpinButton13DownClick(QObject* sender);
    void SpinButton14UpClick(QObject* sender);
    void SpinButton14DownClick(QObject* sender);

private:
    void createControls();
    void createPlotPanel();
    void createParameterRows();
    void createSteppers();
    void connectSteppers();
    void createMenu();
    void connectCommands();
    void setKeyboardOrder();
    void createHost(const QString& title);

    QLineEdit* addBox(QWidget* parent, std::string_view name, int left, int top, int width);
    QLabel* addLabel(QWidget* parent, const char* name, const char* caption, QRect geometry);
    QLabel* addCaptionPanel(const char* name, const char* caption, QRect geometry, QColor colour);

    // Whether a command may start: not while long work runs.
    bool takesCommands() const;
    // One step of `stepper` up (+1) or down (-1) on its box, then Calculate.
    void stepAndCalculate(QObject* sender, const TSpinButton* stepper, int direction);
    // One step of a Gamma stepper of the Model window, then Calculate.
    void stepGammaAndCalculate(long double step);

    ProgramState& state_;
    TForm2* about_ = nullptr;
    ModelWindow* modelWindow_ = nullptr;
    QWidget* client_ = nullptr;
    std::unique_ptr<QtHost> host_;
};

// "Ravelle2 for Simple Organic Radicals" + two blanks + credit + " <<January, 2005>>".
extern const char* const kMainWindowCaption;

} // namespace ravelle
