#pragma once

class QWidget;

namespace zk {

// The application font's point size, and the small size of help texts and section headers (11/13 of
// it), each read once, on first use, and kept for the process.
double systemFontSize();
double smallSystemFontSize();

// The look of help texts under settings: the system font at `fontSize` points (scaled with the
// desktop's font size, which the application font already follows), regular weight, in the
// palette's secondary text colour (see secondaryTextColor), which follows the colour scheme.
class SecondaryTextStyleModifier {
public:
    explicit SecondaryTextStyleModifier(double fontSize = smallSystemFontSize());

    double fontSize() const { return m_fontSize; }
    void apply(QWidget& widget) const;

private:
    double m_fontSize;
};

} // namespace zk
