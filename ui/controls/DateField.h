// The date field of every window: a date picker that takes a date typed as people type it.
#pragma once

#include <QDate>
#include <QDateEdit>
#include <QPointer>
#include <optional>

class QLabel;

/// A short-format date with a calendar drop-down. Typing works on the text as typed, part by
/// part (day, month, year): the first digit typed into a part after the cursor was placed there
/// (a click, an arrow key, Home, the focus coming in) replaces the part; further digits go on
/// filling it, and a digit typed into a full part begins the next one. A separator steps to the
/// next part; typing over a selection replaces it, and a text typed from empty is taken as it
/// comes. Keys typed in one run that make a whole date by themselves are that date, wherever the
/// run began. The text is read as a date as soon as it reads as one in the field's own form, and
/// whatever it holds when the field loses the focus or on Enter is read leniently: a day or
/// month of one digit, a year of two digits (26 is 2026), the digits alone (06102026, 061026),
/// no year (the year the field held). A text that still cannot be read gives way to the date
/// held before the typing began, and a message beside the field says so until the field is
/// edited again or something else is clicked.
class DateField : public QDateEdit
{
    Q_OBJECT
public:
    explicit DateField(const QDate& date = QDate::currentDate(), QWidget* parent = nullptr);
    explicit DateField(QWidget* parent) : DateField(QDate::currentDate(), parent) {}
    ~DateField() override;

    /// The date the text reads as (leniently, as when the typing ends), if any.
    std::optional<QDate> typedDate() const;
    /// The message beside the field about a text that could not be read; empty when none shows.
    QString message() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Reading
    {
        std::optional<QDate> date;
        QString problem; // why the text is no date, when it is not
    };
    Reading read(const QString& text, const QDate& held) const;
    void begin();
    void type(QChar c);
    void erase(bool backwards);
    void edited(const QString& text, int cursor);
    void setText(const QString& text, int cursor);
    void settle();
    void showMessage(const QString& text);
    void hideMessage();

    QChar m_separator = u'.';
    char m_order[3] = {'d', 'M', 'y'}; // the parts in the order of the display format
    int m_widths[3] = {2, 2, 4};       // their digits when full
    std::optional<QDate> m_before;     // the date held when the typing began
    bool m_replace = true;             // the next digit replaces the part under the cursor
    QString m_typedText;               // the text and cursor the last key left
    int m_typedCursor = -1;
    QString m_keys; // typed since the cursor was last put somewhere, separators as the field's
    QPointer<QLabel> m_message;
};
