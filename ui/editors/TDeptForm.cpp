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
    finishLayout(form, eDeptName);
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

bool TDeptForm::validate()
{
    ParentKey = 0;
    if (!eDeptName->text().trimmed().isEmpty())
        return true;
    Messages::error(QStringLiteral("Запишите название"), this);
    eDeptName->setFocus();
    return false;
}

stmt::Statement TDeptForm::statement()
{
    if (EditMode == 0) {
        DeptKey = m_dm.GetNewID(); // drawn in the write transaction, again on each attempt
        return stmt::insertDept(DeptKey, eDeptName->text(), ParentKey);
    }
    return stmt::updateDept(DeptKey, eDeptName->text(), ParentKey);
}
