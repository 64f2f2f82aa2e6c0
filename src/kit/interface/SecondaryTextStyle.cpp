#include "kit/interface/SecondaryTextStyle.h"

#include "kit/foundation/SecondaryTextColor.h"
#include "kit/interface/StandardMenuItems.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace zk {

double systemFontSize()
{
    static const double size = [] {
        const double base = QApplication::font().pointSizeF();
        return base > 0 ? base : 10.0;
    }();
    return size;
}

double smallSystemFontSize()
{
    static const double size = smallFontPointSize();
    return size;
}

SecondaryTextStyleModifier::SecondaryTextStyleModifier(double fontSize)
    : m_fontSize(fontSize)
{
}

void SecondaryTextStyleModifier::apply(QWidget& widget) const
{
    QFont font = QApplication::font();
    font.setPointSizeF(m_fontSize > 0 ? m_fontSize : systemFontSize());
    font.setWeight(QFont::Normal);
    widget.setFont(font);
    useSecondaryTextColor(widget);
}

} // namespace zk
