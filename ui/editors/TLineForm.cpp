#include "TLineForm.h"

#include "app/Messages.h"
#include "data/Statements.h"
#include "data/TDM.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

TLineForm::TLineForm(TDM& dm, QWidget* parent) : EditorDialog(dm, QStringLiteral("Линия"), parent)
{
    setObjectName(QStringLiteral("LineForm"));
    seNumberLine = new QSpinBox(this);
    seNumberLine->setObjectName(QStringLiteral("seNumberLine"));
    seNumberLine->setRange(1, 200);
    seNumberTown = new QSpinBox(this);
    seNumberTown->setObjectName(QStringLiteral("seNumberTown"));
    seNumberTown->setRange(0, 999999999);
    eAddInfo = new QLineEdit(this);
    eAddInfo->setObjectName(QStringLiteral("eAddInfo"));
    eAddInfo->setMaxLength(50);
    mEtc = new QPlainTextEdit(this);
    mEtc->setObjectName(QStringLiteral("mEtc"));
    mEtc->setTabChangesFocus(true);
    mEtc->setFixedHeight(80);
    connect(mEtc, &QPlainTextEdit::textChanged, this, [this] {
        // At most 200 characters, as the column holds.
        const QString t = mEtc->toPlainText();
        if (t.size() > 200) {
            mEtc->setPlainText(t.left(200));
            mEtc->moveCursor(QTextCursor::End);
        }
    });
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Номер линии"), seNumberLine);
    form->addRow(QStringLiteral("Городской номер"), seNumberTown);
    form->addRow(QStringLiteral("Дополнительно"), eAddInfo);
    form->addRow(QStringLiteral("Примечания"), mEtc);
    eAddInfo->setMinimumWidth(260);
    finishLayout(form, seNumberLine);
    setTabOrder(seNumberLine, seNumberTown);
    setTabOrder(seNumberTown, eAddInfo);
    setTabOrder(eAddInfo, mEtc);
    setTabOrder(mEtc, bbSave);
    setTabOrder(bbSave, bbCancel);
}

void TLineForm::FormActivate()
{
    if (EditMode != 1 || !SourceData)
        return;
    OldNumberLine = SourceData->field(QStringLiteral("NumberLine")).asInteger();
    seNumberLine->setValue(OldNumberLine);
    seNumberTown->setValue(SourceData->field(QStringLiteral("NumberTown")).asInteger());
    eAddInfo->setText(SourceData->field(QStringLiteral("AddInfo")).asString());
    mEtc->setPlainText(SourceData->field(QStringLiteral("Etc")).asString());
}

bool TLineForm::validate()
{
    if (seNumberTown->value() <= 0) {
        Messages::error(QStringLiteral("Запишите номер телефона"), this);
        seNumberTown->setFocus();
        return false;
    }
    if (EditMode == 1 && seNumberLine->value() != OldNumberLine &&
        !confirmRenumber(stmt::callsOfLine(OldNumberLine), QStringLiteral("На линии"),
                         OldNumberLine, seNumberLine->value(), QStringLiteral("номер линии"))) {
        seNumberLine->setFocus();
        return false;
    }
    return true;
}

stmt::Statement TLineForm::statement()
{
    const stmt::LineRecord line{seNumberLine->value(), seNumberTown->value(), eAddInfo->text(),
                                mEtc->toPlainText()};
    SavedNumberLine = line.number;
    return EditMode == 0 ? stmt::insertLine(line) : stmt::updateLine(OldNumberLine, line);
}
