#include "kit/interface/WrappingToolTip.h"

#include <QStringList>
#include <QWidget>

namespace zk {

QString wrappingToolTip(const QString& text)
{
    QString html;
    for (const QString& paragraph : text.split(QStringLiteral("\n\n"))) {
        html += QStringLiteral("<p>")
            + paragraph.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"))
            + QStringLiteral("</p>");
    }
    return html;
}

void setHelpText(QWidget& widget, const QString& text)
{
    widget.setToolTip(wrappingToolTip(text));
    widget.setAccessibleDescription(text);
}

} // namespace zk
