#include "publish/amqpmodule.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QStringList>

#include <mutex>

namespace AmqpModule {

namespace {

QStringList candidates()
{
    const QString fileName = QStringLiteral("libvorn-amqp.so");
    // The program's own folder, read from the kernel: vornctl looks before it has an
    // application object.
    const QString programFolder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    return {QDir::cleanPath(programFolder + QStringLiteral("/../lib/vorn-tool/") + fileName),
            QStringLiteral(VORN_AMQP_MODULE_DIR "/") + fileName};
}

} // namespace

AmqpSenderFactory senderFactory(QString *error)
{
    static AmqpSenderFactory factory = nullptr;
    static QString failure;
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        QStringList tried;
        for (const QString &path : candidates()) {
            if (!QFileInfo::exists(path)) {
                tried.append(path);
                continue;
            }
            QLibrary module(path);
            factory = reinterpret_cast<AmqpSenderFactory>(module.resolve(AmqpSenderFactoryName));
            if (factory)
                return;
            failure = QStringLiteral("its AMQP client %1 could not be loaded: %2")
                          .arg(path, module.errorString());
            return;
        }
        failure = QStringLiteral("its AMQP client libvorn-amqp.so is not installed (looked "
                                 "for %1)")
                      .arg(tried.join(QStringLiteral(", ")));
    });
    if (!factory && error)
        *error = failure;
    return factory;
}

} // namespace AmqpModule
