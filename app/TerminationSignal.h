// Turns the system's request to end the program (a session logout, `kill`) into a signal of the
// event loop, so the program ends as "Выход" does.
#pragma once

#include <QObject>

class QSocketNotifier;

class TerminationSignal : public QObject
{
    Q_OBJECT
public:
    /// Catches SIGTERM, SIGHUP and SIGINT where the system has them (one object at a time);
    /// elsewhere does nothing.
    explicit TerminationSignal(QObject* parent = nullptr);
    ~TerminationSignal() override;

signals:
    /// Emitted in the event loop once per request.
    void requested();

private:
    void readRequest();

    QSocketNotifier* m_notifier = nullptr;
};
