#include "kit/interface/MenuBarItemVerticalAlignmentSetting.h"

#include "kit/interface/InfoPopoverButton.h"
#include "kit/interface/SymbolImage.h"

#include <QBoxLayout>
#include <QLabel>
#include <QSlider>

#include <algorithm>
#include <cmath>

namespace zk {

namespace {

QLabel* symbolLabel(std::string_view systemImage, const QString& fallback, QWidget* parent)
{
    auto* label = new QLabel(parent);
    const QIcon icon = symbolIcon(systemImage, 12);
    if (icon.isNull()) {
        label->setText(fallback);
    } else {
        label->setPixmap(icon.pixmap(12, 12));
    }
    return label;
}

int sliderPosition(double value)
{
    if (!std::isfinite(value)) {
        return 0;
    }
    const double clamped = std::clamp(
        value, MenuBarItemVerticalAlignmentSetting::minimum, MenuBarItemVerticalAlignmentSetting::maximum);
    return static_cast<int>(std::lround(clamped / MenuBarItemVerticalAlignmentSetting::step));
}

} // namespace

MenuBarItemVerticalAlignmentSetting::MenuBarItemVerticalAlignmentSetting(
    const Defaults::Key<std::optional<double>>& value, QWidget* parent)
    : QWidget(parent)
    , m_observable(new Defaults::Observable<std::optional<double>>(value, this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    auto* sliderRow = new QHBoxLayout;
    auto* label = new QLabel(tr("Vertical text alignment:"), this);
    m_slider = new QSlider(Qt::Horizontal, this);
    // Nine positions: -2 to 2 in steps of 0.5.
    m_slider->setRange(sliderPosition(minimum), sliderPosition(maximum));
    m_slider->setSingleStep(1);
    m_slider->setPageStep(1);
    m_slider->setTickPosition(QSlider::TicksBelow);
    m_slider->setTickInterval(1);
    m_slider->setMinimumWidth(50);
    label->setBuddy(m_slider);
    // The label is read whole; the slider gives way.
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    sliderRow->addWidget(label);
    sliderRow->addWidget(symbolLabel("arrow.down", QStringLiteral("↓"), this));
    sliderRow->addWidget(m_slider, 1);
    sliderRow->addWidget(symbolLabel("arrow.up", QStringLiteral("↑"), this));
    layout->addLayout(sliderRow, 1);

    m_help = new InfoPopoverButton(320,
        tr("Some system trays show the text beside the icon slightly off centre. This setting lets you "
           "move it up or down where the tray shows the text inside the icon."),
        this);
    layout->addWidget(m_help);

    refresh();
    connect(m_slider, &QSlider::valueChanged, this, [this](int position) {
        const double newValue = position * step;
        if (m_observable->value() != std::optional<double>(newValue)) {
            m_observable->setValue(newValue);
        }
    });
    connect(m_observable, &Defaults::ObservableBase::objectWillChange, this,
        &MenuBarItemVerticalAlignmentSetting::refresh, Qt::QueuedConnection);
}

double MenuBarItemVerticalAlignmentSetting::shownValue() const
{
    return m_slider->value() * step;
}

void MenuBarItemVerticalAlignmentSetting::refresh()
{
    const int position = sliderPosition(m_observable->value().value_or(0.0));
    if (m_slider->value() != position) {
        // Showing the stored value writes nothing back.
        const QSignalBlocker blocker(m_slider);
        m_slider->setValue(position);
    }
}

} // namespace zk
