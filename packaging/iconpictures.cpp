// vorn-icon-pictures SVG OUTPUT SIZE: draws the SVG icon as a SIZE x SIZE PNG at build time, with
// Qt's own SVG image plugin, so that a window carries its icon as pictures and never loads Qt's
// SVG library to draw it at its start.
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Drawn without a screen: the build may run where no display is.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QStringList arguments = QGuiApplication::arguments();
    bool number = false;
    const int size = arguments.value(3).toInt(&number);
    if (arguments.size() != 4 || !number || size < 1) {
        std::fprintf(stderr, "usage: vorn-icon-pictures SVG OUTPUT SIZE\n");
        return 2;
    }
    QImageReader reader(arguments.at(1), "svg");
    reader.setScaledSize(QSize(size, size));
    const QImage picture = reader.read();
    if (picture.isNull()) {
        std::fprintf(stderr, "vorn-icon-pictures: cannot draw %s: %s (Debian: libqt6svg6)\n",
                     qPrintable(arguments.at(1)), qPrintable(reader.errorString()));
        return 1;
    }
    QImageWriter writer(arguments.at(2), "png");
    if (!writer.write(picture)) {
        std::fprintf(stderr, "vorn-icon-pictures: cannot write %s: %s\n",
                     qPrintable(arguments.at(2)), qPrintable(writer.errorString()));
        return 1;
    }
    return 0;
}
