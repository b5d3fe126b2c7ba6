#include "EditorDialog.h"

#include "app/Messages.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "db/DbError.h"
#include "db/Query.h"
#include "ui/common/Guarded.h"

#include <QPushButton>

EditorDialog::EditorDialog(TDM& dm, const QString& caption, QWidget* parent)
    : ui::DialogFrame(caption, parent, Bar()), m_dm(dm)
{
}

void EditorDialog::finishLayout(QLayout* form, QWidget* firstInput)
{
    m_firstInput = firstInput;
    setContent(form);
    // Enter saves, unless the focus is on "Отменить"; Escape cancels.
    bbSave = acceptButton();
    bbCancel = closeButton();
    connect(bbSave, &QPushButton::clicked, this,
            [this] { ui::guarded(this, [this] { bbSaveClick(); }); });
}

void EditorDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_loaded) {
        m_loaded = true;
        FormActivate();
        // Typing starts in the first input, whatever the window system gives the focus to.
        if (m_firstInput)
            m_firstInput->setFocus(Qt::TabFocusReason); // its text selected, as by Tab
    }
}

bool EditorDialog::confirmRenumber(const stmt::Statement& countCalls, const QString& whose,
                                   int oldNumber, int newNumber, const QString& what)
{
    m_dm.EnsureUsable();
    db::Query q(m_dm.ibDatabase, m_dm.ibTranRO);
    countCalls.applyTo(q);
    q.open();
    const qint64 calls = q.field(QStringLiteral("CALLS")).asInt64();
    q.close();
    if (calls == 0)
        return true;
    // The call log is the exchange's record and is not rewritten: the calls stay where they are.
    // A single Enter must not move them out of every list: Cancel is the default.
    return Messages::confirmRisky(
        QStringLiteral("%1 %2 записано звонков: %3. Они останутся под старым номером %2 и "
                       "не будут видны в списке звонков и отчетах по справочникам.\n\n"
                       "Сменить %4 на %5?")
            .arg(whose)
            .arg(oldNumber)
            .arg(calls)
            .arg(what)
            .arg(newNumber),
        this);
}

void EditorDialog::bbSaveClick()
{
    if (!validate())
        return;
    m_dm.EnsureUsable(); // a lost connection is told as every action tells it
    stmt::Statement save;
    try {
        save = statement();
    } catch (const db::DbError& e) {
        Messages::error(TDM::FailureText(e), this); // nothing was run
        return;
    }
    switch (
        m_dm.Write({save}, rollsBackRefusal() ? TDM::Refusal::RollBack : TDM::Refusal::KeepOpen)) {
    case TDM::WriteResult::Written:
        done(1);
        break;
    case TDM::WriteResult::Refused:
        Messages::error(m_dm.WriteErrorText(), this);
        break;
    case TDM::WriteResult::NotCommitted:
        break; // reported, and the window stays with the input
    }
}
