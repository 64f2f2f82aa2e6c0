#include "kit/interface/MultilineText.h"

namespace zk {

QLabel& multilineText(QLabel& label)
{
    label.setWordWrap(true);
    QSizePolicy policy = label.sizePolicy();
    policy.setHorizontalPolicy(QSizePolicy::Preferred);
    policy.setVerticalPolicy(QSizePolicy::Minimum);
    policy.setHeightForWidth(true);
    label.setSizePolicy(policy);
    return label;
}

} // namespace zk
