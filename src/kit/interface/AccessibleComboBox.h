#pragma once

#include <QAccessibleWidget>

class QComboBox;

namespace zk {

// A pop-up as a screen reader meets it: named by its label (its accessible name, else the label
// whose buddy it is) and valued by the row it shows, its rows the list that opens. Qt names a pop-up
// on Linux by the row it shows, so that "Show:" was read as "Current session duration".
class AccessibleComboBox : public QAccessibleWidget {
public:
    explicit AccessibleComboBox(QComboBox* comboBox);

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

    // The text of the label whose buddy `widget` is, without its mnemonic marks; empty when none.
    static QString buddyLabelText(const QWidget& widget);

private:
    QComboBox* comboBox() const;
};

} // namespace zk
