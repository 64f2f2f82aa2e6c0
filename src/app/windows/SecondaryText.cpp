#include "app/windows/SecondaryText.h"

#include "kit/interface/SecondaryTextStyle.h"

namespace kiruvo {

QLabel* secondaryText(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    zk::SecondaryTextStyleModifier().apply(*label);
    return label;
}

} // namespace kiruvo
