// The start every suite of windows shares: the program's name, for the settings and folders
// the windows find by it, and the message boxes answered and recorded instead of shown, afresh
// before each test.
#pragma once

#include "app/Messages.h"

#include <QCoreApplication>
#include <QObject>

namespace test {

class WindowSuite : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setApplicationName(QStringLiteral("kelvora")); }
    void init() { Messages::setTestMode(true); }
};

} // namespace test
