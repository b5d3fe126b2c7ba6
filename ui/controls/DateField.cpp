// The date field of every period: a date picker that takes a date typed over its text.
#include "DateField.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>

#include <algorithm>

DateField::DateField(const QDate& date, QWidget* parent) : QDateEdit(date, parent)
{
    setCalendarPopup(true);
    const QString format = QLocale().dateFormat(QLocale::ShortFormat);
    setDisplayFormat(format);
    for (const QChar c : format)
        if (!c.isLetter()) {
            m_separator = c;
            break;
        }
}

std::optional<QDate> DateField::typedDate() const
{
    // The display format with its day and month also read from one digit.
    QString format = displayFormat();
    format.replace(QLatin1String("dd"), QLatin1String("d"));
    format.replace(QLatin1String("MM"), QLatin1String("M"));
    const QDate d = QDate::fromString(lineEdit()->text().trimmed(), format);
    if (!d.isValid() || d < minimumDate() || d > maximumDate())
        return std::nullopt;
    return d;
}

// The text as typed: the spin box, told of it, would complete it from the old date.
void DateField::setText(const QString& text, int cursor)
{
    QLineEdit* edit = lineEdit();
    const QValidator* validator = edit->validator();
    const QSignalBlocker quiet(edit);
    edit->setValidator(nullptr);
    edit->setText(text);
    edit->setCursorPosition(cursor);
    edit->setValidator(validator);
}

void DateField::type(QChar c)
{
    QLineEdit* edit = lineEdit();
    if (!m_before)
        m_before = date();
    QString text = edit->text();
    int cursor = edit->cursorPosition();
    if (edit->hasSelectedText()) {
        cursor = edit->selectionStart();
        text.remove(cursor, edit->selectedText().size());
    }
    if (c.isDigit()) {
        if (cursor < text.size() && text[cursor].isDigit())
            text[cursor] = c;
        else
            text.insert(cursor, c);
        ++cursor;
    } else if (cursor < text.size() && !text[cursor].isDigit()) {
        ++cursor; // over the separator that is there already
    } else {
        text.insert(cursor, m_separator);
        ++cursor;
    }
    setText(text, cursor);
    // A whole date in the field's own form is taken at once; others when the typing ends.
    if (const std::optional<QDate> d = typedDate();
        d && text == locale().toString(*d, displayFormat())) {
        setDate(*d);
        setText(text, cursor);
    }
}

// The end of the typing: the date typed, or the one held before when the text is no date.
void DateField::settle()
{
    if (!m_before)
        return;
    const QDate before = *m_before;
    m_before.reset();
    const QDate now = typedDate().value_or(before);
    setDate(now);
    lineEdit()->setText(locale().toString(now, displayFormat()));
}

void DateField::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text();
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (plain && text.size() == 1 && text[0].isPrint() && !text[0].isSpace()) {
        const QChar c = text[0];
        if (c.isDigit() || c == u'.' || c == u',' || c == u'/' || c == u'-' || c == m_separator)
            type(c);
        event->accept(); // letters and the like change nothing
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        settle();
    else if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) {
        if (!m_before)
            m_before = date();
    }
    QDateEdit::keyPressEvent(event);
}

void DateField::focusOutEvent(QFocusEvent* event)
{
    settle();
    QDateEdit::focusOutEvent(event);
}

bool DateField::focusNextPrevChild(bool next)
{
    // Tab steps on from the part the typing left the cursor in (the day, the month, the year,
    // then the next control), as after the spin box's own typing.
    if (m_before) {
        const QString text = lineEdit()->text();
        const int cursor = std::min<int>(lineEdit()->cursorPosition(), int(text.size()));
        settle();
        int section = 0;
        for (int i = 0; i < cursor; ++i)
            section += text[i].isDigit() ? 0 : 1;
        setCurrentSectionIndex(std::min(section, sectionCount() - 1));
    }
    return QDateEdit::focusNextPrevChild(next);
}
