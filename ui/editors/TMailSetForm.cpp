#include "TMailSetForm.h"

#include "app/Messages.h"
#include "mail/MailMessage.h"
#include "settings/TMainObject.h"
#include "ui/common/Widgets.h"

#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace {
// The usual port of each kind of connection, by the index of cbSecurity (mail::Security).
constexpr int DefaultPorts[3] = {25, 587, 465};
} // namespace

TMailSetForm::TMailSetForm(TMainObject& settings, QWidget* parent)
    : ui::DialogFrame(QStringLiteral("Настройки почты"), parent, Bar()), m_settings(settings)
{
    setObjectName(QStringLiteral("MailSetForm"));

    eServer = new QLineEdit(settings.MailServer, this);
    eServer->setObjectName(QStringLiteral("eServer"));
    eServer->setMinimumWidth(260);
    sePort = new QSpinBox(this);
    sePort->setObjectName(QStringLiteral("sePort"));
    sePort->setRange(1, 65535);
    sePort->setValue(settings.MailPort);
    cbSecurity = new QComboBox(this);
    cbSecurity->setObjectName(QStringLiteral("cbSecurity"));
    cbSecurity->addItems(
        {QStringLiteral("нет"), QStringLiteral("STARTTLS"), QStringLiteral("TLS (SMTPS)")});
    cbSecurity->setCurrentIndex(int(settings.MailSecurity));
    eUser = new QLineEdit(settings.MailUser, this);
    eUser->setObjectName(QStringLiteral("eUser"));
    ePassword = new QLineEdit(settings.MailPassword, this);
    ePassword->setObjectName(QStringLiteral("ePassword"));
    ePassword->setEchoMode(QLineEdit::Password);
    eFrom = new QLineEdit(settings.MailFrom, this);
    eFrom->setObjectName(QStringLiteral("eFrom"));
    eFrom->setPlaceholderText(QStringLiteral("АТС <pbx@example.ru>"));

    auto* form = new QFormLayout;
    auto row = [&](const QString& text, QWidget* w) {
        form->addRow(ui::labelFor(text, w, this), w);
    };
    row(QStringLiteral("&Сервер"), eServer);
    row(QStringLiteral("&Порт"), sePort);
    row(QStringLiteral("&Защита"), cbSecurity);
    row(QStringLiteral("&Имя пользователя"), eUser);
    row(QStringLiteral("Па&роль"), ePassword);
    row(QStringLiteral("&Отправитель"), eFrom);
    setContent(form);
    bbSave = acceptButton();
    bbCancel = closeButton();

    connect(cbSecurity, &QComboBox::currentIndexChanged, this, &TMailSetForm::cbSecurityChange);
    connect(bbSave, &QPushButton::clicked, this, &TMailSetForm::bbSaveClick);
}

void TMailSetForm::cbSecurityChange(int index)
{
    // A port left at one of the usual ones follows the kind of connection.
    for (int port : DefaultPorts)
        if (sePort->value() == port && index >= 0 && index < 3) {
            sePort->setValue(DefaultPorts[index]);
            return;
        }
}

void TMailSetForm::bbSaveClick()
{
    const QString server = eServer->text().trimmed();
    const QString from = eFrom->text().trimmed();
    if (server.contains(u' ') || server.contains(u'/')) {
        Messages::error(QStringLiteral("Имя сервера не должно содержать пробелов и \"/\"."), this);
        eServer->setFocus();
        return;
    }
    if (!from.isEmpty() && !mail::plausibleAddress(mail::Address::parse(from).address)) {
        Messages::error(QStringLiteral("Неверный адрес отправителя: %1").arg(from), this);
        eFrom->setFocus();
        return;
    }
    TMainObject& s = m_settings;
    s.MailServer = server;
    s.MailPort = sePort->value();
    s.MailSecurity = mail::Security(qBound(0, cbSecurity->currentIndex(), 2));
    s.MailUser = eUser->text();
    s.MailPassword = ePassword->text();
    s.MailFrom = from;
    if (!s.SaveMailSettings())
        // The values stay for this run, and the file is tried again at the end of it.
        Messages::error(QStringLiteral("Не удалось записать файл настроек %1\n%2")
                            .arg(QDir::toNativeSeparators(s.IniFileName), s.SaveError),
                        this);
    accept();
}
