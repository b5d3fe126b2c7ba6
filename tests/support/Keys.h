// Keys typed into a window as a keyboard types them: the window hands each to its focus.
#pragma once

#include <QTest>
#include <QWidget>
#include <QWindow>

namespace test {

/// Types `text` into the window: Cyrillic too, '\t' as Tab, '\n' as Enter, '\x1b' as Escape.
inline void typeInto(QWidget* window, const QString& text)
{
    for (const QChar c : text) {
        const Qt::Key key = c == u'\t'         ? Qt::Key_Tab
                            : c == u'\n'       ? Qt::Key_Return
                            : c == QChar(0x1b) ? Qt::Key_Escape
                                               : Qt::Key(c.toUpper().unicode());
        QTest::sendKeyEvent(QTest::Click, window->windowHandle(), key,
                            c.isPrint() ? QString(c) : QString(), Qt::NoModifier);
    }
}

} // namespace test
