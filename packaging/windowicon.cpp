#include "packaging/windowicon.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPixmap>

QIcon WindowIcon::of(const QString &name)
{
    QIcon icon;
    for (const QFileInfo &picture : QDir(QStringLiteral(":/icons/") + name).entryInfoList()) {
        // Read as the PNG it is: a reader left to tell the format first loads every image
        // plugin installed (SVG, JPEG, GIF, ICO, with Qt SVG and libjpeg) to ask each, half a
        // megabyte at the window's start for pictures it can read itself.
        QImageReader reader(picture.filePath(), "png");
        reader.setAutoDetectImageFormat(false);
        const QImage image = reader.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}
