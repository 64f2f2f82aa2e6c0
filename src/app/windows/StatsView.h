#pragma once

#include "kit/foundation/core/Duration.h"

#include <QWidget>

#include <optional>
#include <vector>

class QGridLayout;
class QLabel;

namespace kiruvo {

class SessionController;

// The History window's summary of the stored history in six labelled figures: "Days:", "Total
// today", "Total yesterday", "7-day average", "Weekday average" and "All-time average". Every
// figure is one of the engine's queries; the view only picks the question and writes the answer.
// The labels share one column, right-aligned, so the values start in one line.
//
// The figures are asked again by refresh(), which the window calls when the history changes.
//
// Main-thread only.
class StatsView : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* notAvailableText = "Not available";

    explicit StatsView(SessionController& controller, QWidget* parent = nullptr);

    void refresh();

    // The width the six labels share, right-aligned in it.
    int labelWidth() const;
    // The six rows as shown: label and value.
    std::vector<std::pair<QString, QString>> rows() const;

private:
    // A label ending in ":" and its value, semibold; without a value "Not available" in the
    // secondary style.
    void statsRow(int row, const QString& title, std::optional<zk::Duration> value);
    void setRow(int row, const QString& label, const QString& value, bool available);

    SessionController& m_controller;
    QGridLayout* m_grid;
    std::vector<std::pair<QLabel*, QLabel*>> m_rows;
};

} // namespace kiruvo
