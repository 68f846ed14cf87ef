#pragma once

#include "checkout/checkoutrecord.h"
#include "records/recordslocation.h"

#include <QGroupBox>
#include <QString>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
struct RecordSummary;

// The recent checkouts of this station as the records store keeps them, newest first: time,
// serial number, model, outcome and the failed steps, narrowed by a serial-number field that is
// kept between runs. A double-click shows the whole record; "Certificate…" saves its PDF.
class RecordsPanel : public QGroupBox
{
    Q_OBJECT

public:
    static constexpr int ShownRecords = 200;

    RecordsPanel(RecordsLocation location, QString station, QWidget *parent = nullptr);

    // How a tile keeps its record where the panel reads it: the record keeper, which puts
    // what the database does not take now into the outbox. Safe on any thread; returns the
    // keeper's warnings.
    static std::function<QString(const ReaderRecord &)> keeper(const RecordsLocation &location);

    // Reads the list again, as after a checkout was kept.
    void refresh();
    // The id of the selected checkout, or nothing.
    QString selectedId() const;
    // Writes the certificate of the selected checkout; false with the reason shown.
    bool saveCertificate(const QString &path);
    // Opens the whole record of a checkout in a window of its own; nothing when not found.
    QWidget *showRecord(const QString &id);

private:
    void buildLayout();
    void filterChanged(const QString &text);
    void chooseCertificateFile();
    void showStatus(const QString &text);
    static QTreeWidgetItem *itemFor(const RecordSummary &summary);

    const RecordsLocation m_location;
    const QString m_station;
    QLineEdit *m_filter = nullptr;
    QTreeWidget *m_list = nullptr;
    QPushButton *m_certificate = nullptr;
    QLabel *m_status = nullptr;
};
