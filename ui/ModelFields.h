#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QString>

#include <string>

// The Model window's fields hold the user's texts as they are, like the main
// window's boxes: these move them between the widgets and ModelTexts.
namespace ravelle {

inline std::string textOf(const QLineEdit* edit)
{
    return edit->text().toStdString();
}

inline std::string textOf(const QComboBox* combo)
{
    return combo->currentText().toStdString();
}

// Rewrites a field only where its text differs, so that a field the user is
// working in keeps its cursor when the window's whole content is set again.
inline void showText(QLineEdit* edit, const std::string& text)
{
    const QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (edit->text() != shown)
        edit->setText(shown);
}

inline void showText(QComboBox* combo, const std::string& text)
{
    const QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (combo->currentText() != shown)
        combo->setCurrentText(shown);
}

inline void showChecked(QCheckBox* box, bool checked)
{
    if (box->isChecked() != checked)
        box->setChecked(checked);
}

// A text field of the window, `width` pixels wide.
inline QLineEdit* newField(QWidget* parent, const char* name, int width)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setFixedWidth(width);
    return edit;
}

} // namespace ravelle
