#pragma once

#include <QString>

// A module of the programs' own (lib/vorn-tool/NAME.so) that a program loads the first time it
// needs what the module holds, so that a program that never needs it never loads the libraries
// behind it: beside the program's own folder as it is built and installed (../lib/vorn-tool/),
// else where the installation put it. Each module is loaded once and kept for the life of the
// process.
namespace ProgramModule {

// The function symbol of module fileName (what names the module's part in the reason); null,
// with the reason in error, when the module is not there or cannot be loaded.
QFunctionPointer resolve(const QString &fileName, const char *symbol, const QString &what,
                         QString *error);

} // namespace ProgramModule
