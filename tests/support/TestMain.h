// The entry of a test suite: the application object, then the numeric locale as the program
// keeps it, so every suite runs as the program does in the user's locale.
#pragma once

#include <QLocale>
#include <QTest>

#include <clocale>

/// As QTEST_MAIN, with numbers in files and statements written in the C locale (the program
/// sets LC_NUMERIC to "C" right after making its application object).
#define KELVORA_TEST_MAIN(TestObject)                                                              \
    QTEST_MAIN_WRAPPER(TestObject, QTEST_MAIN_SETUP() std::setlocale(LC_NUMERIC, "C");)

/// As QTEST_GUILESS_MAIN, with the same numeric locale.
#define KELVORA_TEST_GUILESS_MAIN(TestObject)                                                      \
    QTEST_MAIN_WRAPPER(TestObject,                                                                 \
                       QTEST_QAPP_SETUP(QCoreApplication) std::setlocale(LC_NUMERIC, "C");)

namespace test {

/// The operator's locale (Russian: decimal comma, 05.10.2026) as the default for as long as the
/// object lives, whatever locale the suite runs in.
struct RussianLocale
{
    RussianLocale() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    ~RussianLocale() { QLocale::setDefault(QLocale::system()); }
    Q_DISABLE_COPY_MOVE(RussianLocale)
};

} // namespace test
