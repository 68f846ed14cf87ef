#pragma once

#include <QList>
#include <QSizeF>
#include <QTextDocument>

#include <functional>

class QPainter;

// Rich text laid out on pages of one size, so that no row of a table with a header row crosses
// a page's foot: such a row is moved whole to the top of the next page, where its table goes on
// under its header row again. Text lays out line by line; a row of several cells would otherwise
// be cut between two pages.
class PagedDocument
{
public:
    // The HTML with a page begun before each of the rows in breaks: the body rows of the tables
    // with a header row, counted from 0 across those tables in the order they stand.
    using Html = std::function<QString(const QList<int> &breaks)>;

    PagedDocument(const QSizeF &page, const Html &html);

    int pageCount() const;
    // Draws page index (from 0) with its top left at the painter's origin.
    void drawPage(QPainter &painter, int index);

private:
    // The first body row whose top and bottom lie on different pages, or -1.
    int firstCutRow() const;

    QSizeF m_page;
    QTextDocument m_document;
};
