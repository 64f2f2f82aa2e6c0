#include "kit/interface/PickerComboBox.h"

#include "kit/interface/Accessibility.h"

namespace zk {

PickerComboBox::PickerComboBox(QWidget* parent)
    : QComboBox(parent)
{
    installAccessibility();
}

void PickerComboBox::showPopup()
{
    if (aboutToShowPopup) {
        aboutToShowPopup();
    }
    QComboBox::showPopup();
}

} // namespace zk
