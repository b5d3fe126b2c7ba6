// The application object: reports errors that no window caught, and goes on.
#pragma once

#include <QApplication>

class KelvoraApplication : public QApplication
{
    Q_OBJECT
public:
    KelvoraApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    /// Russian texts for the toolkit's own buttons and dialogs.
    void loadTranslations();

    /// The program's formats, right after the application object is made, for the windows and
    /// the commands alike: dates, times and sums as a Russian reader writes them whatever the
    /// environment's locale (a command started by cron has none), and the numbers written into
    /// files and statements with the C locale's decimal point.
    static void useProgramLocale();
};
