#include "TDeptForm.h"

#include "app/Messages.h"
#include "data/TDM.h"
#include "db/DbError.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

TDeptForm::TDeptForm(TDM& dm, QWidget* parent) : EditorDialog(dm, QStringLiteral("Отдел"), parent)
{
    setObjectName(QStringLiteral("DeptForm"));
    eDeptName = new QLineEdit(this);
    eDeptName->setObjectName(QStringLiteral("eDeptName"));
    eDeptName->setMaxLength(50);
    eDeptName->setMinimumWidth(280);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Наименование"), eDeptName);
    finishLayout(form);
    setTabOrder(eDeptName, bbSave);
    setTabOrder(bbSave, bbCancel);
}

void TDeptForm::FormActivate()
{
    if (EditMode != 1)
        return;
    db::Sql& sql = m_dm.IBSQL;
    try {
        sql.close();
        sql.sql().clear();
        sql.sql().add(QStringLiteral("SELECT KeyID,DeptName FROM Depts WHERE KeyID=") +
                      QString::number(DeptKey));
        sql.execQuery();
        if (!sql.eof() && sql.fields()[0]->asInteger() > 0)
            eDeptName->setText(sql.fields()[1]->asString());
        sql.close();
    } catch (const db::DbError& e) {
        Messages::error(e.message(), this);
    }
}

void TDeptForm::bbSaveClick()
{
    ParentKey = 0;
    if (eDeptName->text().trimmed().isEmpty()) {
        Messages::error(QStringLiteral("Запишите название"), this);
        eDeptName->setFocus();
        return;
    }
    db::Query& q = m_dm.StartTmp();
    if (EditMode == 0) {
        try {
            DeptKey = m_dm.GetNewID();
        } catch (const db::DbError& e) {
            Messages::error(e.message(), this); // nothing was run; ibTran stays as it is
            return;
        }
        q.sql().add(QStringLiteral("INSERT INTO Depts (KeyID,DeptName,DeptParent)"));
        q.sql().add(QStringLiteral("VALUES (:KeyID,:DeptName,:DeptParent)"));
    } else {
        q.sql().add(QStringLiteral("UPDATE Depts SET DeptName=:DeptName,DeptParent=:DeptParent"));
        q.sql().add(QStringLiteral("WHERE KeyID=:KeyID"));
    }
    q.paramByName(QStringLiteral("KeyID")).setInteger(DeptKey);
    q.paramByName(QStringLiteral("DeptParent")).setInteger(ParentKey);
    q.paramByName(QStringLiteral("DeptName")).setString(eDeptName->text());
    if (const std::optional<QString> failure = m_dm.ExecuteTmp()) {
        m_dm.ibTran.rollbackQuietly();
        Messages::error(*failure, this);
        return;
    }
    if (m_dm.CommitWrite())
        done(1);
}
