#include "TPassForm.h"

#include "Messages.h"
#include "Pictures.h"
#include "data/TDM.h"
#include "db/DbError.h"
#include "ui/common/Widgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QValidator>

namespace {

// Typing stops at ten characters; a longer password filled in from the settings stays whole
// (and may be edited down).
class TypingLimit : public QValidator
{
public:
    TypingLimit(int limit, QObject* parent) : QValidator(parent), m_limit(limit) {}
    void allow(qsizetype length) { m_allowed = std::max<qsizetype>(m_limit, length); }
    State validate(QString& input, int&) const override
    {
        return input.size() <= std::max<qsizetype>(m_limit, m_allowed) ? Acceptable : Invalid;
    }

private:
    int m_limit;
    qsizetype m_allowed = 0;
};

} // namespace

TPassForm::TPassForm(TDM& dm, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_dm(dm)
{
    setObjectName(QStringLiteral("PassForm"));
    setWindowTitle(QStringLiteral(" "));
    setFixedSize(312, 150);
    setFont(ui::windowFont());

    auto* bevel = new QFrame(this);
    bevel->setFrameShape(QFrame::Box);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(8, 8, 297, 105);
    auto* keys = new QLabel(this);
    keys->setObjectName(QStringLiteral("ImageKeys"));
    keys->setGeometry(16, 24, 41, 41);
    keys->setAlignment(Qt::AlignCenter);
    keys->setPixmap(Pictures::keys());

    eUserName = new QLineEdit(this);
    eUserName->setObjectName(QStringLiteral("eUserName"));
    eUserName->setGeometry(168, 24, 121, 23);
    auto* userLabel = new QLabel(QStringLiteral("Пользователь"), this);
    userLabel->move(72, 30);
    userLabel->adjustSize();
    userLabel->setBuddy(eUserName);

    meUserPass = new QLineEdit(this);
    meUserPass->setObjectName(QStringLiteral("meUserPass"));
    meUserPass->setGeometry(168, 56, 121, 23);
    meUserPass->setEchoMode(QLineEdit::Password);
    auto* passLimit = new TypingLimit(10, meUserPass);
    meUserPass->setValidator(passLimit);
    auto* passLabel = new QLabel(QStringLiteral("Пароль"), this);
    passLabel->move(112, 62);
    passLabel->adjustSize();
    passLabel->setBuddy(meUserPass);

    cbMemoryName = new QCheckBox(QStringLiteral("Запомнить имя пользователя и пароль"), this);
    cbMemoryName->setObjectName(QStringLiteral("cbMemoryName"));
    cbMemoryName->setGeometry(16, 88, 281, 17); // to the bevel's edge: the whole caption shows

    bbOk = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("Ok"),
                           this);
    bbOk->setObjectName(QStringLiteral("bbOk"));
    bbOk->setGeometry(56, 120, 121, 25);
    bbCancel = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                               QStringLiteral("Отменить"), this);
    bbCancel->setObjectName(QStringLiteral("bbCancel"));
    bbCancel->setGeometry(184, 120, 121, 25);
    for (QPushButton* b : {bbOk, bbCancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    setTabOrder(eUserName, meUserPass);
    setTabOrder(meUserPass, cbMemoryName);
    setTabOrder(cbMemoryName, bbOk);
    setTabOrder(bbOk, bbCancel);
    for (QWidget* w :
         std::initializer_list<QWidget*>{eUserName, meUserPass, cbMemoryName, bbOk, bbCancel})
        w->installEventFilter(this);
    connect(bbOk, &QPushButton::clicked, this, &TPassForm::bbOkClick);
    connect(bbCancel, &QPushButton::clicked, this, &TPassForm::bbCancelClick);

    TMainObject& settings = *m_dm.MainObject;
    cbMemoryName->setChecked(settings.MemoryName);
    if (settings.MemoryName) {
        eUserName->setText(settings.User);
        passLimit->allow(settings.Pass.size());
        meUserPass->setText(settings.Pass);
    }
    m_dm.ibDatabase.setDatabaseName(settings.DatabaseName());

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - QPoint(width() / 2, height() / 2));
}

TPassForm::~TPassForm()
{
    if (m_arrowCursor)
        QApplication::restoreOverrideCursor();
}

void TPassForm::ChooseFocus()
{
    QWidget* target = bbOk;
    if (meUserPass->text().isEmpty())
        target = meUserPass;
    if (eUserName->text().isEmpty())
        target = eUserName;
    target->setFocus(Qt::OtherFocusReason);
}

void TPassForm::bbOkClick()
{
    if (eUserName->text().isEmpty()) {
        Messages::plain(QStringLiteral("Запишите имя пользователя."), this);
        return;
    }
    db::Database& database = m_dm.ibDatabase;
    database.params().clear();
    database.params() << QStringLiteral("user_name=") + eUserName->text()
                      << QStringLiteral("password=") + meUserPass->text()
                      << QStringLiteral("lc_ctype=win1251");
    try {
        database.open();
        m_dm.ibTranRO.start();
        m_dm.RememberDatabaseFile();
    } catch (const db::DbError&) {
        database.close();
        Messages::plain(QStringLiteral("Невозможно открыть базу данных !"), this);
    }
    TMainObject& settings = *m_dm.MainObject;
    settings.Connected = database.connected();
    if (settings.Connected) {
        settings.MemoryName = cbMemoryName->isChecked();
        settings.User = eUserName->text();
        settings.Pass = meUserPass->text();
        done(1);
        return;
    }
    ChooseFocus();
}

void TPassForm::bbCancelClick()
{
    done(2);
}

bool TPassForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            // On a button Enter presses it; anywhere else it moves on as Tab would.
            if (auto* button = qobject_cast<QPushButton*>(watched))
                button->click();
            else
                focusNextChild();
            return true;
        }
        if (key->key() == Qt::Key_Escape)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool TPassForm::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        ChooseFocus();
    return QDialog::event(event);
}

void TPassForm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TPassForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The busy cursor of start-up is not for a window that waits for typing.
    if (!m_arrowCursor) {
        QApplication::setOverrideCursor(Qt::ArrowCursor);
        m_arrowCursor = true;
    }
    ChooseFocus();
}

void TPassForm::hideEvent(QHideEvent* event)
{
    if (m_arrowCursor) {
        QApplication::restoreOverrideCursor();
        m_arrowCursor = false;
    }
    QDialog::hideEvent(event);
}
