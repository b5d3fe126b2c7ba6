// Start-up windows driven as a user would: the login, the message dialog, the busy window and
// the main window's first activation.
#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include "DemoData.h"
#include "app/Messages.h"
#include "app/TDlgForm.h"
#include "app/TPassForm.h"
#include "app/TWaitForm.h"
#include "data/TDM.h"
#include "ui/main/TMainForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <algorithm>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList messageTexts()
{
    QStringList out;
    for (const Messages::Shown& s : Messages::shown())
        out << s.text;
    return out;
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { Messages::setTestMode(true); }
    void emptyNameAsksForIt();
    void failedAttemptsThenSuccess();
    void rememberedCredentialsLogInWithEnter();
    void keysMoveFocusAndEscapeDoesNothing();
    void cancelLeavesTheSettingsFileAsItWas();
    void uncheckedRememberEmptiesTheNextStart();
    void messageDialogSizing_data();
    void messageDialogSizing();
    void messageDialogOfTwoLines();
    void messageDialogKeys();
    void busyWindowAndCursor();
    void mainWindowClosesWithoutALogin();
};

void TestStartup::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("kelvora"));
}

void TestStartup::emptyNameAsksForIt()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    t.writeIni(QStringLiteral("kelvora.ini"), QStringLiteral("[RemoteBD]\nName=") + t.path());
    TDM dm(t.dir());
    TPassForm form(dm);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(QApplication::focusWidget(), form.eUserName);
    QTest::mouseClick(form.bbOk, Qt::LeftButton);
    QCOMPARE(messageTexts(), QStringList{QStringLiteral("Запишите имя пользователя.")});
    QCOMPARE(Messages::shown()[0].kind, Messages::Kind::Plain);
    QVERIFY(dm.ibDatabase.params().isEmpty()); // no attempt was made
    QVERIFY(form.isVisible());
    QVERIFY(!dm.MainObject->Connected);
}

void TestStartup::failedAttemptsThenSuccess()
{
    test::TestDatabase t;
    QVERIFY(t.dir().size() > 0);
    const QString path = t.dir() + QStringLiteral("/later.fdb");
    t.writeIni(QStringLiteral("kelvora.ini"),
               QStringLiteral("[RemoteBD]\nName= \t") + path + QStringLiteral(" \n"));
    TDM dm(t.dir());
    TPassForm form(dm);
    QCOMPARE(dm.ibDatabase.databaseName(), path); // blanks and tabs trimmed
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // A name of blanks only is sent as it is.
    QTest::keyClicks(form.eUserName, QStringLiteral("  "));
    QTest::mouseClick(form.bbOk, Qt::LeftButton);
    QCOMPARE(messageTexts(), QStringList{QStringLiteral("Невозможно открыть базу данных !")});
    QCOMPARE(dm.ibDatabase.params().first(), QStringLiteral("user_name=  "));
    QVERIFY(!dm.MainObject->Connected);
    QCOMPARE(QApplication::focusWidget(), form.meUserPass); // the password is empty
    QVERIFY(form.isVisible());

    form.eUserName->setText(QStringLiteral("ivanov"));
    QTest::keyClicks(form.meUserPass, QStringLiteral("secret"));
    QTest::mouseClick(form.bbOk, Qt::LeftButton);
    QCOMPARE(Messages::shown().size(), 2);
    QCOMPARE(QApplication::focusWidget(), form.bbOk); // both filled: focus on "Ok"

    // The database appears (say, the server came back): the next attempt succeeds.
    {
        db::Database creator;
        demo::createDatabase(creator, path, demo::localParams());
    }
    form.eUserName->setText(QStringLiteral("Петров"));
    QTest::mouseClick(form.bbOk, Qt::LeftButton);
    QCOMPARE(Messages::shown().size(), 2);
    QVERIFY(dm.MainObject->Connected);
    QVERIFY(dm.ibDatabase.connected());
    QVERIFY(dm.ibTranRO.active());
    QCOMPARE(form.result(), 1);
    QVERIFY(!form.isVisible());
    QCOMPARE(dm.ibDatabase.params(),
             (QStringList{QStringLiteral("user_name=Петров"), QStringLiteral("password=secret"),
                          QStringLiteral("lc_ctype=win1251")}));
    QCOMPARE(dm.MainObject->User, QStringLiteral("Петров"));
    QCOMPARE(dm.MainObject->Pass, QStringLiteral("secret"));
}

void TestStartup::rememberedCredentialsLogInWithEnter()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    t.database().close();
    t.writeIni(
        QStringLiteral("kelvora.ini"),
        QStringLiteral("[RemoteBD]\nName=%1\n[Main]\nMemoryName=1\nUser=Иванова\nPass=12345\n")
            .arg(t.path()));
    TDM dm(t.dir());
    TPassForm form(dm);
    QVERIFY(form.cbMemoryName->isChecked());
    QCOMPARE(form.eUserName->text(), QStringLiteral("Иванова"));
    QCOMPARE(form.meUserPass->text(), QStringLiteral("12345"));
    {
        // A remembered password longer than ten characters is filled in whole.
        test::TestDatabase other;
        other.writeIni(QStringLiteral("kelvora.ini"),
                       QStringLiteral("[Main]\nMemoryName=1\nUser=u\nPass=a-long-password\n"));
        TDM otherDm(other.dir());
        TPassForm otherForm(otherDm);
        QCOMPARE(otherForm.meUserPass->text(), QStringLiteral("a-long-password"));
    }
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(QApplication::focusWidget(), form.bbOk);
    QTest::keyClick(form.bbOk, Qt::Key_Return);
    QVERIFY(dm.MainObject->Connected);
    QVERIFY(Messages::shown().isEmpty());
    QVERIFY(dm.MainObject->MemoryName);
}

