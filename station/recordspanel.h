#pragma once

#include <QGroupBox>
#include <QString>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class ScanField;
class StationRecords;
struct CertificateResult;
struct KeepResult;
struct ListResult;
struct ReadResult;
struct RecordSummary;

// The recent checkouts of this station as the records store keeps them, newest first: time,
// serial number, model, outcome and the failed steps, narrowed by a serial-number field. A
// double-click shows the whole record; "Certificate…" saves its PDF. It only shows: every read and
// write is a request to the station's records thread, answered later, so a slow database never
// holds up the window.
class RecordsPanel : public QGroupBox
{
    Q_OBJECT

public:
    static constexpr int ShownRecords = 200;

    RecordsPanel(StationRecords &records, QString station, QWidget *parent = nullptr);

    // Asks for the list again, as after a checkout was kept.
    void refresh();
    // The id of the selected checkout, or nothing.
    QString selectedId() const;
    // Asks for the certificate of the selected checkout; certificateSaved() tells how it went,
    // and the panel shows it.
    void saveCertificate(const QString &path);
    // Asks for the whole record of a checkout, shown in a window of its own once read.
    void showRecord(const QString &id);

signals:
    void certificateSaved(const QString &path, bool written);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void buildLayout();
    void filterChanged();
    void chooseCertificateFile();
    void showList(const ListResult &result);
    void showReadRecord(const ReadResult &result);
    void certificateWritten(const CertificateResult &result);
    void recordKept(const KeepResult &result);
    void showAnswering();
    void showStatus(const QString &text);
    static QTreeWidgetItem *itemFor(const RecordSummary &summary);

    StationRecords &m_records;
    const QString m_station;
    ScanField *m_filter = nullptr;
    QTreeWidget *m_list = nullptr;
    QPushButton *m_certificate = nullptr;
    QLabel *m_server = nullptr;
    QLabel *m_status = nullptr;
};
