#include "kit/interface/RichText.h"

#include <QApplication>
#include <QTextBlock>
#include <QTextCursor>

namespace zk {

std::unique_ptr<QTextDocument> withColor(const QTextDocument& text, const QColor& color)
{
    std::unique_ptr<QTextDocument> copy(text.clone());
    QTextCursor cursor(copy.get());
    cursor.select(QTextCursor::Document);
    QTextCharFormat format;
    format.setForeground(color);
    cursor.mergeCharFormat(format);
    return copy;
}

void setFontSize(QTextDocument& text, double pointSize)
{
    // Walk the runs (fragments) and give each its own font at the new size; collected first, as
    // changing formats splits and merges the fragments being walked.
    struct Run {
        int start;
        int length;
        QTextCharFormat format;
    };
    std::vector<Run> runs;
    for (QTextBlock block = text.begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            const QTextFragment piece = fragment.fragment();
            runs.push_back({ piece.position(), piece.length(), piece.charFormat() });
        }
    }
    for (const Run& run : runs) {
        QFont font
            = run.format.hasProperty(QTextFormat::FontFamilies) ? run.format.font() : QApplication::font();
        font.setPointSizeF(pointSize);
        QTextCursor cursor(&text);
        cursor.setPosition(run.start);
        cursor.setPosition(run.start + run.length, QTextCursor::KeepAnchor);
        QTextCharFormat format;
        format.setFont(font);
        cursor.mergeCharFormat(format);
    }
}

} // namespace zk
