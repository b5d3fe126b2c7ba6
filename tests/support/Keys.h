// Keys typed into a window as the keyboard types them: the window hands them to its focus.
#pragma once

#include <QTest>
#include <QWidget>
#include <QWindow>

namespace test {

/// Makes the window the active one, as a click on it would; false when it does not become so.
inline bool activate(QWidget* window)
{
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

/// Types `text` into the window (Cyrillic too; a tab character is the Tab key), each key to
/// whatever has the focus there.
inline void typeInto(QWidget* window, const QString& text)
{
    for (const QChar c : text)
        if (c == u'\t')
            QTest::keyClick(window->windowHandle(), Qt::Key_Tab);
        else
            QTest::sendKeyEvent(QTest::Click, window->windowHandle(),
                                Qt::Key(c.toUpper().unicode()), QString(c), Qt::NoModifier);
}

inline void keyInto(QWidget* window, Qt::Key key)
{
    QTest::keyClick(window->windowHandle(), key);
}

} // namespace test
