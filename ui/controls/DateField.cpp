// The date field of every window: a date picker that takes a date typed as people type it.
#include "DateField.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>

#include <algorithm>
#include <utility>

namespace {

bool isSeparator(QChar c)
{
    return c == u'.' || c == u',' || c == u'/' || c == u'-' || c == u' ';
}

// The text's parts between separators, as positions: every cursor position is in one of them.
struct Part
{
    int start;
    int size;
};

QList<Part> partsOf(const QString& text)
{
    QList<Part> parts{{0, 0}};
    for (int i = 0; i < text.size(); ++i) {
        if (text[i].isDigit())
            ++parts.last().size;
        else
            parts.append({i + 1, 0});
    }
    return parts;
}

int partAt(const QList<Part>& parts, int cursor)
{
    for (int i = 0; i < parts.size(); ++i)
        if (cursor <= parts[i].start + parts[i].size)
            return i;
    return int(parts.size()) - 1;
}

// A year of two digits: this century's, unless that is more than twenty years ahead.
int fullYear(int twoDigits)
{
    const int year = 2000 + twoDigits;
    return year > QDate::currentDate().year() + 20 ? year - 100 : year;
}

} // namespace

DateField::DateField(const QDate& date, QWidget* parent) : QDateEdit(date, parent)
{
    setCalendarPopup(true);
    const QString format = QLocale().dateFormat(QLocale::ShortFormat);
    setDisplayFormat(format);
    bool separatorSeen = false;
    int part = 0;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (!c.isLetter()) {
            if (!separatorSeen)
                m_separator = c;
            separatorSeen = true;
            continue;
        }
        if (i > 0 && format[i - 1] == c)
            continue; // the same part goes on
        if (part < 3 && (c == u'd' || c == u'M' || c == u'y')) {
            m_order[part] = char(c.unicode());
            int run = 1;
            while (i + run < format.size() && format[i + run] == c)
                ++run;
            m_widths[part] = c == u'y' ? (run >= 4 ? 4 : 2) : 2;
            ++part;
        }
    }
    lineEdit()->installEventFilter(this);
    // A date chosen otherwise (the calendar, a period's button) answers the message.
    connect(this, &QDateEdit::dateChanged, this, &DateField::hideMessage);
}

DateField::~DateField()
{
    hideMessage();
    delete m_message.data();
}

DateField::Reading DateField::read(const QString& input, const QDate& held) const
{
    Reading r;
    const QString text = input.trimmed();
    if (text.isEmpty()) {
        r.problem = QStringLiteral("Дата стерта.");
        return r;
    }
    const QString example =
        locale().toString(held.isValid() ? held : QDate::currentDate(), displayFormat());
    const QString notADate =
        QStringLiteral("«%1» — не дата; введите ее так: %2.").arg(text, example);
    QStringList parts{QString()};
    for (const QChar c : text) {
        if (c.isDigit())
            parts.last() += c;
        else if (isSeparator(c) || c == m_separator)
            parts << QString();
        else
            return {std::nullopt, notADate};
    }
    if (parts.size() > 1 && parts.last().isEmpty())
        parts.removeLast(); // "5.3." as "5.3"
    if (parts.contains(QString()) || parts.size() > 3)
        return {std::nullopt, notADate};
    if (parts.size() == 1) {
        // The digits alone: each part at its full width, the year of four digits or of two.
        const QString digits = parts.takeFirst();
        const int whole = m_widths[0] + m_widths[1] + m_widths[2];
        const int fullYearWidth = m_widths[m_order[0] == 'y' ? 0 : m_order[1] == 'y' ? 1 : 2];
        int yearWidth = fullYearWidth;
        if (digits.size() == whole - 2 && fullYearWidth == 4)
            yearWidth = 2;
        else if (digits.size() != whole)
            return {std::nullopt, notADate};
        int at = 0;
        for (int i = 0; i < 3; ++i) {
            const int width = m_order[i] == 'y' ? yearWidth : m_widths[i];
            parts << digits.mid(at, width);
            at += width;
        }
    }
    int day = 0;
    int month = 0;
    int year = held.isValid() ? held.year() : QDate::currentDate().year();
    int part = 0;
    for (const char kind : m_order) {
        if (kind == 'y' && parts.size() == 2)
            continue; // no year typed: the one the field held
        const QString& p = parts[part++];
        if (kind == 'y') {
            if (p.size() == 4)
                year = p.toInt();
            else if (p.size() == 2)
                year = fullYear(p.toInt());
            else
                return {std::nullopt, notADate};
        } else if (p.size() > 2) {
            return {std::nullopt, notADate};
        } else {
            (kind == 'd' ? day : month) = p.toInt();
        }
    }
    const QDate d(year, month, day);
    if (!d.isValid()) {
        r.problem = QStringLiteral("«%1» — такого дня нет в календаре.").arg(text);
        return r;
    }
    if (d < minimumDate() || d > maximumDate()) {
        r.problem = QStringLiteral("«%1» — дата вне допустимых (%2 – %3).")
                        .arg(text, locale().toString(minimumDate(), displayFormat()),
                             locale().toString(maximumDate(), displayFormat()));
        return r;
    }
    r.date = d;
    return r;
}

