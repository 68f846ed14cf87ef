#include "store/lazylibrary.h"

namespace LazyLibrary {

QString load(const QString &name, int version, const QString &library, const QString &package,
             const std::function<const char *(QLibrary &)> &resolve)
{
    // Kept loaded for the rest of the process: a QLibrary that goes out of scope leaves the
    // library loaded unless asked to unload it.
    QLibrary loaded(name, version);
    if (!loaded.load())
        return QStringLiteral("%1 is not installed (Debian package %2): %3")
            .arg(library, package, loaded.errorString());
    if (const char *missing = resolve(loaded))
        return QStringLiteral("%1 lacks %2").arg(library, QLatin1String(missing));
    return {};
}

} // namespace LazyLibrary
