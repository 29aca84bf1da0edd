#include "ui/GroupTable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <string>

#include "engine/model/Isotopes.h"
#include "engine/model/Model.h"
#include "ui/ModelFields.h"

namespace ravelle {

namespace {

// Column widths, shared by the heading and the rows so that they line up.
constexpr int kNumberWidth = 22;
constexpr int kIsotopeWidth = 72;
constexpr int kCountWidth = 48;
constexpr int kCouplingWidth = 80;

QLabel* headingLabel(const char* text, int width, QWidget* parent)
{
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setFixedWidth(width);
    return label;
}

// The isotopes that split a line, for the list; any other name may be typed.
void listIsotopes(QComboBox* combo)
{
    for (const model::Isotope& isotope : model::isotopeTable()) {
        if (isotope.twiceSpin == 0)
            continue;
        const QString name = QString::fromLatin1(isotope.name.data(), static_cast<qsizetype>(isotope.name.size()));
        combo->addItem(name);
        const QString spin = isotope.twiceSpin % 2 == 0 ? QString::number(isotope.twiceSpin / 2)
                                                         : QStringLiteral("%1/2").arg(isotope.twiceSpin);
        combo->setItemData(combo->count() - 1, QStringLiteral("I = %1").arg(spin), Qt::ToolTipRole);
    }
}

} // namespace

GroupTable::GroupTable(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    auto* heading = new QWidget(this);
    auto* headingLayout = new QHBoxLayout(heading);
    headingLayout->setContentsMargins(0, 0, 0, 0);
    headingLayout->addWidget(headingLabel("", kNumberWidth, heading));
    headingLayout->addWidget(headingLabel("Isotope", kIsotopeWidth, heading));
    headingLayout->addWidget(headingLabel("Nuclei", kCountWidth, heading));
    headingLayout->addWidget(headingLabel("Coupling (G)", kCouplingWidth, heading));
    headingLayout->addStretch();
    layout->addWidget(heading);

    rowsLayout_ = new QVBoxLayout;
    rowsLayout_->setSpacing(2);
    layout->addLayout(rowsLayout_);

    add_ = new QPushButton(QStringLiteral("Add group"), this);
    add_->setObjectName(QStringLiteral("addGroup"));
    add_->setAutoDefault(false);
    auto* addLine = new QHBoxLayout;
    addLine->addWidget(add_);
    addLine->addStretch();
    layout->addLayout(addLine);
    connect(add_, &QPushButton::clicked, this, &GroupTable::addRow);
}

std::vector<GroupTexts> GroupTable::groups() const
{
    std::vector<GroupTexts> groups;
    for (const Row& row : rows_)
        groups.push_back({textOf(row.isotope), textOf(row.count), textOf(row.coupling), row.natural->isChecked()});
    return groups;
}

void GroupTable::setGroups(const std::vector<GroupTexts>& groups)
{
    while (rows_.size() > groups.size()) {
        delete rows_.back().widget;
        rows_.pop_back();
    }
    for (std::size_t k = 0; k < groups.size(); ++k) {
        if (k < rows_.size())
            showTexts(rows_[k], groups[k]);
        else
            appendRow(groups[k]);
    }
    add_->setEnabled(rows_.size() < model::kMaxGroups);
}

void GroupTable::addRow()
{
    if (rows_.size() >= model::kMaxGroups)
        return;
    appendRow(GroupTexts{});
    add_->setEnabled(rows_.size() < model::kMaxGroups);
    emit rowsChanged(-1);
}

void GroupTable::removeRow(int index)
{
    if (index < 0 || index >= rowCount())
        return;
    const auto at = rows_.begin() + index;
    // Deleted later: the row's own remove button may be what runs this.
    at->widget->hide();
    at->widget->deleteLater();
    rows_.erase(at);
    renumber();
    add_->setEnabled(true);
    emit rowsChanged(index);
}

void GroupTable::appendRow(const GroupTexts& texts)
{
    Row row;
    row.widget = new QWidget(this);
    auto* layout = new QHBoxLayout(row.widget);
    layout->setContentsMargins(0, 0, 0, 0);
    row.number = new QLabel(row.widget);
    row.number->setFixedWidth(kNumberWidth);
    row.isotope = new QComboBox(row.widget);
    row.isotope->setEditable(true);
    row.isotope->setInsertPolicy(QComboBox::NoInsert);
    row.isotope->setFixedWidth(kIsotopeWidth);
    listIsotopes(row.isotope);
    row.count = newField(row.widget, "count", kCountWidth);
    row.coupling = newField(row.widget, "coupling", kCouplingWidth);
    row.natural = new QCheckBox(QStringLiteral("natural abundance"), row.widget);
    row.natural->setToolTip(QStringLiteral("Each position holds the element's isotopes in their natural "
                                           "abundances; the coupling is that of the isotope named."));
    row.remove = new QToolButton(row.widget);
    row.remove->setText(QStringLiteral("Remove"));
    row.remove->setToolTip(QStringLiteral("Remove this group"));
    for (QWidget* widget : std::initializer_list<QWidget*>{row.number, row.isotope, row.count, row.coupling,
                                                           row.natural, row.remove})
        layout->addWidget(widget);
    layout->addStretch();
    rowsLayout_->addWidget(row.widget);

    QWidget* rowWidget = row.widget;
    connect(row.remove, &QToolButton::clicked, this, [this, rowWidget] {
        for (std::size_t k = 0; k < rows_.size(); ++k)
            if (rows_[k].widget == rowWidget)
                removeRow(static_cast<int>(k));
    });
    // A new row shows its texts whatever the combo's first item is.
    row.isotope->setCurrentIndex(-1);
    showTexts(row, texts);
    rows_.push_back(row);
    renumber();
}

void GroupTable::showTexts(Row& row, const GroupTexts& texts)
{
    showText(row.isotope, texts.isotope);
    showText(row.count, texts.count);
    showText(row.coupling, texts.coupling);
    showChecked(row.natural, texts.naturalAbundance);
}

void GroupTable::renumber()
{
    for (std::size_t k = 0; k < rows_.size(); ++k)
        rows_[k].number->setText(QString::number(k + 1));
}

} // namespace ravelle
