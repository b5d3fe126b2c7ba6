// The date field of every period: a date picker that takes a date typed over its text.
#pragma once

#include <QDate>
#include <QDateEdit>
#include <optional>

/// A short-format date with a calendar drop-down. Typing works on the text as a whole: a
/// digit overwrites the digit at the cursor (or is inserted where there is none), a
/// separator steps past the next one, and typing over a selection replaces it. As soon as the
/// text reads as a whole date the field holds that date. A text left unreadable when the field
/// loses the focus or on Enter gives way to the date the field held before the typing began.
class DateField : public QDateEdit
{
    Q_OBJECT
public:
    explicit DateField(const QDate& date = QDate::currentDate(), QWidget* parent = nullptr);
    explicit DateField(QWidget* parent) : DateField(QDate::currentDate(), parent) {}

    /// The date the text reads as (a day or month of one digit is read too), if any.
    std::optional<QDate> typedDate() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void type(QChar c);
    void setText(const QString& text, int cursor);
    void settle();

    QChar m_separator = u'.';
    std::optional<QDate> m_before; // the date held when the typing began
};
