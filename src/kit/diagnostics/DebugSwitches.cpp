#include "kit/diagnostics/DebugSwitches.h"

#include "libraries/defaults/Defaults.h"

#include <QApplication>

namespace zk::DebugSwitches {

namespace {

bool isOn(const platform::UserDefaults& suite, const std::string& key)
{
    return Defaults::read<bool>(suite, key).value_or(false);
}

} // namespace

const std::vector<Row>& rows()
{
    // Only the switches Qt can honour: a switch that does nothing would say otherwise.
    static const std::vector<Row> table {
        { "Draw Outlines Around Views", "NSShowAllViews" },
        { "Log Qt Input Events", "NSTraceEvents" },
    };
    return table;
}

Defaults::Key<bool> key(const std::string& name)
{
    return Defaults::Key<bool>(name, false);
}

const std::string& showAllDrawingOnValue()
{
    static const std::string value = std::to_string(200);
    return value;
}

std::vector<std::pair<QString, QString>> environmentForLaunch(const platform::UserDefaults& suite)
{
    std::vector<std::pair<QString, QString>> variables;
    if (isOn(suite, "NSTraceEvents")) {
        QString rules = qEnvironmentVariable("QT_LOGGING_RULES");
        rules += QStringLiteral("%1qt.qpa.input*=true;qt.widgets.gestures=true")
                     .arg(rules.isEmpty() ? "" : ";");
        variables.emplace_back(QStringLiteral("QT_LOGGING_RULES"), rules);
    }
    if (Defaults::read<std::string>(suite, showAllDrawingKey) == showAllDrawingOnValue()) {
        variables.emplace_back(QStringLiteral("QT_FLUSH_UPDATE"), QStringLiteral("1"));
    }
    return variables;
}

QString styleSheetForLaunch(const platform::UserDefaults& suite)
{
    if (!isOn(suite, "NSShowAllViews")) {
        return {};
    }
    return QStringLiteral("QWidget { border: 1px solid rgba(0, 90, 255, 0.6); }");
}

void applyBeforeApplication()
{
    for (const auto& [name, value] : environmentForLaunch(*platform::UserDefaults::standard())) {
        qputenv(name.toLatin1().constData(), value.toUtf8());
    }
}

void applyToApplication(QApplication& application)
{
    const QString sheet = styleSheetForLaunch(*platform::UserDefaults::standard());
    if (!sheet.isEmpty()) {
        application.setStyleSheet(application.styleSheet() + sheet);
    }
}

} // namespace zk::DebugSwitches
