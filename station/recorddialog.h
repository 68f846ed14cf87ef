#pragma once

#include "records/linerecords.h"

#include <QDialog>
#include <QList>

class QStackedWidget;
class QTableWidget;

// One checkout as the station shows it: the verdict first, in large, with what went wrong in
// the operator's words, then the whole record as its certificate prints it. The reader's
// history (its checkouts and repairs at every station) is a table in the same window, with a
// button back to the record.
class RecordDialog : public QDialog
{
    Q_OBJECT

public:
    // The record as the records give it: never without its repair.
    explicit RecordDialog(const RecordFile &file, QWidget *parent = nullptr);

    void showHistory();
    void showRecord();

private:
    QWidget *recordPage(const RecordFile &file);
    QWidget *historyPage(const ReaderRecord &record, const QList<ReaderEvent> &history);

    QStackedWidget *m_pages = nullptr;
};
