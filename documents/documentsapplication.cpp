#include "documents/documentsapplication.h"

#include <QGuiApplication>

std::unique_ptr<QCoreApplication> DocumentsApplication::make(int &argc, char **argv,
                                                             bool drawsDocuments)
{
    if (!drawsDocuments)
        return std::make_unique<QCoreApplication>(argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a session (cron, CI, a service) Qt would remark on the missing runtime folder,
    // which a PDF never uses.
    static const QtMessageHandler standard = qInstallMessageHandler(nullptr);
    qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
            if (!message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
                standard(type, context, message);
        });
    return std::make_unique<QGuiApplication>(argc, argv);
}
