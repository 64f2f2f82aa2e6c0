#pragma once

#include "kit/interface/OpenPanelDelegate.h"

#include <functional>

namespace zk {

// The open panel's rules when the user picks a folder: `shouldEnable` decides which items can be
// chosen; without it, all can.
class DirectoryPickerDelegate : public OpenPanelDelegate {
public:
    std::function<bool(const QUrl& url)> shouldEnable;

    bool shouldEnableUrl(const QUrl& url) const override { return shouldEnable ? shouldEnable(url) : true; }
};

} // namespace zk
