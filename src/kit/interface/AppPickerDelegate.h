#pragma once

#include "kit/interface/OpenPanelDelegate.h"

#include <QString>

#include <functional>

namespace zk {

// The open panel's rules when the user picks an application. Applications are desktop entries
// (".desktop" files of type Application). This application's own entry is greyed out: it cannot
// pick itself. Anything else chosen is refused with "The selected item is not an app." and the
// suggestion "Please select an app."; an application then goes through `validate`, when set.
class AppPickerDelegate : public OpenPanelDelegate {
public:
    // The own entry's file name: the application's desktop entry name with ".desktop".
    AppPickerDelegate();

    QString filename;
    std::function<ErrorPtr(const QUrl& url)> validate;

    bool shouldEnableUrl(const QUrl& url) const override;
    ErrorPtr validateUrl(const QUrl& url) const override;

    // Whether the file is a desktop entry of an application.
    static bool isApplication(const QUrl& url);
};

} // namespace zk
