// What the directory editors share: the look, the two buttons, Escape as cancel.
#pragma once

#include "ui/common/DialogFrame.h"

class QBoxLayout;
class QPushButton;
class TDM;
namespace stmt {
struct Statement;
}

/// Results: 1 after a save that was committed, 2 for "Отменить", Escape or the close box.
/// Every editor saves the same way: check the input, build the statement, write it (TDM::Write),
/// close. A refused statement is reported and the window stays open with the input; whether the
/// write transaction is rolled back then is the editor's rule.
class EditorDialog : public ui::DialogFrame
{
    Q_OBJECT
public:
    EditorDialog(TDM& dm, const QString& caption, QWidget* parent);

    QPushButton* bbSave = nullptr;
    QPushButton* bbCancel = nullptr;

    /// The save handler of "Сохранить". Database errors reach the caller (the button's
    /// connection shows them).
    void bbSaveClick();

public slots:
    void reject() override { done(2); }

protected:
    /// Lays out the form above the buttons and makes them; call once from the constructor. The
    /// window opens with the focus in `firstInput`.
    void finishLayout(QLayout* form, QWidget* firstInput);
    /// Loading runs once, when the window first shows.
    virtual void FormActivate() {}
    /// False when the input cannot be saved; the editor has said why.
    virtual bool validate() = 0;
    /// The statement that saves the input (a new key is drawn in the write transaction). A
    /// database error here (before anything ran) is reported and leaves the write transaction
    /// as it is.
    virtual stmt::Statement statement() = 0;
    /// Before a number that has calls is changed: counts the calls logged under the old number
    /// (a statement of one row, column CALLS) and, when there are any, asks whether to go on,
    /// saying how many calls keep the old number. True to go on.
    bool confirmRenumber(const stmt::Statement& countCalls, const QString& whose, int oldNumber,
                         int newNumber, const QString& what);
    /// Whether a refused statement rolls the write transaction back.
    virtual bool rollsBackRefusal() const { return true; }
    void showEvent(QShowEvent* event) override;

    TDM& m_dm;

private:
    bool m_loaded = false;
    QWidget* m_firstInput = nullptr;
};
