#include "ui/ColumnDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/Messages.h"

namespace ravelle {

namespace {

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

ColumnDialog::ColumnDialog(const ColumnChoice& choice, const QString& caption, QWidget* parent)
    : QDialog(parent), candidates_(choice.candidates)
{
    setObjectName(QStringLiteral("ColumnDialog"));
    setWindowTitle(caption + QStringLiteral(" - ") + fromUtf8(messages::kColumnDialogTitle));
    setModal(true);

    text_ = new QLabel(fromUtf8(messages::columnDialogText(choice.fileName, choice.labels.at(choice.fieldColumn))), this);
    text_->setTextFormat(Qt::PlainText);
    text_->setWordWrap(true);

    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    for (std::size_t k = 0; k < candidates_.size(); ++k) {
        const std::size_t column = candidates_[k];
        list_->addItem(QStringLiteral("%1  (column %2)").arg(fromUtf8(choice.labels.at(column))).arg(column + 1));
        if (column == choice.preselected)
            list_->setCurrentRow(static_cast<int>(k));
    }
    if (list_->currentRow() < 0)
        list_->setCurrentRow(0);
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    list_->setFocus(Qt::OtherFocusReason);
}

std::size_t ColumnDialog::chosenColumn() const
{
    const int row = list_->currentRow();
    return candidates_.at(row < 0 ? 0 : static_cast<std::size_t>(row));
}

} // namespace ravelle
