#pragma once

#include "kit/foundation/core/ErrorValues.h"

#include <QUrl>

namespace zk {

// Decides, for an OpenPanel, which items can be chosen and whether the chosen one will do.
class OpenPanelDelegate {
public:
    virtual ~OpenPanelDelegate() = default;

    // Items answered false are shown greyed out.
    virtual bool shouldEnableUrl(const QUrl& url) const
    {
        (void)url;
        return true;
    }
    // Nothing accepts the chosen item; an error refuses it and is shown to the user.
    virtual ErrorPtr validateUrl(const QUrl& url) const
    {
        (void)url;
        return nullptr;
    }
};

} // namespace zk
