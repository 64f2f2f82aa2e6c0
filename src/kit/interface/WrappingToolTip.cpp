#include "kit/interface/WrappingToolTip.h"

#include <QStringList>

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

} // namespace zk
