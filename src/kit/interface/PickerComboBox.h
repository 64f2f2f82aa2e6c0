#pragma once

#include <QComboBox>

#include <functional>

namespace zk {

// The pop-up of a Picker: it tells before it opens, so that the rows' icons are built only then,
// and a screen reader knows it by the picker's label. Main-thread only.
class PickerComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit PickerComboBox(QWidget* parent = nullptr);

    std::function<void()> aboutToShowPopup;

    void showPopup() override;
};

} // namespace zk
