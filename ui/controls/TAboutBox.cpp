#include "TAboutBox.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#ifndef KELVORA_VERSION
#define KELVORA_VERSION "1.0.0"
#endif

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("О программе ..."));
    setFixedSize(225, 206);
    QFont base(QStringLiteral("MS Sans Serif"));
    base.setPixelSize(11);
    base.setBold(true);
    setFont(base);
    OpenUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Panel);
    frame->setFrameShadow(QFrame::Sunken);
    frame->setGeometry(8, 8, 209, 153);
    const QString texts[6] = {
        QStringLiteral("Kelvora"),
        QStringLiteral("Версия %1 от %2")
            .arg(QStringLiteral(KELVORA_VERSION), QStringLiteral(__DATE__)),
        QStringLiteral("© 2024–2026 Kelvora"),
        QStringLiteral("Разработчики Kelvora"),
        QStringLiteral("e-mail : ") + QLatin1String(ContactAddress),
        QStringLiteral("https://kelvora.example/"),
    };
    const int tops[6] = {16, 36, 56, 92, 112, 132};
    for (int i = 0; i < 6; ++i) {
        QLabel* l = new QLabel(texts[i], this);
        l->setObjectName(QStringLiteral("Line%1").arg(i + 1));
        l->setAlignment(Qt::AlignCenter);
        l->setGeometry(24, tops[i], 177, 18);
        QFont f = base;
        f.setBold(i == 0 || i == 2);
        if (i >= 4) {
            f.setUnderline(true);
            QPalette p = l->palette();
            p.setColor(QPalette::WindowText, Qt::blue);
            l->setPalette(p);
            l->setCursor(Qt::PointingHandCursor);
            l->installEventFilter(this);
        }
        l->setFont(f);
        Line[i] = l;
    }
    bbOk = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("Ok"),
                           this);
    bbOk->setObjectName(QStringLiteral("bbOk"));
    bbOk->setGeometry(142, 172, 75, 25);
    bbOk->setDefault(true);
    connect(bbOk, &QPushButton::clicked, this, &QDialog::accept);
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        // Any button opens the link; the mail link is fixed, the web link is what is shown.
        if (watched == Line[4]) {
            OpenUrl(QUrl(QStringLiteral("mailto:") + QLatin1String(ContactAddress)));
            return true;
        }
        if (watched == Line[5]) {
            OpenUrl(QUrl(Line[5]->text()));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
