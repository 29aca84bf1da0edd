#pragma once

#include <QMessageBox>
#include <QString>

namespace ravelle {

// The caption of the program's message boxes: the executable's file name
// without its directory, cut at its first ".", every letter after the first
// in lower case ("/opt/bin/RAVELLE2.EXE" gives "Ravelle2"). A name that
// leaves nothing gives "Ravelle2".
QString applicationTitle(const QString& executablePath);

// A message box that puts its whole content on the clipboard on Ctrl+C, as
// users know it from other desktops:
//   ---------------------------
//   <caption>
//   ---------------------------
//   <text>
//   ---------------------------
//   OK   
//   ---------------------------
// It can also place itself in the middle of the screen instead of over its
// parent.
class MessageBox : public QMessageBox {
    Q_OBJECT
public:
    MessageBox(QMessageBox::Icon icon, const QString& caption, const QString& text, QWidget* parent);

    void setCentredOnScreen(bool centred) { centredOnScreen_ = centred; }

    // What Ctrl+C puts on the clipboard.
    QString clipboardText() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool centredOnScreen_ = false;
};

// The plain notice: no icon, one OK, centred on the screen, modal.
void showNoticeBox(QWidget* parent, const QString& caption, const QString& text);
// The standard error box: stop icon, one OK, application-modal.
void showErrorBox(QWidget* parent, const QString& caption, const QString& text);

} // namespace ravelle
