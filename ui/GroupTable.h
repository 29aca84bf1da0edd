#pragma once

#include <QWidget>

#include <vector>

#include "commands/ModelTexts.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace ravelle {

// The nucleus groups of one species in the Model window: a row per group
// (its number, the isotope, the number of equivalent nuclei, the coupling,
// natural abundance, a button that removes the row) and a button that adds
// a row. What the rows hold is read only when a command asks for it.
class GroupTable : public QWidget {
    Q_OBJECT
public:
    explicit GroupTable(QWidget* parent = nullptr);

    struct Row {
        QWidget* widget = nullptr;
        QLabel* number = nullptr;
        QComboBox* isotope = nullptr; // editable: any name may be typed
        QLineEdit* count = nullptr;
        QLineEdit* coupling = nullptr;
        QCheckBox* natural = nullptr;
        QToolButton* remove = nullptr;
    };

    std::vector<GroupTexts> groups() const;
    // Shows exactly `groups`; rows that exist are kept and only the texts
    // that differ are rewritten, so a cursor stays where it was.
    void setGroups(const std::vector<GroupTexts>& groups);

    int rowCount() const { return static_cast<int>(rows_.size()); }
    const Row& row(int index) const { return rows_.at(static_cast<std::size_t>(index)); }
    QPushButton* addButton() const { return add_; }

    // Adds a row of the start-up group (one proton, coupling 0) or removes one.
    void addRow();
    void removeRow(int index);

signals:
    // After a row was added (removedIndex -1) or removed.
    void rowsChanged(int removedIndex);

private:
    void appendRow(const GroupTexts& texts);
    void showTexts(Row& row, const GroupTexts& texts);
    void renumber();

    QVBoxLayout* rowsLayout_ = nullptr;
    std::vector<Row> rows_;
    QPushButton* add_ = nullptr;
};

} // namespace ravelle
