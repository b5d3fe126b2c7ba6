#include "TNumMaskForm.h"

#include "settings/NumberMask.h"
#include "settings/TMainObject.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TNumMaskForm::TNumMaskForm(TMainObject& settings, QWidget* parent)
    : ui::DialogFrame(QStringLiteral("Маска номера"), parent, Bar()), m_settings(settings)
{
    setObjectName(QStringLiteral("NumMaskForm"));

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Sunken);
    auto* grid = new QGridLayout(frame);
    for (int i = 0; i < 7; ++i) {
        const int length = NumberMask::MinLength + i;
        auto* box = new QComboBox(frame);
        box->setObjectName(QStringLiteral("cbNum%1").arg(length));
        box->addItems(NumberMask::patterns(length));
        box->setMinimumWidth(150);
        const int choice = settings.MaskChoice(length);
        box->setCurrentIndex(choice < box->count() ? choice : 0);
        auto* label = new QLabel(QStringLiteral("%1-ти значный").arg(length), frame);
        label->setBuddy(box);
        grid->addWidget(label, i, 0);
        grid->addWidget(box, i, 1);
        cbNum[i] = box;
    }
    auto* content = new QVBoxLayout;
    content->addWidget(frame);
    setContent(content);
    bbSave = acceptButton();
    bbCancel = closeButton();

    setTabOrder(bbSave, bbCancel);
    setTabOrder(bbCancel, cbNum[0]);
    for (int i = 0; i + 1 < 7; ++i)
        setTabOrder(cbNum[i], cbNum[i + 1]);
    connect(bbSave, &QPushButton::clicked, this, &TNumMaskForm::bbSaveClick);
}

void TNumMaskForm::bbSaveClick()
{
    for (int i = 0; i < 7; ++i)
        m_settings.SetMaskChoice(NumberMask::MinLength + i, quint8(cbNum[i]->currentIndex()));
    accept();
}
