#include "ui/MessageBoxes.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

namespace ravelle {

QString applicationTitle(const QString& executablePath)
{
    QString name = QFileInfo(executablePath).fileName();
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    if (name.isEmpty())
        return QStringLiteral("Ravelle2");
    return name.left(1) + name.mid(1).toLower();
}

MessageBox::MessageBox(QMessageBox::Icon icon, const QString& caption, const QString& text, QWidget* parent)
    : QMessageBox(icon, caption, text, QMessageBox::Ok, parent)
{
    // Messages quote whatever the user typed or the file held; none of it is markup.
    setTextFormat(Qt::PlainText);
    setWindowModality(Qt::ApplicationModal);
}

QString MessageBox::clipboardText() const
{
    const QString separator = QStringLiteral("---------------------------\n");
    QString buttonsLine;
    for (const QAbstractButton* button : buttons()) {
        QString caption = button->text();
        // A mnemonic marker is not part of what the user reads.
        caption.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
        caption.remove(u'&');
        caption.replace(u'\x01', u'&');
        buttonsLine += caption + QStringLiteral("   ");
    }
    return separator + windowTitle() + u'\n' + separator + text() + u'\n' + separator + buttonsLine + u'\n'
        + separator;
}

void MessageBox::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        QGuiApplication::clipboard()->setText(clipboardText());
        event->accept();
        return;
    }
    QMessageBox::keyPressEvent(event);
}

void MessageBox::showEvent(QShowEvent* event)
{
    // The base class settles the box's size here, so it can only be centred afterwards.
    QMessageBox::showEvent(event);
    if (centredOnScreen_) {
        if (const QScreen* screen = this->screen()) {
            const QRect available = screen->availableGeometry();
            move(available.center() - QPoint(width() / 2, height() / 2));
        }
    }
}

void showNoticeBox(QWidget* parent, const QString& caption, const QString& text)
{
    MessageBox box(QMessageBox::NoIcon, caption, text, parent);
    box.setCentredOnScreen(true);
    box.exec();
}

void showErrorBox(QWidget* parent, const QString& caption, const QString& text)
{
    MessageBox box(QMessageBox::Critical, caption, text, parent);
    box.exec();
}

} // namespace ravelle
