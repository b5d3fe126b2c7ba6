#include "TWaitForm.h"
#include "ui/common/Widgets.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>

TWaitForm::TWaitForm(QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool)
{
    setObjectName(QStringLiteral("WaitForm"));
    setFixedSize(208, 59);
    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    panel->setGeometry(0, 0, 208, 59);

    m_label = new QLabel(QStringLiteral("Думаю ..."), panel);
    m_label->setObjectName(QStringLiteral("LabelWait"));
    QFont f = ui::windowFont();
    f.setPixelSize(16);
    m_label->setFont(f);
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setGeometry(8, 18, 193, 20);

    ProgressBar = new QProgressBar(panel);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setGeometry(8, 42, 193, 12);
    ProgressBar->setRange(0, 100);
    ProgressBar->setTextVisible(false);
    ProgressBar->hide();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect r = screen->geometry();
        move(r.center() - QPoint(width() / 2, height() / 2));
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

TWaitForm::~TWaitForm()
{
    QApplication::restoreOverrideCursor();
}

void TWaitForm::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hide();
}
