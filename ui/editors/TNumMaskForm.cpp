#include "TNumMaskForm.h"

#include "settings/NumberMask.h"
#include "settings/TMainObject.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

TNumMaskForm::TNumMaskForm(TMainObject& settings, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_settings(settings)
{
    setObjectName(QStringLiteral("NumMaskForm"));
    setWindowTitle(QStringLiteral("Маска номера"));
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setBold(true);
    f.setPixelSize(11);
    setFont(f);

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
    bbSave = new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton),
                             QStringLiteral("Сохранить"), this);
    bbSave->setObjectName(QStringLiteral("bbSave"));
    bbCancel = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                               QStringLiteral("Отменить"), this);
    bbCancel->setObjectName(QStringLiteral("bbCancel"));
    bbSave->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bbSave);
    buttons->addWidget(bbCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(bbSave, bbCancel);
    setTabOrder(bbCancel, cbNum[0]);
    for (int i = 0; i + 1 < 7; ++i)
        setTabOrder(cbNum[i], cbNum[i + 1]);
    connect(bbSave, &QPushButton::clicked, this, &TNumMaskForm::bbSaveClick);
    connect(bbCancel, &QPushButton::clicked, this, &QDialog::reject); // Escape does the same
}

void TNumMaskForm::bbSaveClick()
{
    for (int i = 0; i < 7; ++i)
        m_settings.SetMaskChoice(NumberMask::MinLength + i, quint8(cbNum[i]->currentIndex()));
    accept();
}
