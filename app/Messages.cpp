#include "Messages.h"

#include "settings/TMainObject.h"

#include <QApplication>

namespace {

struct TestState
{
    bool on = false;
    QList<int> answers;
    QList<Messages::Shown> shown;
};

TestState& state()
{
    static TestState s;
    return s;
}

} // namespace

void Messages::setTestMode(bool on)
{
    state() = TestState{};
    state().on = on;
    // The program's start installs this too; a test sees those failures among the boxes.
    if (on)
        reportDataFailures();
}

bool Messages::testMode()
{
    return state().on;
}

void Messages::setNextAnswer(int answer)
{
    state().answers.append(answer);
}

int Messages::answerInTestMode(Kind kind, const QString& text,
                               QMessageBox::StandardButton byDefault)
{
    state().shown.append(Shown{kind, text});
    if (!state().answers.isEmpty())
        return state().answers.takeFirst();
    return kind == Kind::Dialog ? 6 : byDefault;
}

QList<Messages::Shown> Messages::shown()
{
    return state().shown;
}

void Messages::clearShown()
{
    state().shown.clear();
}

int Messages::show(Kind kind, const QString& text, QWidget* parent,
                   QMessageBox::StandardButton byDefault)
{
    if (state().on)
        return answerInTestMode(kind, text, byDefault);
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (kind) {
    case Kind::Error:
        icon = QMessageBox::Critical;
        break;
    case Kind::Information:
        icon = QMessageBox::Information;
        break;
    case Kind::Confirmation:
        icon = QMessageBox::Question;
        buttons |= QMessageBox::Cancel;
        break;
    default:
        break;
    }
    QMessageBox box(icon, QApplication::applicationDisplayName(), text, buttons,
                    parent ? parent : QApplication::activeWindow());
    box.setDefaultButton(byDefault);
    return box.exec();
}

void Messages::error(const QString& text, QWidget* parent)
{
    show(Kind::Error, text, parent);
}

void Messages::information(const QString& text, QWidget* parent)
{
    show(Kind::Information, text, parent);
}

bool Messages::confirm(const QString& text, QWidget* parent)
{
    return show(Kind::Confirmation, text, parent) == QMessageBox::Ok;
}

bool Messages::confirmRisky(const QString& text, QWidget* parent)
{
    return show(Kind::Confirmation, text, parent, QMessageBox::Cancel) == QMessageBox::Ok;
}

void Messages::plain(const QString& text, QWidget* parent)
{
    show(Kind::Plain, text, parent);
}

void Messages::reportDataFailures()
{
    TMainObject::setFailureReporter([](const QString& text) { Messages::error(text); });
}
