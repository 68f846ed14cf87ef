#include "app/windowfont.h"

#include <QApplication>
#include <QFontDatabase>
#include <QStringList>

namespace {

const QString family = QStringLiteral("Liberation Sans Narrow");

// Where fonts-liberation puts the regular face: loaded by path when fontconfig does not list
// the family, so that the window keeps its metrics wherever the package's files are.
const QString packagedFile =
    QStringLiteral("/usr/share/fonts/truetype/liberation/LiberationSansNarrow-Regular.ttf");

QString availableFamily()
{
    if (QFontDatabase::families().contains(family))
        return family;
    const int id = QFontDatabase::addApplicationFont(packagedFile);
    const QStringList loaded = QFontDatabase::applicationFontFamilies(id);
    return loaded.isEmpty() ? QString() : loaded.first();
}

} // namespace

QFont WindowFont::dialogFont()
{
    QFont font;
    const QString chosen = availableFamily();
    if (!chosen.isEmpty())
        font.setFamilies({chosen});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(PixelSize);
    // Full hinting, which some desktops ask for, snaps every glyph's advance to whole pixels
    // and widens "3,57 MHz" past its box; hinted only vertically, the texts keep the font's
    // own widths on every machine.
    font.setHintingPreference(QFont::PreferVerticalHinting);
    return font;
}

void WindowFont::applyToApplication()
{
    QApplication::setFont(dialogFont());
}
