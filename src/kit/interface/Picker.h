#pragma once

#include <QIcon>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QLabel;

namespace zk {

// A labelled choice among rows: a pop-up menu ("Label: [choice ▾]") or a group of radio buttons under
// the label. Rows are numbered from 0 in the order they are added; separators and section titles
// (menu style) take no number. No row, or a row, is selected; `rowChosen` tells only of the user's
// choices, never of setSelectedRow().
//
// A radio group is one stop of Tab, entered on the selected row; the arrow keys choose within it.
//
// Row icons are built when first needed: the selected row's at once, the others when the pop-up
// first opens.
//
// Main-thread only.
class Picker : public QWidget {
    Q_OBJECT
public:
    enum class Style { menu, radioGroup };

    struct Row {
        QString text;
        // Builds the row's icon; empty for a row without one.
        std::function<QIcon()> icon;
    };

    explicit Picker(const QString& label, Style style = Style::menu, QWidget* parent = nullptr);
    ~Picker() override;

    Style style() const { return m_style; }

    // Returns the new row's number.
    int addRow(Row row);
    void addSeparator();
    // A title above the rows that follow (menu style; a radio group shows it as a plain label).
    void addSection(const QString& title);
    // Drops every row, separator and section; nothing is selected afterwards.
    void clearRows();

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    QString rowText(int row) const;
    void setRowText(int row, const QString& text);
    // Builds the icon now when it has not been built yet.
    QIcon rowIcon(int row);
    bool isRowIconBuilt(int row) const;

    // Nothing, or a number out of range, selects no row.
    void setSelectedRow(std::optional<int> row);
    std::optional<int> selectedRow() const { return m_selected; }

    // Chooses a row as the user does (and tells of it).
    void choose(int row);

    QString label() const;
    // Keeps the label's place in layouts of others but does not show it.
    void setLabelHidden(bool hidden);

    // The pop-up (menu style) or nothing.
    QComboBox* comboBox() const { return m_comboBox; }
    // The radio button of a row (radio style) or nothing.
    QAbstractButton* radioButton(int row) const;

signals:
    void rowChosen(int row);

private:
    struct Entry {
        Row row;
        QIcon icon;
        bool iconBuilt = false;
        // Index in the pop-up, or the radio button.
        int comboIndex = -1;
        QAbstractButton* button = nullptr;
    };

    void buildAllIcons();
    void keepTabStopOnSelectedRow();
    void applyIcon(int row);
    int rowOfComboIndex(int comboIndex) const;

    Style m_style;
    QLabel* m_label = nullptr;
    QComboBox* m_comboBox = nullptr;
    QButtonGroup* m_buttons = nullptr;
    QWidget* m_radioArea = nullptr;
    std::vector<Entry> m_rows;
    std::optional<int> m_selected;
    bool m_allIconsBuilt = false;
};

} // namespace zk
