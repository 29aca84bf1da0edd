#pragma once

#include <QStringList>
#include <QWidget>

class QPlainTextEdit;

namespace ravelle {

// The About window Form2: one read-only text that names the program and
// explains how to use it. Closing it only hides it.
class TForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);

    QPlainTextEdit* Memo1 = nullptr;
};

// The thirty lines of the About text, blanks at their ends included.
QStringList aboutLines();

} // namespace ravelle
