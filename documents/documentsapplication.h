#pragma once

#include <QCoreApplication>

#include <memory>

// The application object of a program, made for what it does: one that draws a document (a
// certificate, a yield report's PDF) needs fonts, so a QGuiApplication, but never a screen: it
// runs on the offscreen platform, the same over ssh, in a terminal, as a service and in CI. One
// that draws none is a plain QCoreApplication.
namespace DocumentsApplication {

std::unique_ptr<QCoreApplication> make(int &argc, char **argv, bool drawsDocuments);

} // namespace DocumentsApplication
