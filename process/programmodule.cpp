#include "process/programmodule.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QMap>
#include <QMutex>
#include <QPair>
#include <QStringList>

namespace ProgramModule {

namespace {

QStringList candidates(const QString &fileName)
{
    // The program's own folder, read from the kernel: vornctl looks before it has an
    // application object.
    const QString programFolder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    return {QDir::cleanPath(programFolder + QStringLiteral("/../lib/vorn-tool/") + fileName),
            QStringLiteral(VORN_MODULE_DIR "/") + fileName};
}

struct Found
{
    QFunctionPointer function = nullptr;
    QString failure;
};

Found find(const QString &fileName, const char *symbol, const QString &what)
{
    QStringList tried;
    for (const QString &path : candidates(fileName)) {
        if (!QFileInfo::exists(path)) {
            tried.append(path);
            continue;
        }
        QLibrary module(path);
        if (QFunctionPointer function = module.resolve(symbol))
            return {function, {}};
        return {
            nullptr,
            QStringLiteral("%1 %2 could not be loaded: %3").arg(what, path, module.errorString())};
    }
    return {nullptr, QStringLiteral("%1 %2 is not installed (looked for %3)")
                         .arg(what, fileName, tried.join(QStringLiteral(", ")))};
}

} // namespace

QFunctionPointer resolve(const QString &fileName, const char *symbol, const QString &what,
                         QString *error)
{
    // Looked for once a process: a module that is missing stays missing until the program is
    // installed anew, and the answer is asked again at every publish or port opened.
    static QMutex lock;
    static QMap<QPair<QString, QByteArray>, Found> found;
    const QMutexLocker locked(&lock);
    const QPair<QString, QByteArray> key{fileName, QByteArray(symbol)};
    auto known = found.find(key);
    if (known == found.end())
        known = found.insert(key, find(fileName, symbol, what));
    if (!known->function && error)
        *error = known->failure;
    return known->function;
}

} // namespace ProgramModule
