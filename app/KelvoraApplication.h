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
};
