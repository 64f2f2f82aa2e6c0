#include "kit/interface/Picker.h"

#include "kit/interface/PickerComboBox.h"

#include <QAbstractItemView>
#include <QBoxLayout>
#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QRadioButton>
#include <QStandardItemModel>

namespace zk {

Picker::Picker(const QString& label, Style style, QWidget* parent)
    : QWidget(parent)
    , m_style(style)
{
    m_label = new QLabel(label, this);
    if (style == Style::menu) {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* combo = new PickerComboBox(this);
        combo->aboutToShowPopup = [this] { buildAllIcons(); };
        combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        m_comboBox = combo;
        m_label->setBuddy(combo);
        layout->addWidget(m_label);
        layout->addWidget(combo);
        layout->addStretch(1);
        connect(combo, &QComboBox::activated, this, [this](int comboIndex) {
            const int row = rowOfComboIndex(comboIndex);
            if (row >= 0) {
                m_selected = row;
                emit rowChosen(row);
            }
        });
    } else {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(m_label, 0, Qt::AlignTop);
        m_radioArea = new QWidget(this);
        // The group's label names it for a screen reader, each row naming its own button.
        m_radioArea->setAccessibleName(label);
        auto* rows = new QVBoxLayout(m_radioArea);
        rows->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(m_radioArea);
        layout->addStretch(1);
        m_buttons = new QButtonGroup(this);
        m_buttons->setExclusive(true);
        connect(m_buttons, &QButtonGroup::idClicked, this, [this](int row) {
            m_selected = row;
            keepTabStopOnSelectedRow();
            emit rowChosen(row);
        });
    }
}

Picker::~Picker() = default;

int Picker::addRow(Row row)
{
    const int number = rowCount();
    Entry entry;
    entry.row = std::move(row);
    if (m_comboBox) {
        entry.comboIndex = m_comboBox->count();
        m_comboBox->addItem(entry.row.text);
    } else {
        auto* button = new QRadioButton(entry.row.text, m_radioArea);
        m_radioArea->layout()->addWidget(button);
        m_buttons->addButton(button, number);
        entry.button = button;
    }
    m_rows.push_back(std::move(entry));
    keepTabStopOnSelectedRow();
    if (m_allIconsBuilt) {
        applyIcon(number);
    }
    return number;
}

void Picker::addSeparator()
{
    if (m_comboBox) {
        m_comboBox->insertSeparator(m_comboBox->count());
    } else {
        auto* line = new QFrame(m_radioArea);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        m_radioArea->layout()->addWidget(line);
    }
}

void Picker::addSection(const QString& title)
{
    if (m_comboBox) {
        m_comboBox->addItem(title);
        auto* model = qobject_cast<QStandardItemModel*>(m_comboBox->model());
        if (auto* item = model ? model->item(m_comboBox->count() - 1) : nullptr) {
            item->setFlags(item->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled));
            QFont font = item->font();
            font.setBold(true);
            item->setFont(font);
        }
    } else {
        auto* header = new QLabel(title, m_radioArea);
        QFont font = header->font();
        font.setBold(true);
        header->setFont(font);
        m_radioArea->layout()->addWidget(header);
    }
}

void Picker::clearRows()
{
    if (m_comboBox) {
        m_comboBox->clear();
    } else {
        for (auto& entry : m_rows) {
            m_buttons->removeButton(entry.button);
            delete entry.button;
        }
        QLayoutItem* item = nullptr;
        while ((item = m_radioArea->layout()->takeAt(0)) != nullptr) {
            delete item->widget();
            delete item;
        }
    }
    m_rows.clear();
    m_selected.reset();
    m_allIconsBuilt = false;
}

QString Picker::rowText(int row) const
{
    return row >= 0 && row < rowCount() ? m_rows[static_cast<std::size_t>(row)].row.text : QString();
}

void Picker::setRowText(int row, const QString& text)
{
    if (row < 0 || row >= rowCount()) {
        return;
    }
    auto& entry = m_rows[static_cast<std::size_t>(row)];
    if (entry.row.text == text) {
        return;
    }
    entry.row.text = text;
    if (m_comboBox) {
        m_comboBox->setItemText(entry.comboIndex, text);
    } else {
        entry.button->setText(text);
    }
}

QIcon Picker::rowIcon(int row)
{
    if (row < 0 || row >= rowCount()) {
        return {};
    }
    applyIcon(row);
    return m_rows[static_cast<std::size_t>(row)].icon;
}

bool Picker::isRowIconBuilt(int row) const
{
    return row >= 0 && row < rowCount() && m_rows[static_cast<std::size_t>(row)].iconBuilt;
}

void Picker::setSelectedRow(std::optional<int> row)
{
    if (row && (*row < 0 || *row >= rowCount())) {
        row.reset();
    }
    m_selected = row;
    if (m_comboBox) {
        m_comboBox->setCurrentIndex(row ? m_rows[static_cast<std::size_t>(*row)].comboIndex : -1);
        if (row) {
            applyIcon(*row);
        }
    } else {
        if (row) {
            m_rows[static_cast<std::size_t>(*row)].button->setChecked(true);
        } else if (auto* checked = m_buttons->checkedButton()) {
            // An exclusive group keeps one button on; lift that rule for a moment.
            m_buttons->setExclusive(false);
            checked->setChecked(false);
            m_buttons->setExclusive(true);
        }
        keepTabStopOnSelectedRow();
    }
}

void Picker::keepTabStopOnSelectedRow()
{
    if (m_style != Style::radioGroup || m_rows.empty()) {
        return;
    }
    // The group is one stop of Tab and Shift+Tab, entered on the chosen row (the first while none
    // is), as the arrow keys move the choice within it. Qt would enter it on whichever button had
    // the focus last, and at first on the last row when coming back with Shift+Tab.
    const std::size_t stop = m_selected ? static_cast<std::size_t>(*m_selected) : 0;
    for (std::size_t row = 0; row < m_rows.size(); ++row) {
        QAbstractButton* button = m_rows[row].button;
        button->setFocusPolicy(row == stop ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

void Picker::choose(int row)
{
    if (row < 0 || row >= rowCount()) {
        return;
    }
    setSelectedRow(row);
    emit rowChosen(row);
}

QString Picker::label() const
{
    return m_label->text();
}

void Picker::setLabelHidden(bool hidden)
{
    m_label->setVisible(!hidden);
}

QAbstractButton* Picker::radioButton(int row) const
{
    return row >= 0 && row < rowCount() ? m_rows[static_cast<std::size_t>(row)].button : nullptr;
}

void Picker::buildAllIcons()
{
    if (m_allIconsBuilt) {
        return;
    }
    m_allIconsBuilt = true;
    for (int row = 0; row < rowCount(); ++row) {
        applyIcon(row);
    }
}

void Picker::applyIcon(int row)
{
    auto& entry = m_rows[static_cast<std::size_t>(row)];
    if (entry.iconBuilt) {
        return;
    }
    entry.iconBuilt = true;
    if (!entry.row.icon) {
        return;
    }
    entry.icon = entry.row.icon();
    if (m_comboBox) {
        m_comboBox->setItemIcon(entry.comboIndex, entry.icon);
    } else {
        entry.button->setIcon(entry.icon);
    }
}

int Picker::rowOfComboIndex(int comboIndex) const
{
    for (int row = 0; row < rowCount(); ++row) {
        if (m_rows[static_cast<std::size_t>(row)].comboIndex == comboIndex) {
            return row;
        }
    }
    return -1;
}

} // namespace zk
