#include "platform/linux/PanelSampler.h"

#include "platform/linux/PanelColourSources.h"
#include "platform/linux/XfcePanelSettings.h"

#include <QGuiApplication>
#include <QScreen>

namespace platform {

PanelSampler::PanelSampler(std::function<bool()> canLook, std::function<bool()> look, QObject* parent)
    : QObject(parent)
    , m_canLook(std::move(canLook))
    , m_look(std::move(look))
{
    m_delay.setSingleShot(true);
    m_delay.setInterval(panelSamplingDelayMilliseconds);
    connect(&m_delay, &QTimer::timeout, this, &PanelSampler::lookNow);
    // A screen that comes, goes or changes its size or its panels (their struts) may put the item
    // on another panel.
    for (QScreen* screen : QGuiApplication::screens()) {
        followScreen(screen);
    }
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
        followScreen(screen);
        panelMayHaveChanged();
    });
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &PanelSampler::panelMayHaveChanged);
    // Xfce's panel changes its colour (its dark mode, its background, the theme) and tells only
    // its settings store.
    connect(
        &XfcePanelSettings::shared(), &XfcePanelSettings::changed, this, &PanelSampler::panelMayHaveChanged);
}

void PanelSampler::followScreen(QScreen* screen)
{
    connect(screen, &QScreen::geometryChanged, this, &PanelSampler::panelMayHaveChanged);
    connect(screen, &QScreen::availableGeometryChanged, this, &PanelSampler::panelMayHaveChanged);
}

bool PanelSampler::changesMoreThanTheTitle(
    const StatusItemAppearance& before, const StatusItemAppearance& after)
{
    StatusItemAppearance titled = before;
    titled.title = after.title;
    titled.toolTip = after.toolTip;
    return !(titled == after);
}

void PanelSampler::drawn(const StatusItemAppearance& appearance)
{
    const bool due = !m_drawn || m_missed || changesMoreThanTheTitle(*m_drawn, appearance);
    m_drawn = appearance;
    // The cheap tests first: a draw of the figure alone asks the X server nothing.
    if (appearance.visible && due) {
        lookSoon();
    }
}

void PanelSampler::panelMayHaveChanged()
{
    if (m_drawn && m_drawn->visible) {
        lookSoon();
    }
}

void PanelSampler::lookSoon()
{
    if (m_canLook()) {
        m_delay.start();
    }
}

void PanelSampler::lookNow()
{
    m_delay.stop();
    m_missed = !m_look();
}

} // namespace platform
