// The frame the program's dialogs share: the title, the window font, the bar of buttons at the
// foot, and which button Enter presses.
#include "DialogFrame.h"

#include "Widgets.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace ui {

namespace {

Qt::WindowFlags frameFlags(bool fixedSize)
{
    const Qt::WindowFlags flags = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    return fixedSize ? flags | Qt::MSWindowsFixedSizeDialogHint : flags;
}

} // namespace

DialogFrame::DialogFrame(const QString& title, QWidget* parent, const Bar& bar)
    : QDialog(parent, frameFlags(bar.fixedSize)), m_bar(bar)
{
    setWindowTitle(title);
    setFont(windowFont());
}

void DialogFrame::setContent(QLayout* content, QWidget* status)
{
    m_accept = new QPushButton(style()->standardIcon(m_bar.acceptIcon), m_bar.accept, this);
    m_accept->setObjectName(QLatin1String(m_bar.acceptName));
    m_close = new QPushButton(style()->standardIcon(m_bar.closeIcon), m_bar.close, this);
    m_close->setObjectName(QLatin1String(m_bar.closeName));
    if (m_bar.enterAccepts) {
        m_accept->setDefault(true);
    } else {
        m_accept->setAutoDefault(false);
        m_close->setAutoDefault(false);
    }
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    if (status)
        buttons->addWidget(status, 1);
    else
        buttons->addStretch();
    buttons->addWidget(m_accept);
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(content, 1);
    layout->addLayout(buttons);
    if (m_bar.fixedSize)
        layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace ui
