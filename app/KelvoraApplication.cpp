#include "KelvoraApplication.h"

#include "Messages.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <clocale>
#include <exception>

KelvoraApplication::KelvoraApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // The title of plain message boxes and the name the desktop shows.
    setApplicationDisplayName(QStringLiteral("Kelvora"));
    useProgramLocale();
}

void KelvoraApplication::useProgramLocale()
{
    // The program speaks Russian: its dates and sums too, also on a machine set up in another
    // language, where the toolkit's default would write "10 Dec 2026" and "1263.15".
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    // The toolkit has just taken the whole C locale from the environment. Numbers the program
    // and its libraries write into files and statements (the spreadsheet library formats them
    // with printf) keep the decimal point of the C locale whatever the user's is; what the
    // operator sees is formatted by QLocale, which this does not touch.
    std::setlocale(LC_NUMERIC, "C");
}

bool KelvoraApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        Messages::error(QString::fromUtf8(e.what()));
    } catch (...) {
        Messages::error(QStringLiteral("Непредвиденная ошибка"));
    }
    return false;
}

void KelvoraApplication::loadTranslations()
{
    auto* qtBase = new QTranslator(this);
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (qtBase->load(QStringLiteral("qtbase_ru"), dir) ||
        qtBase->load(QStringLiteral("qtbase_ru"),
                     applicationDirPath() + QStringLiteral("/translations")))
        installTranslator(qtBase);
}
