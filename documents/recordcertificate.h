#pragma once

#include "checkout/checkoutrecord.h"
#include "checkout/repairrecord.h"

#include <QByteArray>
#include <QString>

// The test certificate of one checkout: a one-page PDF with the reader's identity, the
// station, the date, every step with its outcome, measured value and limits, and the verdict.
// Drawn with QtGui alone; it needs a QGuiApplication but no display (the offscreen platform).
namespace RecordCertificate {

// The page as HTML, as QTextDocument lays it out; a reader that passed after a repair has the
// repair named; keptHash, the hash the records keep with it, is printed for an auditor to check
// with `vornctl records verify ID --hash HASH` (none for a record kept before chaining).
QString html(const ReaderRecord &record, const std::optional<RepairRecord> &repair = {},
             const QString &keptHash = {});
// Writes the PDF to path; false with the reason in error.
bool write(const ReaderRecord &record, const QString &path, QString *error,
           const std::optional<RepairRecord> &repair = {}, const QString &keptHash = {});
// The PDF itself, for a caller that sends it on rather than keeping a file.
QByteArray pdf(const ReaderRecord &record, const std::optional<RepairRecord> &repair = {},
               const QString &keptHash = {});

} // namespace RecordCertificate
