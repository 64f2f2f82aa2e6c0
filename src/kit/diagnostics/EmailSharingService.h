#pragma once

#include "kit/interface/SharingService.h"

namespace zk {

// "Email": a new e-mail in the user's mail client with the texts and links as its body, and the
// first local file attached when xdg-email is there to attach it. Main-thread only.
class EmailSharingService : public SharingService {
public:
    EmailSharingService();

    bool canPerformWithItems(const std::vector<ShareItem>& items) const override;
    void performWithItems(const std::vector<ShareItem>& items) override;
};

} // namespace zk
