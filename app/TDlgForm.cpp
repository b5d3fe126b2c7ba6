#include "TDlgForm.h"

#include "Messages.h"
#include "Pictures.h"
#include "ui/common/Widgets.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

TDlgForm::TDlgForm(const QString& text, quint8 kind, quint8 buttons, const QString& caption,
                   QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("DlgForm"));
    setWindowTitle(QStringLiteral("Внимание !"));
    QFont f = ui::windowFont();
    f.setBold(false); // the warning's text in the plain face
    setFont(f);

    // Picture order of the kinds: warning, error, information, question.
    const QPixmap pixmaps[4] = {Pictures::warning(), Pictures::error(), Pictures::information(),
                                Pictures::question()};
    for (int i = 0; i < 4; ++i) {
        Picture[i] = new QLabel(this);
        Picture[i]->setObjectName(QStringLiteral("Picture%1").arg(i));
        Picture[i]->setGeometry(8, 8, PictureWidth, PictureWidth);
        Picture[i]->setAlignment(Qt::AlignCenter);
        Picture[i]->setPixmap(pixmaps[i]);
        Picture[i]->hide();
    }
    LabelAsk = new QLabel(this);
    LabelAsk->setObjectName(QStringLiteral("LabelAsk"));
    LabelAsk->setAlignment(Qt::AlignCenter);
    bbYes = new QPushButton(QStringLiteral("Да"), this);
    bbYes->setObjectName(QStringLiteral("bbYes"));
    bbYes->setGeometry(312, 64, 75, 25);
    bbNo = new QPushButton(QStringLiteral("Нет"), this);
    bbNo->setObjectName(QStringLiteral("bbNo"));
    bbNo->setGeometry(392, 64, 75, 25);
    setTabOrder(bbYes, bbNo);
    connect(bbYes, &QPushButton::clicked, this, [this] { done(6); });
    connect(bbNo, &QPushButton::clicked, this, [this] { done(7); });

    const int m = DesignWidth - (bbNo->x() + bbNo->width());
    if (kind < 4)
        Picture[kind]->show();
    const int b = buttons == 1 ? bbYes->width() : bbYes->width() + bbNo->width() + 2 * m;
    LabelAsk->setText(text + QStringLiteral("  "));
    // A message of several lines is as wide as its widest and grows down by the others.
    const QFontMetrics metrics = LabelAsk->fontMetrics();
    const QStringList lines = LabelAsk->text().split(u'\n');
    int t = 0;
    for (const QString& line : lines)
        t = std::max(t, metrics.horizontalAdvance(line));
    const int extra = int(lines.size() - 1) * metrics.lineSpacing();
    const int height = DesignHeight + extra;
    bbYes->move(bbYes->x(), bbYes->y() + extra);
    bbNo->move(bbNo->x(), bbNo->y() + extra);
    int w = t + PictureWidth + 2 * m + 3;
    if (w < PictureWidth + b + 2 * m)
        w = PictureWidth + b + 2 * m;
    bbYes->move(w - m - b, bbYes->y());
    if (buttons == 1)
        bbNo->hide();
    else
        bbNo->move(bbYes->x() + bbYes->width() + 2 * m, bbNo->y());
    setFixedSize(w, height);
    LabelAsk->setGeometry(PictureWidth + 3, 16, w - (PictureWidth + 3), metrics.height() + extra);
    setWindowTitle(caption);
    bbYes->setDefault(true);
    bbYes->setFocus();

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(w / 2, height / 2));
}

void TDlgForm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept(); // Escape has no meaning here
        return;
    }
    QDialog::keyPressEvent(event);
}

int ShowDialog(const QString& text, quint8 kind, quint8 buttons, const QString& caption)
{
    if (Messages::testMode())
        return Messages::answerInTestMode(Messages::Kind::Dialog, text);
    int result;
    {
        TDlgForm form(text, kind, buttons, caption);
        result = form.exec();
    }
    QApplication::processEvents();
    return result;
}
