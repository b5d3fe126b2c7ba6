#include "TAboutBox.h"
#include "ui/common/Widgets.h"

#include <QApplication>
#include <QDate>
#include <QDesktopServices>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>

#ifndef KELVORA_VERSION
#define KELVORA_VERSION "1.0.0"
#endif

namespace {

// The compiler's build date ("Dec  9 2026") in the Russian short form.
QString buildDate()
{
    const QDate d =
        QLocale::c().toDate(QStringLiteral(__DATE__).simplified(), QStringLiteral("MMM d yyyy"));
    return d.isValid()
               ? QLocale(QLocale::Russian, QLocale::Russia).toString(d, QLocale::ShortFormat)
               : QStringLiteral(__DATE__);
}

} // namespace

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("О программе ..."));
    const QFont base = ui::windowFont();
    setFont(base);
    OpenUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Panel);
    frame->setFrameShadow(QFrame::Sunken);
    const QString texts[6] = {
        QStringLiteral("Kelvora"),
        QStringLiteral("Версия %1 от %2").arg(QStringLiteral(KELVORA_VERSION), buildDate()),
        QStringLiteral("© 2024–2026 Kelvora"),
        QStringLiteral("Разработчики Kelvora"),
        QStringLiteral("e-mail : ") + QLatin1String(ContactAddress),
        QStringLiteral("https://kelvora.example/"),
    };
    // The box keeps its size unless a line (or the caption) needs more: then it grows just so
    // much that every line shows whole.
    int lineWidth = 177;
    int lineHeight = 18;
    for (int i = 0; i < 6; ++i) {
        QFont f = base;
        f.setBold(i == 0 || i == 2);
        f.setUnderline(i >= 4);
        const QFontMetrics m(f);
        lineWidth = std::max(lineWidth, m.horizontalAdvance(texts[i]) + 8);
        lineHeight = std::max(lineHeight, m.height() + 4);
    }
    // The caption is drawn by the window manager in its own font, usually a bold one larger
    // than the program's: leave room for that, the icon and the buttons.
    const int titleButton = style()->pixelMetric(QStyle::PM_TitleBarHeight);
    QFont titleFont = QApplication::font();
    titleFont.setBold(true);
    if (titleFont.pointSizeF() > 0)
        titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
    else
        titleFont.setPixelSize(titleFont.pixelSize() * 5 / 4);
    const int titleWidth =
        QFontMetrics(titleFont).horizontalAdvance(windowTitle()) + 4 * titleButton + 32;
    lineWidth = std::max(lineWidth, titleWidth - 48);
    const int extraHeight = lineHeight - 18;
    const int tops[6] = {16, 36, 56, 92, 112, 132};
    for (int i = 0; i < 6; ++i) {
        QLabel* l = new QLabel(texts[i], this);
        l->setObjectName(QStringLiteral("Line%1").arg(i + 1));
        l->setAlignment(Qt::AlignCenter);
        l->setGeometry(24, tops[i] + i * extraHeight, lineWidth, lineHeight);
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
    const int wider = lineWidth - 177;
    const int taller = 6 * extraHeight;
    frame->setGeometry(8, 8, 209 + wider, 153 + taller);
    setFixedSize(225 + wider, 206 + taller);
    bbOk = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("Ok"),
                           this);
    bbOk->setObjectName(QStringLiteral("bbOk"));
    bbOk->setGeometry(142 + wider, 172 + taller, 75, 25);
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
