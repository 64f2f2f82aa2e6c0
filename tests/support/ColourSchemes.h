#pragma once

#include <QColor>
#include <QPalette>

// The colours of the Breeze schemes as KDE Plasma hands them to Qt applications. Neither sets the
// placeholder role, which keeps the light default (a dark grey) under Breeze Dark.
inline QPalette breezePalette(bool dark)
{
    const QColor window = dark ? QColor(32, 35, 38) : QColor(239, 240, 241);
    const QColor text = dark ? QColor(252, 252, 252) : QColor(35, 38, 41);
    const QColor base = dark ? QColor(20, 22, 24) : QColor(255, 255, 255);
    const QColor button = dark ? QColor(41, 44, 48) : QColor(252, 252, 252);
    QPalette palette(
        text, button, button.lighter(), button.darker(), button.darker(130), text, text, base, window);
    palette.setColor(
        QPalette::Disabled, QPalette::WindowText, dark ? QColor(110, 112, 114) : QColor(160, 162, 163));
    palette.setColor(
        QPalette::Disabled, QPalette::Text, dark ? QColor(110, 112, 114) : QColor(160, 162, 163));
    palette.setColor(QPalette::PlaceholderText, QColor(21, 23, 25));
    return palette;
}
