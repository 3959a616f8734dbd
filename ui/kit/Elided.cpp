#include "ui/kit/Elided.h"

#include <QFontMetricsF>
#include <QTextBoundaryFinder>

namespace lunorvale {

QString elidedRight(const QFontMetricsF& metrics, const QString& text, qreal width) {
    const QString ellipsis = QStringLiteral("…");
    QString shown = metrics.elidedText(text, Qt::ElideRight, width);
    if (text.isEmpty() || (!shown.isEmpty() && shown != ellipsis) || text == ellipsis)
        return shown;
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, text);
    const qsizetype clusterEnd = clusters.toNextBoundary();
    // The base letter, then its marks one by one while they fit.
    qsizetype kept = text.at(0).isHighSurrogate() && text.size() > 1 ? 2 : 1;
    while (kept < clusterEnd) {
        const qsizetype next = kept + (text.at(kept).isHighSurrogate() && kept + 1 < clusterEnd ? 2 : 1);
        if (metrics.horizontalAdvance(text.left(next) + ellipsis) > width)
            break;
        kept = next;
    }
    return text.left(kept) + ellipsis;
}

} // namespace lunorvale
