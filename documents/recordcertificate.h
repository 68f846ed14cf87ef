#pragma once

#include "checkout/checkoutrecord.h"
#include "checkout/repairrecord.h"

#include <QByteArray>
#include <QString>

// The test certificate of one checkout: an A4 PDF of as many pages as it needs. The first opens
// with the verdict in a box (the failed steps with their reasons, what was not performed, the
// repair), then the reader's identity, station, date and plan, then every step with its outcome,
// measured values and limits. Every page names the record and its number among the pages.
// Drawn with QtGui alone; it needs a QGuiApplication but no display (the offscreen platform).
namespace RecordCertificate {

// The certificate's text as HTML, as QTextDocument lays it out (the station shows it as it is);
// a reader that passed after a repair has the repair named; keptHash, the hash the records keep
// with it, is printed for an auditor to check with `vornctl records verify ID --hash HASH` (none
// for a record kept before chaining).
QString html(const ReaderRecord &record, const std::optional<RepairRecord> &repair = {},
             const QString &keptHash = {});
// Writes the PDF to path; false with the reason in error.
bool write(const ReaderRecord &record, const QString &path, QString *error,
           const std::optional<RepairRecord> &repair = {}, const QString &keptHash = {});
// "certificate-001234-2026-12-07.pdf" (serialText empty: "unidentified"): the name a
// certificate is offered under, which tells certificates apart by reader and day (UTC).
QString fileName(const QString &serialText, const QDateTime &started);
// The PDF itself, for a caller that sends it on rather than keeping a file.
QByteArray pdf(const ReaderRecord &record, const std::optional<RepairRecord> &repair = {},
               const QString &keptHash = {});

} // namespace RecordCertificate
