#include "app/windows/Truncating.h"

#include <QRegularExpression>
#include <QTextBoundaryFinder>

#include <vector>

namespace kiruvo {

namespace {

// Where each character (grapheme cluster) starts, and the text's end.
std::vector<qsizetype> characterBoundaries(const QString& text)
{
    std::vector<qsizetype> boundaries;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype position = 0; position >= 0; position = finder.toNextBoundary()) {
        boundaries.push_back(position);
        if (position >= text.size()) {
            break;
        }
    }
    if (boundaries.empty() || boundaries.back() != text.size()) {
        boundaries.push_back(text.size());
    }
    return boundaries;
}

qsizetype characterCount(const std::vector<qsizetype>& boundaries)
{
    return static_cast<qsizetype>(boundaries.size()) - 1;
}

// Whether a character is one Unicode scalar that is a punctuation mark.
bool isSinglePunctuation(QStringView character)
{
    const auto scalars = character.toUcs4();
    return scalars.size() == 1 && QChar::isPunct(scalars[0]);
}

} // namespace

QString truncating(const QString& text, int maxLength, const QString& truncationIndicator)
{
    if (maxLength < 1) {
        return {};
    }
    const auto boundaries = characterBoundaries(text);
    if (characterCount(boundaries) <= maxLength) {
        return text;
    }
    const auto indicatorBoundaries = characterBoundaries(truncationIndicator);
    const qsizetype indicatorLength = characterCount(indicatorBoundaries);
    if (indicatorLength >= maxLength) {
        return truncationIndicator.left(indicatorBoundaries[static_cast<std::size_t>(maxLength)]);
    }
    const auto kept = static_cast<std::size_t>(maxLength - indicatorLength);
    QString prefix = text.left(boundaries[kept]);
    if (kept > 0) {
        const QStringView last = QStringView(prefix).mid(boundaries[kept - 1]);
        if (isSinglePunctuation(last)) {
            prefix.truncate(boundaries[kept - 1]);
        }
    }
    static const QRegularExpression trailingSpace(
        QStringLiteral("\\s+$"), QRegularExpression::UseUnicodePropertiesOption);
    prefix.remove(trailingSpace);
    return prefix + truncationIndicator;
}

} // namespace kiruvo