std::optional<QDate> DateField::typedDate() const
{
    return read(lineEdit()->text(), m_before.value_or(date())).date;
}

QString DateField::message() const
{
    return m_message && m_message->isVisible() ? m_message->text() : QString();
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

void DateField::begin()
{
    if (!m_before)
        m_before = date();
    hideMessage();
}

// A key has changed the text: it is shown as it is, and a whole date in the field's own form
// is taken at once; others when the typing ends.
void DateField::edited(const QString& text, int cursor)
{
    setText(text, cursor);
    m_typedText = text;
    m_typedCursor = cursor;
    if (const std::optional<QDate> d = read(text, *m_before).date;
        d && text == locale().toString(*d, displayFormat())) {
        setDate(*d);
        setText(text, cursor);
    }
}

void DateField::type(QChar c)
{
    begin();
    QLineEdit* edit = lineEdit();
    QString text = edit->text();
    int cursor = edit->cursorPosition();
    // The cursor was put where it is by something else than the last key typed.
    const bool elsewhere = text != m_typedText || cursor != m_typedCursor;
    bool fresh = m_replace || elsewhere;
    m_replace = false;
    if (elsewhere)
        m_keys.clear();
    if (edit->hasSelectedText()) {
        cursor = edit->selectionStart();
        text.remove(cursor, edit->selectedText().size());
        fresh = false;
        m_keys.clear();
    }
    m_keys += c.isDigit() ? c : m_separator;
    const QList<Part> parts = partsOf(text);
    if (parts.size() != 3) {
        // A text typed from empty is taken as it comes, one separator at a time.
        if (c.isDigit())
            text.insert(cursor++, c);
        else if (cursor > 0 && text[cursor - 1].isDigit())
            text.insert(cursor++, m_separator);
        edited(text, cursor);
        return;
    }
    const int index = partAt(parts, cursor);
    const Part part = parts[index];
    if (!c.isDigit()) {
        // On to the next part, whose first digit will replace it.
        if (index + 1 < 3)
            cursor = parts[index + 1].start;
        edited(text, cursor);
        m_replace = index + 1 < 3;
        return;
    }
    if (fresh) {
        text.replace(part.start, part.size, c);
        cursor = part.start + 1;
    } else if (part.size < m_widths[index]) {
        text.insert(cursor++, c);
    } else if (index + 1 < 3) {
        const Part next = parts[index + 1];
        text.replace(next.start, next.size, c);
        cursor = next.start + 1;
    }
    edited(text, cursor);
}

void DateField::erase(bool backwards)
{
    begin();
    QLineEdit* edit = lineEdit();
    QString text = edit->text();
    int cursor = edit->cursorPosition();
    m_replace = false;
    m_keys.clear();
    if (edit->hasSelectedText()) {
        cursor = edit->selectionStart();
        text.remove(cursor, edit->selectedText().size());
    } else {
        // Over a separator of a whole date's text the cursor only moves.
        const bool keepSeparators = partsOf(text).size() == 3;
        const int at = backwards ? cursor - 1 : cursor;
        if (at < 0 || at >= text.size())
            return;
        if (text[at].isDigit() || !keepSeparators)
            text.remove(at, 1);
        else if (!backwards)
            ++cursor;
        if (backwards)
            --cursor;
    }
    edited(text, cursor);
}

// The end of the typing: the date typed, or the one held before when the text is no date, and
// then a message beside the field says why. Keys that make a whole date by themselves (with its
// year, or the digits alone) are that date wherever the cursor was when they began: a date
// typed from the month or the year is not run into the text's other parts.
void DateField::settle()
{
    if (!m_before)
        return;
    const QDate before = *m_before;
    m_before.reset();
    m_replace = true;
    const QString keys = std::exchange(m_keys, QString());
    Reading reading = read(lineEdit()->text(), before);
    if (const qsizetype parts = partsOf(keys).size(); parts == 1 || parts == 3) {
        if (const Reading typed = read(keys, before); typed.date)
            reading = typed;
    }
    const QDate now = reading.date.value_or(before);
    setDate(now);
    lineEdit()->setText(locale().toString(now, displayFormat()));
    if (!reading.date)
        showMessage(reading.problem + QStringLiteral(" Осталась прежняя дата: ") +
                    locale().toString(now, displayFormat()) + u'.');
}

void DateField::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text();
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (plain && text.size() == 1 && text[0].isPrint() && !text[0].isSpace()) {
        const QChar c = text[0];
        if (c.isDigit() || isSeparator(c) || c == m_separator)
            type(c);
        event->accept(); // letters and the like change nothing
        return;
    }
    switch (event->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        if (plain) {
            erase(event->key() == Qt::Key_Backspace);
            event->accept();
            return;
        }
        break;
    case Qt::Key_Escape:
        if (m_before) {
            // The typing is given up: the date held before it comes back.
            const QDate before = *m_before;
            m_before.reset();
            setDate(before);
            lineEdit()->setText(locale().toString(before, displayFormat()));
            event->accept();
            return;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        settle();
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
        m_replace = true;
        m_keys.clear();
        break;
    default:
        break;
    }
    QDateEdit::keyPressEvent(event);
}

void DateField::focusInEvent(QFocusEvent* event)
{
    m_replace = true;
    m_keys.clear();
    QDateEdit::focusInEvent(event);
}

void DateField::focusOutEvent(QFocusEvent* event)
{
    settle();
    QDateEdit::focusOutEvent(event);
}

void DateField::hideEvent(QHideEvent* event)
{
    hideMessage();
    QDateEdit::hideEvent(event);
}

bool DateField::focusNextPrevChild(bool next)
{
    // Tab steps on from the part the typing left the cursor in (the day, the month, the year,
    // then the next control), as after the spin box's own typing.
    if (m_before) {
        const QString text = lineEdit()->text();
        const int cursor = std::min<int>(lineEdit()->cursorPosition(), int(text.size()));
        const int section = partsOf(text).size() == 3 ? partAt(partsOf(text), cursor) : 0;
        settle();
        setCurrentSectionIndex(std::min(section, sectionCount() - 1));
    }
    return QDateEdit::focusNextPrevChild(next);
}

bool DateField::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == lineEdit()) {
            m_replace = true; // the click puts the cursor in a part
            m_keys.clear();
        }
        if (m_message && m_message->isVisible() && watched->isWidgetType())
            hideMessage(); // read; whatever was clicked goes on
    }
    return QDateEdit::eventFilter(watched, event);
}

