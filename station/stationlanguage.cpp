#include "station/stationlanguage.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace {

// Built into the program, so that a copied binary and the tests speak as the installed one.
const QString Folder = QStringLiteral(":/i18n");
const QString Name = QStringLiteral("vorn-station");

std::unique_ptr<QTranslator> &stationTranslator()
{
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

std::unique_ptr<QTranslator> &qtTranslator()
{
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

} // namespace

QStringList StationLanguage::translated()
{
    QStringList languages;
    const QString prefix = Name + QLatin1Char('_');
    for (const QString &file :
         QDir(Folder).entryList({prefix + QStringLiteral("*.qm")}, QDir::Files, QDir::Name))
        languages.append(file.mid(prefix.size()).chopped(3));
    return languages;
}

QLocale StationLanguage::chosen(const QString &language)
{
    return language.isEmpty() ? QLocale::system() : QLocale(language);
}

bool StationLanguage::install(const QLocale &locale)
{
    uninstall();
    auto station = std::make_unique<QTranslator>();
    if (!station->load(locale, Name, QStringLiteral("_"), Folder))
        return false; // English, the texts' own language
    QCoreApplication::installTranslator(station.get());
    stationTranslator() = std::move(station);
    // Figures as the operator writes them (95,2 % in German).
    QLocale::setDefault(locale);
    // The file dialog's and the message boxes' own buttons, where Debian's Qt translations are
    // installed; without them those few words stay English.
    auto qt = std::make_unique<QTranslator>();
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt.get());
        qtTranslator() = std::move(qt);
    }
    return true;
}

void StationLanguage::uninstall()
{
    QLocale::setDefault(QLocale::system());
    for (std::unique_ptr<QTranslator> *translator : {&stationTranslator(), &qtTranslator()}) {
        if (*translator)
            QCoreApplication::removeTranslator(translator->get());
        translator->reset();
    }
}
