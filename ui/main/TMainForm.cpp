#include "TMainForm.h"

#include "data/TDM.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Kelvora"));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(screen->availableGeometry().adjusted(0, 0, -0, -0));
}

void TMainForm::setDataModule(TDM& dm)
{
    m_dm = &dm;
}

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_activated) {
        m_activated = true;
        QTimer::singleShot(0, this, &TMainForm::FormActivate);
    }
}

void TMainForm::FormActivate()
{
    if (!m_dm || !m_dm->MainObject->Connected) {
        close();
        return;
    }
}