// The message floats just below the field (above it at the window's foot), over whatever is
// there, in the colours of a tool tip.
void DateField::showMessage(const QString& text)
{
    QWidget* top = window();
    if (!m_message || m_message->parentWidget() != top) {
        delete m_message.data();
        m_message = new QLabel(top);
        m_message->setObjectName(objectName() + QStringLiteral("Message"));
        m_message->setFrameShape(QFrame::Box);
        m_message->setAutoFillBackground(true);
        m_message->setBackgroundRole(QPalette::ToolTipBase);
        m_message->setForegroundRole(QPalette::ToolTipText);
        m_message->setMargin(4);
        m_message->setWordWrap(true);
    }
    m_message->setText(text);
    const int natural = m_message->fontMetrics().horizontalAdvance(text) + 2 * m_message->margin() +
                        2 * m_message->frameWidth() + 2;
    const int width = std::max(std::min({natural, std::max(320, top->width() / 2), top->width()}),
                               std::min(this->width(), top->width()));
    const int height = m_message->heightForWidth(width);
    QPoint at = mapTo(top, QPoint(0, this->height() + 2));
    if (at.y() + height > top->height())
        at.setY(mapTo(top, QPoint(0, 0)).y() - height - 2);
    at.setX(std::clamp(at.x(), 0, std::max(0, top->width() - width)));
    m_message->setGeometry(QRect(at, QSize(width, height)));
    m_message->show();
    m_message->raise();
    setAccessibleDescription(text);
    qApp->installEventFilter(this);
    QAccessibleEvent alert(m_message, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

void DateField::hideMessage()
{
    if (!m_message || m_message->isHidden())
        return;
    m_message->hide();
    setAccessibleDescription(QString());
    qApp->removeEventFilter(this);
}
