// Program entry: busy window, data module, login, main window; or a command of the command line.
#include "app/CommandLine.h"
#include "app/Commands.h"
#include "app/KelvoraApplication.h"
#include "app/Messages.h"
#include "app/TPassForm.h"
#include "app/TWaitForm.h"
#include "app/TerminationSignal.h"
#include "data/TDM.h"
#include "db/EmbeddedEngine.h"
#include "ui/main/TMainForm.h"

#include <memory>

int main(int argc, char** argv)
{
    // A command runs with no window and no display (for cron and timers).
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (cli::IsCommandLine(arguments))
        return cli::Main(argc, argv);

    // The toolkit needs its application object before any window can exist.
    KelvoraApplication app(argc, argv);
    app.loadTranslations();
    Messages::reportDataFailures();

    // The busy window comes first, so the user sees something at once.
    auto wait = std::make_unique<TWaitForm>();
    wait->show();
    wait->repaint(); // the event loop is not running yet
    KelvoraApplication::processEvents();

    if (!db::EmbeddedEngine::prepare())
        Messages::error(QStringLiteral("Локальная база данных не может быть открыта другими "
                                       "программами одновременно с этой.\n") +
                        db::EmbeddedEngine::errorString());

    auto mainForm = std::make_unique<TMainForm>();
    std::unique_ptr<TDM> dm;
    // A logout or `kill` ends the program as "Выход" does: the windows close, the settings
    // are written when the data module goes.
    bool terminated = false;
    TerminationSignal termination;
    QObject::connect(&termination, &TerminationSignal::requested, &app, [&] {
        terminated = true;
        mainForm->close();
        KelvoraApplication::closeAllWindows();
        KelvoraApplication::quit();
    });
    try {
        dm = std::make_unique<TDM>();
        mainForm->setDataModule(*dm);
        wait->hide();
        // Before the login: without its settings file the program does not know the database.
        if (!dm->MainObject->LoadError.isEmpty())
            Messages::error(dm->MainObject->LoadError);
        {
            TPassForm pass(*dm);
            pass.exec();
        }
    } catch (const std::exception& e) {
        wait.reset();
        // The window goes before the data module it views.
        mainForm.reset();
        Messages::error(QString::fromUtf8(e.what()));
        return 1;
    }
    wait.reset();

    const int rc = terminated ? 0 : (mainForm->show(), KelvoraApplication::exec());
    // The window goes first: it holds views of the data module's queries.
    mainForm.reset();
    dm.reset();
    return rc;
}
