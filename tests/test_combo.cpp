// The query-bound combo box: items from a query, keys, incremental search.
#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include "ui/controls/TComboQuery.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QTest>

namespace {

struct Fixture
{
    test::TestDatabase t;
    std::unique_ptr<db::Transaction> tr;
    std::unique_ptr<TComboQuery> users;

    bool make()
    {
        if (!t.create())
            return false;
        t.exec({QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (101, 'Петров Пётр')"),
                QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (102, 'Иванов Иван')"),
                QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (103, 'ивлева Ольга')"),
                QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (104, 'Яковлев Яков')")});
        tr = std::make_unique<db::Transaction>(t.database());
        tr->params() = QStringList{QStringLiteral("read"), QStringLiteral("read_committed"),
                                   QStringLiteral("rec_version"), QStringLiteral("nowait")};
        tr->start();
        users = std::make_unique<TComboQuery>();
        users->setConnection(t.database(), *tr);
        users->KeyFieldName = QStringLiteral("NumberIN");
        users->ShowFieldName = QStringLiteral("FIO");
        users->NeedFirstItem = true;
        users->FirstItem = QStringLiteral("ВСЕ");
        users->Query().sql().add(QStringLiteral(
            "SELECT NumberIN,FIO,upper(FIO COLLATE PXW_CYRL) as ForOrder FROM Users ORDER BY 3"));
        return true;
    }
    // The users' list filled and on screen.
    bool showFilled()
    {
        users->FillItems(0);
        users->show();
        return QTest::qWaitForWindowExposed(users.get());
    }
};

// Typing as a keyboard does it: one key event with its text per character (QTest's own
// helpers know only Latin letters).
void type(QWidget* w, const QString& text)
{
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(w, &release);
    }
}

QStringList items(const QComboBox& c)
{
    QStringList out;
    for (int i = 0; i < c.count(); ++i)
        out << c.itemText(i);
    return out;
}

} // namespace

class TestCombo : public QObject
{
    Q_OBJECT
private slots:
    void fillsAndHandsBackKeys();
    void duplicateAndMissingKeys();
    void emptyResults();
    void incrementalSearchInCyrillic();
    void backspaceAndEscape();
    void dropDownShowsTheLongestItemWhole();
};

void TestCombo::fillsAndHandsBackKeys()
{
    Fixture f;
    QVERIFY2(f.make(), qPrintable(f.t.error()));
    TComboQuery& c = *f.users;
    QVERIFY(!c.FillItems(0));
    QCOMPARE(items(c),
             (QStringList{"ВСЕ", "Иванов Иван", "ивлева Ольга", "Петров Пётр", "Яковлев Яков"}));
    QCOMPARE(c.currentIndex(), 0);
    QCOMPARE(c.GetKeyValue(), 0);
    c.setCurrentIndex(3);
    QCOMPARE(c.GetKeyValue(), 101);
    QVERIFY(c.FillItems(103));
    QCOMPARE(c.currentIndex(), 2);
    QCOMPARE(c.GetKeyValue(), 103);
    c.setCurrentIndex(-1);
    QCOMPARE(c.GetKeyValue(), 0);
    // A row number past the query, and a key column that is not there, both read as 0.
    c.setCurrentIndex(1);
    c.KeyFieldName = QStringLiteral("NoSuchColumn");
    QCOMPARE(c.GetKeyValue(), 0);
}

void TestCombo::duplicateAndMissingKeys()
{
    Fixture f;
    QVERIFY2(f.make(), qPrintable(f.t.error()));
    TComboQuery& c = *f.users;
    c.Query().sql().clear();
    c.Query().sql().add(QStringLiteral(
        "SELECT 5 AS NumberIN, 'первый' AS FIO FROM RDB$DATABASE UNION ALL "
        "SELECT 7, 'второй' FROM RDB$DATABASE UNION ALL SELECT 5, 'третий' FROM RDB$DATABASE"));
    QVERIFY(c.FillItems(5));
    QCOMPARE(c.currentText(), QStringLiteral("третий")); // the later row wins
    c.NeedFirstItem = false;
    QVERIFY(c.FillItems(5));
    QCOMPARE(c.currentIndex(), 2);
    QVERIFY(!c.FillItems(6));
    QCOMPARE(c.currentIndex(), 0);
    QCOMPARE(c.GetKeyValue(), 5); // without the first item, item 0 is a row
    // A statement the server refuses reaches the caller and leaves the items.
    c.Query().sql().clear();
    c.Query().sql().add(QStringLiteral("SELECT nothing FROM nowhere"));
    QVERIFY_THROWS_EXCEPTION(db::DbError, c.FillItems(0));
    QCOMPARE(c.count(), 3);
}

void TestCombo::emptyResults()
{
    Fixture f;
    QVERIFY2(f.make(), qPrintable(f.t.error()));
    TComboQuery& c = *f.users;
    c.Query().sql().clear();
    c.Query().sql().add(QStringLiteral("SELECT NumberIN, FIO FROM Users WHERE 1 = 0"));
    QVERIFY(!c.FillItems(0));
    QCOMPARE(items(c), QStringList{QStringLiteral("ВСЕ")});
    QCOMPARE(c.GetKeyValue(), 0);
    c.NeedFirstItem = false;
    c.FillItems(0);
    QCOMPARE(c.count(), 0);
    QCOMPARE(c.GetKeyValue(), 0);
    c.show();
    type(&c, QStringLiteral("аб"));
    QVERIFY(!c.searching());
    QVERIFY(!c.listDropped());
}

void TestCombo::incrementalSearchInCyrillic()
{
    Fixture f;
    QVERIFY2(f.make(), qPrintable(f.t.error()));
    TComboQuery& c = *f.users;
    QVERIFY(f.showFilled());
    type(&c, QStringLiteral("ив"));
    QVERIFY(c.listDropped());
    QVERIFY(c.searching());
    QCOMPARE(c.searchText(), QStringLiteral("ив"));
    QVERIFY(c.hintVisible());
    QCOMPARE(c.currentText(), QStringLiteral("Иванов Иван")); // case folded, first match
    type(c.view(), QStringLiteral("л"));                      // the open list passes it on
    QCOMPARE(c.currentText(), QStringLiteral("ивлева Ольга"));
    type(c.view(), QStringLiteral("ж")); // nothing matches: stays
    QCOMPARE(c.currentText(), QStringLiteral("ивлева Ольга"));
    QTest::keyClick(c.view(), Qt::Key_Return);
    QVERIFY(!c.searching());
    QVERIFY(!c.hintVisible());
    QTRY_VERIFY(!c.view()->isVisible());
    QCOMPARE(c.GetKeyValue(), 103);

    // A prefix of the first item's text selects it: key 0, no filter.
    c.setCurrentIndex(3);
    type(&c, QStringLiteral("вс"));
    QCOMPARE(c.currentIndex(), 0);
    QCOMPARE(c.GetKeyValue(), 0);
    c.hidePopup();
    // Case matters when UpperKey is off.
    c.UpperKey = false;
    type(&c, QStringLiteral("и"));
    QCOMPARE(c.currentText(), QStringLiteral("ивлева Ольга"));
    c.hidePopup();
    QVERIFY(!c.listDropped());
    QVERIFY(!c.searching());
}

void TestCombo::backspaceAndEscape()
{
    Fixture f;
    QVERIFY2(f.make(), qPrintable(f.t.error()));
    TComboQuery& c = *f.users;
    QVERIFY(f.showFilled());
    type(&c, QStringLiteral("яз"));
    QCOMPARE(c.currentText(), QStringLiteral("Яковлев Яков"));
    QTest::keyClick(c.view(), Qt::Key_Backspace);
    QCOMPARE(c.searchText(), QStringLiteral("я"));
    QVERIFY(c.hintVisible());
    QTest::keyClick(c.view(), Qt::Key_Backspace);
    QVERIFY(!c.searching());
    QVERIFY(!c.hintVisible());
    QCOMPARE(c.currentText(), QStringLiteral("Яковлев Яков")); // not searched again
    QVERIFY(c.listDropped());

    type(c.view(), QStringLiteral("п"));
    QVERIFY(c.searching());
    QCOMPARE(c.currentText(), QStringLiteral("Петров Пётр"));
    QTest::keyClick(c.view(), Qt::Key_Escape); // ends the search, the list stays open
    QVERIFY(!c.searching());
    QVERIFY(!c.hintVisible());
    QVERIFY(c.listDropped());
    QVERIFY(c.view()->isVisible());
    QTest::keyClick(c.view(), Qt::Key_Escape); // closes the list
    QVERIFY(!c.listDropped());
    QTRY_VERIFY(!c.view()->isVisible());
    QCOMPARE(c.currentText(), QStringLiteral("Петров Пётр"));

    // Down on a closed list opens it on the first item and moves to the next one.
    QTest::keyClick(&c, Qt::Key_Down);
    QVERIFY(c.listDropped());
    QCOMPARE(c.currentIndex(), 1);
    c.hidePopup();
}

void TestCombo::dropDownShowsTheLongestItemWhole()
{
    Fixture f;
    QVERIFY2(f.make(), qPrintable(f.t.error()));
    const QString longName = QStringLiteral("Константинопольская-Верхнеднепровская Александра");
    f.t.exec({QStringLiteral("INSERT INTO Users VALUES (105, '%1', '', 0, 0)").arg(longName)});
    TComboQuery& c = *f.users;
    c.setFixedWidth(120);
    c.show();
    c.FillItems(0);
    QTest::keyClick(&c, Qt::Key_Down, Qt::AltModifier);
    QVERIFY(QTest::qWaitFor([&] { return c.view()->isVisible(); }));
    QVERIFY2(c.view()->viewport()->width() >= c.view()->fontMetrics().horizontalAdvance(longName),
             qPrintable(QString::number(c.view()->viewport()->width())));
}

KELVORA_TEST_MAIN(TestCombo)
#include "test_combo.moc"
