#pragma once

#include <QLibrary>
#include <QString>

#include <functional>

// A library of the system that a program loads the first time it wants it rather than at its
// start (LibpqApi, LibcryptoApi).
namespace LazyLibrary {

// Loads name.so.version (library, "the package that installs it") and lets resolve find the
// functions in it; resolve answers the name of a function the library lacks, null when it has
// them all. The reason the library cannot serve, empty when it can.
QString load(const QString &name, int version, const QString &library, const QString &package,
             const std::function<const char *(QLibrary &)> &resolve);

} // namespace LazyLibrary
