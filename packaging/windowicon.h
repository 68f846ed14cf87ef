#pragma once

#include <QIcon>
#include <QString>

// A window's icon from the pictures drawn of its SVG when the program was built (resources
// under /icons/NAME/SIZE.png), at every size there is.
class WindowIcon
{
public:
    static QIcon of(const QString &name);
};
