#include "TUserForm.h"

#include "app/Messages.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "db/DbError.h"
#include "ui/common/Guarded.h"
#include "ui/common/Widgets.h"
#include "ui/controls/TSimpleBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

TUserForm::TUserForm(TDM& dm, QWidget* parent)
    : EditorDialog(dm, QStringLiteral("Пользователь"), parent)
{
    setObjectName(QStringLiteral("UserForm"));
    cbDept = new QComboBox(this);
    cbDept->setObjectName(QStringLiteral("cbDept"));
    cbDept->setEditable(false);
    ui::fitDropDownToItems(cbDept);
    seNumberIn = new QSpinBox(this);
    seNumberIn->setObjectName(QStringLiteral("seNumberIn"));
    seNumberIn->setRange(1, 349);
    eFio = new QLineEdit(this);
    eFio->setObjectName(QStringLiteral("eFio"));
    eFio->setMaxLength(50);
    eFio->setMinimumWidth(280);
    eEMail = new QLineEdit(this);
    eEMail->setObjectName(QStringLiteral("eEMail"));
    eEMail->setMaxLength(50);
    cbSendMail = new QCheckBox(QStringLiteral("Отправлять отчет по почте"), this);
    cbSendMail->setObjectName(QStringLiteral("cbSendMail"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Отдел"), cbDept);
    form->addRow(QStringLiteral("Внутренний номер"), seNumberIn);
    form->addRow(QStringLiteral("Ф.И.О."), eFio);
    form->addRow(QStringLiteral("E-Mail"), eEMail);
    form->addRow(cbSendMail);
    finishLayout(form, cbDept);
    setTabOrder(cbDept, seNumberIn);
    setTabOrder(seNumberIn, eFio);
    setTabOrder(eFio, eEMail);
    setTabOrder(eEMail, cbSendMail);
    setTabOrder(cbSendMail, bbSave);
    setTabOrder(bbSave, bbCancel);
}

TUserForm::~TUserForm() = default;

void TUserForm::FormActivate()
{
    m_depts = std::make_unique<TSimpleBox>(m_dm, 1, cbDept, true);
    ui::guarded(this, [&] {
        if (EditMode == 1 && SourceData) {
            OldNumberIn = SourceData->field(QStringLiteral("NumberIN")).asInteger();
            seNumberIn->setValue(OldNumberIn);
            eFio->setText(SourceData->field(QStringLiteral("FIO")).asString());
            eEMail->setText(SourceData->field(QStringLiteral("EMail")).asString());
            cbSendMail->setChecked(SourceData->field(QStringLiteral("SendMail")).asInteger() == 1);
            m_depts->FillBox(SourceData->field(QStringLiteral("DeptNumber")).asInteger());
        } else {
            // A new user starts in the department the operator has selected in the tree.
            m_depts->FillBox(TreeDeptKey);
        }
    });
}

bool TUserForm::validate()
{
    if (eFio->text().trimmed().isEmpty()) {
        Messages::error(QStringLiteral("Запишите фамилию"), this);
        eFio->setFocus();
        return false;
    }
    if (EditMode == 1 && seNumberIn->value() != OldNumberIn &&
        !confirmRenumber(stmt::callsOfUser(OldNumberIn), QStringLiteral("Под номером"), OldNumberIn,
                         seNumberIn->value(), QStringLiteral("внутренний номер"))) {
        seNumberIn->setFocus();
        return false;
    }
    return true;
}

stmt::Statement TUserForm::statement()
{
    const stmt::UserRecord user{seNumberIn->value(), eFio->text(), eEMail->text(),
                                cbSendMail->isChecked(),
                                m_depts ? m_depts->KeyAt(cbDept->currentIndex()) : 0};
    SavedNumberIn = user.number;
    return EditMode == 0 ? stmt::insertUser(user) : stmt::updateUser(OldNumberIn, user);
}
