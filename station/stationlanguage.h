#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

class QTranslator;

// The language the station speaks to its operator: the one --language names, else the
// system's (LANGUAGE, LC_ALL, LC_MESSAGES, LANG), with English, the language of its texts, where
// no translation is shipped. Only what the operator reads changes: records, outputs and the
// command line's words stay as they are, so that every station and the dashboard read the same
// records.
class StationLanguage
{
public:
    // The languages shipped with the station besides English, as locale names ("de").
    static QStringList translated();

    // The locale of --language (empty: the system's).
    static QLocale chosen(const QString &language);
    // Installs the station's translation for locale, and Qt's own for its dialogs' standard
    // buttons; false when the station speaks English there (also for English itself).
    static bool install(const QLocale &locale);
    // Takes the translations out again: the station speaks English.
    static void uninstall();
};
