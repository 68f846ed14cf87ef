#pragma once

#include "checkout/checkoutoptions.h"
#include "publish/publishtarget.h"
#include "store/recordslocation.h"

#include <QString>
#include <QStringList>

#include <optional>

// vorn-station's command line: the ports of its tiles (--port, repeatable; else every port the
// system lists; --emulated adds the emulated readers), --auto, the checkout's options as
// vornctl checkout takes them, who checks which lot, and where the records go. Parsed before any
// window exists, so that --help, --version and a usage error work without a display.
struct StationCommandLine
{
    QStringList ports; // the tiles, in order; the system's ports are looked up by the caller
    bool portsGiven = false;
    bool emulated = false;
    bool autoCheck = false;
    CheckoutOptions options;
    bool planGiven = false;
    QString station; // empty: the host name
    // --operator and --lot: nothing when not given (the window then shows the ones it kept).
    std::optional<QString> operatorName;
    std::optional<QString> lot;
    RecordsLocation records; // --records, else VORN_RECORDS, else the default file

    // The line's message bus: --publish, else VORN_PUBLISH, and --cfx-handle (empty:
    // Vorn.Station.<station>).
    std::optional<PublishTarget> publish;
    QString cfxHandle;

    // Nothing when the program should end at once (help, version or a usage error, which is
    // exit code 2); exitCode then says how. environmentRecords is VORN_RECORDS.
    static std::optional<StationCommandLine>
    parse(const QStringList &arguments, const QString &environmentRecords, int &exitCode);
};
