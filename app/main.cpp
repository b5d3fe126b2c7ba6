// Program entry: busy window, data module, login, main window.
#include "app/KelvoraApplication.h"
#include "app/Messages.h"
#include "app/TPassForm.h"
#include "app/TWaitForm.h"
#include "data/TDM.h"
#include "ui/main/TMainForm.h"

#include <memory>

int main(int argc, char** argv)
{
    // The toolkit needs its application object before any window can exist.
    KelvoraApplication app(argc, argv);
    app.loadTranslations();

    auto wait = std::make_unique<TWaitForm>();
    auto mainForm = std::make_unique<TMainForm>();
    std::unique_ptr<TDM> dm;
    try {
        wait->show();
        wait->repaint(); // the event loop is not running yet
        KelvoraApplication::processEvents();
        dm = std::make_unique<TDM>();
        mainForm->setDataModule(*dm);
        wait->hide();
        {
            TPassForm pass(*dm);
            pass.exec();
        }
    } catch (const std::exception& e) {
        wait.reset();
        Messages::error(QString::fromUtf8(e.what()));
        return 1;
    }
    wait.reset();

    mainForm->show();
    const int rc = KelvoraApplication::exec();
    // The window goes first: it holds views of the data module's queries.
    mainForm.reset();
    dm.reset();
    return rc;
}
