// The one way the program shows message boxes, so that tests can answer them.
#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

class QWidget;

/// Error, information, confirmation and plain boxes. In test mode nothing is shown: each
/// message is recorded and answered with the next queued answer (OK when none is queued).
class Messages
{
public:
    enum class Kind
    {
        Error,
        Information,
        Confirmation,
        Plain,
        Dialog
    };
    struct Shown
    {
        Kind kind;
        QString text;
    };

    /// Error icon, one OK button.
    static void error(const QString& text, QWidget* parent = nullptr);
    /// Information icon, one OK button.
    static void information(const QString& text, QWidget* parent = nullptr);
    /// Confirmation icon with OK and Cancel; true for OK.
    static bool confirm(const QString& text, QWidget* parent = nullptr);
    /// As confirm, for a step that is hard to undo: Cancel is the default button, so a single
    /// Enter changes nothing. In test mode an unqueued answer is that default.
    static bool confirmRisky(const QString& text, QWidget* parent = nullptr);
    /// No icon, one OK button.
    static void plain(const QString& text, QWidget* parent = nullptr);

    // Test hooks.
    /// On: boxes are recorded instead of shown, and the data layer's failures are reported
    /// as boxes as the started program does.
    static void setTestMode(bool on);
    static bool testMode();
    static void setNextAnswer(int answer);
    /// The next queued answer for a message of the given kind, recording the message.
    static int answerInTestMode(Kind kind, const QString& text,
                                QMessageBox::StandardButton byDefault = QMessageBox::Ok);
    static QList<Shown> shown();
    /// Makes the error box the way the data module and the settings report their failures.
    static void reportDataFailures();
    static void clearShown();

private:
    static int show(Kind kind, const QString& text, QWidget* parent,
                    QMessageBox::StandardButton byDefault = QMessageBox::Ok);
};
