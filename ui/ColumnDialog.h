#pragma once

#include <QDialog>

#include <cstddef>
#include <vector>

#include "commands/CommandHost.h"

class QLabel;
class QListWidget;

namespace ravelle {

// The small dialog of the import that asks which column of a text table
// holds the spectrum: the candidate columns by their labels, the
// preselected one current, so that Return (or a double click) takes it and
// Cancel or Escape ends the import.
class ColumnDialog : public QDialog {
    Q_OBJECT
public:
    ColumnDialog(const ColumnChoice& choice, const QString& caption, QWidget* parent = nullptr);

    QLabel* textLabel() const { return text_; }
    QListWidget* columnList() const { return list_; }
    // The column of the current row, one of the candidates.
    std::size_t chosenColumn() const;

private:
    QLabel* text_ = nullptr;
    QListWidget* list_ = nullptr;
    std::vector<std::size_t> candidates_;
};

} // namespace ravelle
