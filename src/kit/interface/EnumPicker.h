#pragma once

#include "kit/interface/Picker.h"
#include "kit/interface/PickerBinding.h"

#include <array>
#include <concepts>
#include <functional>
#include <vector>

namespace zk {

// A picker over every case of an enumeration, in declaration order, bound to a setting. `content`
// gives each case's row and is told whether the case is the selected one; the rows are made again
// whenever the selection changes, so that exactly one is made as selected. The style is the
// caller's: a pop-up menu or radio buttons.
//
// Returns the binding, owned by the picker. Main-thread only.
template <class Enum, std::size_t N, std::invocable<Enum, bool> Content>
PickerBinding<Enum>* bindEnumPicker(
    Picker& picker, const std::array<Enum, N>& cases, const Defaults::Key<Enum>& key, Content content)
{
    const Enum current = Defaults::get(key);
    for (const Enum value : cases) {
        picker.addRow(content(value, value == current));
    }
    auto* binding = new PickerBinding<Enum>(picker, key, std::vector<Enum>(cases.begin(), cases.end()));
    binding->onShow([&picker, cases, content](const Enum& selected) {
        for (std::size_t row = 0; row < cases.size(); ++row) {
            picker.setRowText(static_cast<int>(row), content(cases[row], cases[row] == selected).text);
        }
    });
    return binding;
}

} // namespace zk
