#include "TDeptForm.h"

#include "app/Messages.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "db/DbError.h"
#include "ui/common/Guarded.h"

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
    ui::guarded(this, [&] {
        sql.close();
        stmt::deptByKey(DeptKey).applyTo(sql);
        sql.execQuery();
        if (!sql.eof() && sql.fields()[0]->asInteger() > 0)
            eDeptName->setText(sql.fields()[1]->asString());
        sql.close();
    });
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
        stmt::insertDept(DeptKey, eDeptName->text(), ParentKey).applyTo(q);
    } else {
        stmt::updateDept(DeptKey, eDeptName->text(), ParentKey).applyTo(q);
    }
    if (!m_dm.ExecuteTmp()) {
        m_dm.ibTran.rollbackQuietly();
        Messages::error(m_dm.WriteErrorText(), this);
        return;
    }
    if (m_dm.CommitWrite())
        done(1);
}