void TestStartup::keysMoveFocusAndEscapeDoesNothing()
{
    test::TestDatabase t;
    t.writeIni(QStringLiteral("kelvora.ini"),
               QStringLiteral("[Main]\nMemoryName=0\nUser=stored\nPass=stored\n"));
    TDM dm(t.dir());
    TPassForm form(dm);
    QVERIFY(form.eUserName->text().isEmpty()); // not remembered: nothing is filled in
    QVERIFY(form.meUserPass->text().isEmpty());
    QVERIFY(!form.cbMemoryName->isChecked());
    QCOMPARE(form.meUserPass->echoMode(), QLineEdit::Password);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // Typing stops at ten characters.
    QTest::keyClicks(form.meUserPass, QStringLiteral("123456789012"));
    QCOMPARE(form.meUserPass->text(), QStringLiteral("1234567890"));
    form.meUserPass->clear();
    QTest::keyClicks(form.eUserName, QStringLiteral("user"));
    QTest::keyClick(form.eUserName, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), form.meUserPass);
    QTest::keyClick(form.meUserPass, Qt::Key_Enter);
    QCOMPARE(QApplication::focusWidget(), form.cbMemoryName);
    QTest::keyClick(form.cbMemoryName, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), form.bbOk);
    QTest::keyClick(form.bbOk, Qt::Key_Escape);
    QVERIFY(form.isVisible());
    QVERIFY(Messages::shown().isEmpty());
    // Enter on "Отменить" presses it.
    form.bbCancel->setFocus();
    QTest::keyClick(form.bbCancel, Qt::Key_Return);
    QVERIFY(!form.isVisible());
    QCOMPARE(form.result(), 2);
    // Labels name their inputs.
    for (QLabel* l : form.findChildren<QLabel*>())
        if (!l->text().isEmpty())
            QVERIFY(l->buddy() == form.eUserName || l->buddy() == form.meUserPass);
}

void TestStartup::cancelLeavesTheSettingsFileAsItWas()
{
    test::TestDatabase t;
    const QString ini = t.writeIni(
        QStringLiteral("kelvora.ini"),
        QStringLiteral("[RemoteBD]\nName=%1/missing.fdb\n[Main]\nMemoryName=1\nUser=Сидоров\n"
                       "Pass=x\n[Unknown]\nKey=value\n")
            .arg(t.dir()));
    const QByteArray before = readAll(ini);
    {
        TDM dm(t.dir());
        TPassForm form(dm);
        form.show();
        QTest::mouseClick(form.bbOk, Qt::LeftButton); // fails: no such database
        QVERIFY(form.isVisible());
        QTest::mouseClick(form.bbCancel, Qt::LeftButton);
        QCOMPARE(form.result(), 2);
        QVERIFY(!dm.MainObject->Connected);
    }
    QCOMPARE(readAll(ini), before);
}

void TestStartup::uncheckedRememberEmptiesTheNextStart()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    t.database().close();
    const QString ini =
        t.writeIni(QStringLiteral("kelvora.ini"),
                   QStringLiteral("[RemoteBD]\nName=%1\n[Main]\nMemoryName=1\nUser=a\nPass=b\n")
                       .arg(t.path()));
    {
        TDM dm(t.dir());
        TPassForm form(dm);
        form.show();
        QTest::mouseClick(form.cbMemoryName, Qt::LeftButton);
        QVERIFY(!form.cbMemoryName->isChecked());
        QTest::mouseClick(form.bbOk, Qt::LeftButton);
        QVERIFY(dm.MainObject->Connected);
    }
    TDM next(t.dir());
    QVERIFY(!next.MainObject->MemoryName);
    QVERIFY(next.MainObject->User.isEmpty());
    QVERIFY(readAll(ini).contains("[Main]\r\nMemoryName=0\r\nUser=\r\nPass=\r\n"));
    TPassForm form(next);
    QVERIFY(form.eUserName->text().isEmpty());
}

void TestStartup::messageDialogSizing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("buttons");
    QTest::newRow("short, one button") << "" << 1 << 1;
    QTest::newRow("short, two buttons") << "?" << 3 << 2;
    QTest::newRow("long, one button") << QString(120, u'Ш') << 0 << 1;
    QTest::newRow("no picture") << "Файл не найден !" << 5 << 1;
}

