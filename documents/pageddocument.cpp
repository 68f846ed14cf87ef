#include "documents/pageddocument.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextFrame>
#include <QTextTable>

#include <algorithm>
#include <cmath>

namespace {

// Where a cell's text begins and ends on the laid-out document.
std::pair<qreal, qreal> cellExtent(const QTextDocument &document, const QTextTableCell &cell)
{
    QAbstractTextDocumentLayout *layout = document.documentLayout();
    const QRectF first = layout->blockBoundingRect(cell.firstCursorPosition().block());
    const QRectF last = layout->blockBoundingRect(cell.lastCursorPosition().block());
    return {first.top(), last.bottom()};
}

} // namespace

PagedDocument::PagedDocument(const QSizeF &page, const Html &html) : m_page(page)
{
    m_document.setDocumentMargin(0);
    m_document.setPageSize(page);
    QList<int> breaks;
    m_document.setHtml(html(breaks));
    // One row moved a time: the rows after it move with it. A row taller than a page stays cut.
    for (int row = firstCutRow(); row >= 0 && !breaks.contains(row); row = firstCutRow()) {
        breaks.append(row);
        m_document.setHtml(html(breaks));
    }
}

int PagedDocument::pageCount() const
{
    return m_document.pageCount();
}

void PagedDocument::drawPage(QPainter &painter, int index)
{
    painter.save();
    painter.translate(0, -index * m_page.height());
    // A little wider than the page: a table's right border stands on its edge.
    constexpr qreal Border = 2;
    m_document.drawContents(&painter, QRectF(-Border, index * m_page.height(),
                                             m_page.width() + 2 * Border, m_page.height()));
    painter.restore();
}

int PagedDocument::firstCutRow() const
{
    const auto pageOf = [this](qreal y) { return int(std::floor(y / m_page.height())); };
    int counted = 0;
    for (QTextFrame *frame : m_document.rootFrame()->childFrames()) {
        const auto *table = qobject_cast<QTextTable *>(frame);
        const int header = table ? table->format().headerRowCount() : 0;
        if (header == 0)
            continue;
        for (int row = header; row < table->rows(); ++row, ++counted) {
            qreal top = 0;
            qreal bottom = 0;
            for (int column = 0; column < table->columns(); ++column) {
                const auto [cellTop, cellBottom] =
                    cellExtent(m_document, table->cellAt(row, column));
                top = column == 0 ? cellTop : std::min(top, cellTop);
                bottom = std::max(bottom, cellBottom);
            }
            // The small overlap of rounding is no cut.
            if (pageOf(top) != pageOf(bottom - 0.5))
                return counted;
        }
    }
    return -1;
}
