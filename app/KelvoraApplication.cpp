#include "KelvoraApplication.h"

#include "Messages.h"

#include <QLibraryInfo>
#include <QTranslator>

#include <exception>

KelvoraApplication::KelvoraApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // The title of plain message boxes and the name the desktop shows.
    setApplicationDisplayName(QStringLiteral("Kelvora"));
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