void TestStartup::messageDialogSizing()
{
    QFETCH(QString, text);
    QFETCH(int, kind);
    QFETCH(int, buttons);
    TDlgForm form(text, quint8(kind), quint8(buttons), QStringLiteral("Внимание !"));
    const int t = form.LabelAsk->fontMetrics().horizontalAdvance(text + QStringLiteral("  "));
    const int minimum = buttons == 1 ? 124 : 207;
    const int expected = std::max(t + 41 + 8 + 3, minimum);
    QCOMPARE(form.width(), expected);
    QCOMPARE(form.height(), 96);
    QCOMPARE(form.LabelAsk->x(), 44);
    QCOMPARE(form.LabelAsk->width(), expected - 44);
    QCOMPARE(form.LabelAsk->text(), text + QStringLiteral("  "));
    QCOMPARE(form.windowTitle(), QStringLiteral("Внимание !"));
    form.show();
    for (int i = 0; i < 4; ++i)
        QCOMPARE(form.Picture[i]->isVisible(), i == kind);
    // The buttons stand at the right edge, 8 pixels apart, 4 from the border.
    if (buttons == 1) {
        QVERIFY(!form.bbNo->isVisible());
        QCOMPARE(form.bbYes->x() + form.bbYes->width(), expected - 4);
    } else {
        QCOMPARE(form.bbNo->x() + form.bbNo->width(), expected - 4);
        QCOMPARE(form.bbNo->x() - (form.bbYes->x() + form.bbYes->width()), 8);
    }
}

// A message and its reason under it: as wide as the wider line, taller by a line, the buttons
// below the text.
void TestStartup::messageDialogOfTwoLines()
{
    const QString first = QStringLiteral("Не могу показать отчет !");
    const QString second = QStringLiteral("report1.frf, line 12: bad size \"nan\" and more words");
    TDlgForm form(first + u'\n' + second, 1, 1, QStringLiteral("Внимание !"));
    const QFontMetrics metrics = form.LabelAsk->fontMetrics();
    const int t = std::max(metrics.horizontalAdvance(first),
                           metrics.horizontalAdvance(second + QStringLiteral("  ")));
    QCOMPARE(form.width(), t + 41 + 8 + 3);
    QCOMPARE(form.height(), 96 + metrics.lineSpacing());
    QCOMPARE(form.LabelAsk->text(), first + u'\n' + second + QStringLiteral("  "));
    QCOMPARE(form.LabelAsk->height(), metrics.height() + metrics.lineSpacing());
    QVERIFY(form.LabelAsk->sizeHint().height() <= form.LabelAsk->height());
    QVERIFY(form.bbYes->y() >= form.LabelAsk->geometry().bottom());
    QCOMPARE(form.bbYes->y() + form.bbYes->height(), form.height() - 96 + 64 + 25);
    QCOMPARE(form.bbYes->x() + form.bbYes->width(), form.width() - 4);
}

void TestStartup::messageDialogKeys()
{
    {
        TDlgForm form(QStringLiteral("Удалить ?"), 3, 2, QStringLiteral("Вопрос"));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(QApplication::focusWidget(), form.bbYes);
        QTest::keyClick(form.bbYes, Qt::Key_Escape);
        QVERIFY(form.isVisible());
        QTest::keyClick(form.bbYes, Qt::Key_Return);
        QCOMPARE(form.result(), 6);
    }
    {
        TDlgForm form(QStringLiteral("Удалить ?"), 3, 2, QStringLiteral("Вопрос"));
        form.show();
        QTest::mouseClick(form.bbNo, Qt::LeftButton);
        QCOMPARE(form.result(), 7);
    }
    {
        TDlgForm form(QStringLiteral("x"), 1, 1, QStringLiteral("Внимание !"));
        form.show();
        form.close(); // the close box
        QCOMPARE(form.result(), 2);
    }
    Messages::setNextAnswer(7);
    QCOMPARE(
        ShowDialog(QStringLiteral("Не могу показать отчет !"), 1, 1, QStringLiteral("Внимание !")),
        7);
    QCOMPARE(messageTexts(), QStringList{QStringLiteral("Не могу показать отчет !")});
}

void TestStartup::busyWindowAndCursor()
{
    QVERIFY(!QApplication::overrideCursor());
    {
        TWaitForm wait;
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        QCOMPARE(wait.size(), QSize(208, 59));
        QVERIFY(wait.findChild<QLabel*>(QStringLiteral("LabelWait"))->text() ==
                QStringLiteral("Думаю ..."));
        wait.show();
        QVERIFY(!wait.ProgressBar->isVisible());
        QCOMPARE(wait.ProgressBar->maximum(), 100);
        wait.close();
        QVERIFY(!wait.isVisible());
    }
    QVERIFY(!QApplication::overrideCursor());
}

void TestStartup::mainWindowClosesWithoutALogin()
{
    test::TestDatabase t;
    TDM dm(t.dir()); // the window goes before the data module it views, as in the program
    TMainForm mainForm;
    mainForm.setDataModule(dm);
    mainForm.show();
    QVERIFY(mainForm.isVisible());
    QTRY_VERIFY(!mainForm.isVisible());
}

KELVORA_TEST_MAIN(TestStartup)
#include "test_startup.moc"
