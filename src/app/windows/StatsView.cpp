#include "app/windows/StatsView.h"

#include "kit/foundation/SecondaryTextColor.h"

#include "app/engine/SessionController.h"
#include "app/engine/SharedFormatters.h"
#include "platform/time/Clock.h"

#include <QGridLayout>
#include <QLabel>

namespace kiruvo {

namespace {

constexpr int rowCount = 6;

} // namespace

StatsView::StatsView(SessionController& controller, QWidget* parent)
    : QWidget(parent)
    , m_controller(controller)
    , m_grid(new QGridLayout(this))
{
    m_grid->setContentsMargins(16 + 10, 10 + 10, 16 + 10, 10);
    m_grid->setVerticalSpacing(8);
    m_grid->setColumnStretch(1, 1);
    for (int row = 0; row < rowCount; ++row) {
        auto* label = new QLabel(this);
        auto* value = new QLabel(this);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        m_grid->addWidget(label, row, 0);
        m_grid->addWidget(value, row, 1);
        m_rows.emplace_back(label, value);
    }
    refresh();
}

void StatsView::setRow(int row, const QString& label, const QString& value, bool available)
{
    auto [labelWidget, valueWidget] = m_rows[row];
    labelWidget->setText(label);
    valueWidget->setText(value);
    QFont font = valueWidget->font();
    font.setWeight(available ? QFont::DemiBold : QFont::Normal);
    valueWidget->setFont(font);
    // A figure not available yet reads as secondary, never as faint as a placeholder.
    valueWidget->setPalette(available ? QPalette() : zk::secondaryTextPalette(palette()));
}

void StatsView::statsRow(int row, const QString& title, std::optional<zk::Duration> value)
{
    const QString label = title + QLatin1Char(':');
    if (!value) {
        setRow(row, label, QString::fromLatin1(notAvailableText), false);
        return;
    }
    setRow(row, label, QString::fromStdString(SharedFormatters::hoursMinutesStandaloneText(*value)), true);
}

void StatsView::refresh()
{
    setRow(0, QStringLiteral("Days:"), QString::number(m_controller.trackedDayCount()), true);
    // Today's total is shown as zero rather than as missing.
    statsRow(1, QStringLiteral("Total today"),
        m_controller.totalDurationForDayAt(platform::Clock::shared().now()).value_or(zk::Duration::zero()));
    statsRow(2, QStringLiteral("Total yesterday"), m_controller.totalDurationYesterday());
    statsRow(3, QStringLiteral("7-day average"),
        zk::Duration::fromSeconds(m_controller.averageDuration(-6, 0, false)));
    statsRow(4, QStringLiteral("Weekday average"),
        zk::Duration::fromSeconds(m_controller.averageDuration(-124, 0, true)));
    statsRow(5, QStringLiteral("All-time average"),
        zk::Duration::fromSeconds(m_controller.averageDuration(-124, 0, false)));
}

int StatsView::labelWidth() const
{
    return m_grid->cellRect(0, 0).width();
}

std::vector<std::pair<QString, QString>> StatsView::rows() const
{
    std::vector<std::pair<QString, QString>> result;
    for (const auto& [label, value] : m_rows) {
        result.emplace_back(label->text(), value->text());
    }
    return result;
}

} // namespace kiruvo
