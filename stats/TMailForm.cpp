#include "TMailForm.h"

#include "SubscriberReport.h"
#include "app/Messages.h"
#include "data/CallRecord.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "db/DbError.h"
#include "settings/TMainObject.h"
#include "ui/common/Guarded.h"
#include "ui/common/Widgets.h"
#include "ui/controls/DateField.h"
#include "ui/controls/PeriodButton.h"
#include "ui/editors/TMailSetForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString NoAddress = QStringLiteral("нет адреса");
// Messages prepared but not yet sent, at most: the next one is ready when the sending of one
// ends, and no more PDFs than that are held.
constexpr int Ahead = 2;

mail::Security securityOf(const QString& name)
{
    if (name == QLatin1String("starttls"))
        return mail::Security::StartTls;
    if (name == QLatin1String("tls"))
        return mail::Security::Tls;
    return mail::Security::None;
}

} // namespace

TMailForm::TMailForm(TDM& dm, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowMaximizeButtonHint),
      m_dm(dm)
{
    setObjectName(QStringLiteral("MailForm"));
    setWindowTitle(QStringLiteral("Рассылка отчетов"));
    // The look of the program's other windows.
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setBold(true);
    setFont(f);

    dOT = new DateField(QDate::currentDate(), this);
    dOT->setObjectName(QStringLiteral("dOT"));
    dDo = new DateField(QDate::currentDate(), this);
    dDo->setObjectName(QStringLiteral("dDo"));
    sbPeriod = new PeriodButton(dOT, dDo, this);

    clbUsers = new QTreeWidget(this);
    clbUsers->setObjectName(QStringLiteral("clbUsers"));
    clbUsers->setHeaderLabels({QStringLiteral("Абонент"), QStringLiteral("Номер"),
                               QStringLiteral("Адрес"), QStringLiteral("Результат")});
    clbUsers->setRootIsDecorated(false);
    clbUsers->setUniformRowHeights(true);
    clbUsers->setAllColumnsShowFocus(true);
    clbUsers->header()->setStretchLastSection(true);
    clbUsers->setColumnWidth(ColName, 240);
    clbUsers->setColumnWidth(ColNumber, 70);
    clbUsers->setColumnWidth(ColAddress, 200);

    bbSend = new QPushButton(QStringLiteral("Отправить"), this);
    bbSend->setObjectName(QStringLiteral("bbSend"));
    bbCancel = new QPushButton(QStringLiteral("Прервать"), this);
    bbCancel->setObjectName(QStringLiteral("bbCancel"));
    bbCancel->setEnabled(false);
    bbClose = new QPushButton(QStringLiteral("Закрыть"), this);
    bbClose->setObjectName(QStringLiteral("bbClose"));
    // The window is modal: the menu item of the main window cannot be reached from here.
    bbMailSettings = new QPushButton(QStringLiteral("Настройки почты…"), this);
    bbMailSettings->setObjectName(QStringLiteral("bbMailSettings"));
    connect(bbMailSettings, &QPushButton::clicked, this, &TMailForm::bbMailSettingsClick);
    for (QPushButton* b : {bbSend, bbCancel, bbClose, bbMailSettings})
        b->setAutoDefault(false);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setRange(0, 1);
    ProgressBar->setValue(0);
    ProgressBar->setFormat(QString()); // "%v из %m" once a run has started
    PanelState = new QLabel(this);
    PanelState->setObjectName(QStringLiteral("PanelState"));
    PanelState->setTextInteractionFlags(Qt::TextSelectableByMouse);

    connect(bbSend, &QPushButton::clicked, this, &TMailForm::bbSendClick);
    connect(bbCancel, &QPushButton::clicked, this, &TMailForm::bbCancelClick);
    connect(bbClose, &QPushButton::clicked, this, &TMailForm::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(ui::labelFor(QStringLiteral("Период &с"), dOT, this));
    top->addWidget(dOT);
    top->addWidget(ui::labelFor(QStringLiteral("п&о"), dDo, this));
    top->addWidget(dDo);
    top->addWidget(sbPeriod);
    top->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(bbMailSettings);
    buttons->addWidget(ProgressBar, 1);
    buttons->addWidget(bbSend);
    buttons->addWidget(bbCancel);
    buttons->addWidget(bbClose);
    auto* v = new QVBoxLayout(this);
    v->addLayout(top);
    v->addWidget(ui::labelFor(QStringLiteral("&Абоненты, которым отчет отправляется по почте"),
                              clbUsers, this));
    v->addWidget(clbUsers, 1);
    v->addWidget(PanelState);
    v->addLayout(buttons);
    setTabOrder(dOT, dDo);
    setTabOrder(dDo, sbPeriod);
    setTabOrder(sbPeriod, clbUsers);
    setTabOrder(clbUsers, bbSend);
    setTabOrder(bbSend, bbCancel);
    setTabOrder(bbCancel, bbClose);
    setTabOrder(bbClose, bbMailSettings);
    resize(980, 560);

    LoadRecipients();
}

TMailForm::~TMailForm() = default;

void TMailForm::LoadRecipients()
{
    clbUsers->clear();
    m_recipients.clear();
    ui::guarded(this, [this] {
        m_dm.EnsureUsable();
        db::Query q(m_dm.ibDatabase, m_dm.ibTranRO);
        stmt::mailRecipients().applyTo(q);
        q.open();
        for (q.first(); !q.eof(); q.next()) {
            Recipient r;
            r.number = int(q.field(QStringLiteral("NumberIN")).asInt64());
            r.name = q.field(QStringLiteral("FIO")).plainText().trimmed();
            r.address = q.field(QStringLiteral("EMail")).plainText().trimmed();
            m_recipients.push_back(r);
        }
    });
    for (Recipient& r : m_recipients) {
        auto* item = new QTreeWidgetItem(clbUsers);
        item->setText(ColName, r.name);
        item->setText(ColNumber, QString::number(r.number));
        item->setTextAlignment(ColNumber, Qt::AlignRight | Qt::AlignVCenter);
        if (r.address.isEmpty()) {
            item->setText(ColAddress, NoAddress);
            item->setFlags(Qt::NoItemFlags);
        } else if (!mail::plausibleAddress(r.address)) {
            item->setText(ColAddress, r.address);
            item->setText(ColResult, QStringLiteral("неверный адрес"));
            item->setFlags(Qt::NoItemFlags);
        } else {
            item->setText(ColAddress, r.address);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(ColName, Qt::Checked);
        }
        r.item = item;
    }
    for (int c : {ColName, ColNumber, ColAddress})
        clbUsers->resizeColumnToContents(c);
    if (QTreeWidgetItem* first = clbUsers->topLevelItem(0))
        clbUsers->setCurrentItem(first);
    PanelState->setText(m_recipients.empty()
                            ? QStringLiteral("Нет абонентов, которым отчет отправляется по почте")
                            : QString());
}

QString TMailForm::ResultText(const mail::SendResult& r)
{
    using S = mail::SendResult::Status;
    using C = mail::SendResult::Cause;
    const QString reply = r.reply.isEmpty() ? r.detail : r.reply;
    // The mail library's own words come last, for whoever looks into the fault.
    const QString detail =
        r.detail.isEmpty() ? QString() : QStringLiteral(" (подробности: %1)").arg(r.detail);
    const QString server = QStringLiteral("%1, порт %2").arg(r.host).arg(r.port);
    switch (r.status) {
    case S::Sent:
        return QStringLiteral("отправлено");
    case S::RecipientRefused:
        return QStringLiteral("адрес отклонен сервером: ") + reply;
    case S::SenderRefused:
        return QStringLiteral("сервер не принял адрес отправителя: ") + reply;
    case S::MessageRefused:
        return QStringLiteral("письмо отклонено сервером: ") + reply;
    case S::Unreachable: {
        QString what;
        switch (r.cause) {
        case C::HostNotFound:
            what = QStringLiteral("сервер с именем \"%1\" не найден").arg(r.host);
            break;
        case C::Refused:
            what = QStringLiteral("не удалось соединиться с сервером %1: на этом порту "
                                  "соединения не принимаются")
                       .arg(server);
            break;
        case C::TimedOut:
            what = QStringLiteral("сервер %1 не ответил вовремя").arg(server);
            break;
        case C::BadName:
            what = QStringLiteral("неверное имя сервера \"%1\"").arg(r.host);
            break;
        case C::Dropped:
            what = QStringLiteral("сервер %1 прервал соединение").arg(server);
            break;
        case C::Unknown:
            what = QStringLiteral("нет соединения с сервером %1").arg(server);
            break;
        }
        return QStringLiteral("почтовый сервер недоступен: ") + what + detail;
    }
    case S::SecurityFailed:
        return QStringLiteral("не удалось установить защищенное соединение с сервером %1")
                   .arg(server) +
               detail;
    case S::LoginFailed:
        return QStringLiteral("сервер не принял имя пользователя или пароль") +
               (r.reply.isEmpty() ? QString() : QStringLiteral(": ") + r.reply);
    case S::Cancelled:
        return QStringLiteral("не отправлено: рассылка прервана");
    case S::Skipped:
        return QStringLiteral("не отправлено");
    case S::Failed:
        break;
    }
    return QStringLiteral("ошибка отправки через сервер %1").arg(server) +
           (r.reply.isEmpty() ? QString() : QStringLiteral(": ") + r.reply) + detail;
}

void TMailForm::setRunning(bool on)
{
    m_running = on;
    for (QWidget* w : {static_cast<QWidget*>(dOT), static_cast<QWidget*>(dDo),
                       static_cast<QWidget*>(sbPeriod), static_cast<QWidget*>(clbUsers),
                       static_cast<QWidget*>(bbSend), static_cast<QWidget*>(bbMailSettings)})
        w->setEnabled(!on);
    bbCancel->setEnabled(on);
    if (on)
        bbCancel->setFocus();
    else
        bbSend->setFocus();
}

void TMailForm::bbSendClick()
{
    if (m_running)
        return;
    const TMainObject& s = *m_dm.MainObject;
    m_from = mail::Address::parse(s.MailFrom);
    // Exactly what is missing, and where it is set.
    QStringList missing;
    if (s.MailServer.trimmed().isEmpty())
        missing << QStringLiteral("сервер");
    if (s.MailFrom.trimmed().isEmpty())
        missing << QStringLiteral("адрес отправителя");
    const QString where = QStringLiteral("\nИх задает кнопка \"Настройки почты…\" этого окна.");
    if (!missing.isEmpty()) {
        Messages::error(QStringLiteral("Не заданы настройки почты: %1.")
                                .arg(missing.join(QStringLiteral(" и "))) +
                            where,
                        this);
        return;
    }
    if (!mail::plausibleAddress(m_from.address)) {
        Messages::error(QStringLiteral("В настройках почты адрес отправителя \"%1\" - не "
                                       "адрес электронной почты.")
                                .arg(s.MailFrom) +
                            where,
                        this);
        return;
    }
    if (dOT->date() > dDo->date()) {
        Messages::error(QStringLiteral("Начало периода позже его конца."), this);
        return;
    }
    std::vector<int> run;
    for (std::size_t i = 0; i < m_recipients.size(); ++i) {
        const QTreeWidgetItem* item = m_recipients[i].item;
        if ((item->flags() & Qt::ItemIsUserCheckable) && item->checkState(ColName) == Qt::Checked)
            run.push_back(int(i));
    }
    if (run.empty()) {
        Messages::information(QStringLiteral("Не отмечен ни один абонент."), this);
        return;
    }
    auto report = std::make_unique<SubscriberReport>(m_dm, dOT->date(), dDo->date());
    QString error;
    if (!report->loadTemplate(error)) {
        Messages::error(QStringLiteral("Не могу подготовить отчет !\n") + error, this);
        return;
    }
    if (!ui::guarded(this, [this] { m_dm.EnsureUsable(); }))
        return;

    mail::ServerSettings server;
    server.host = s.MailServer;
    server.port = s.MailPort;
    server.security = securityOf(s.MailSecurity);
    server.user = s.MailUser;
    server.password = s.MailPassword;
    if (ServerHook)
        ServerHook(server);

    m_report = std::move(report);
    // While a report is prepared the window keeps answering; "Прервать" stops it there.
    QElapsedTimer shown;
    shown.start();
    m_report->setProgress([this, shown](int, int) mutable {
        if (shown.elapsed() >= 50) {
            shown.restart();
            QApplication::processEvents();
        }
        return !m_cancelled;
    });
    m_queue = std::make_unique<mail::SendQueue>(server);
    connect(m_queue.get(), &mail::SendQueue::finished, this, &TMailForm::sendFinished);
    m_run = std::move(run);
    m_next = 0;
    m_results = 0;
    m_sent = 0;
    m_cancelled = false;
    m_stopReason.clear();
    for (int i : m_run)
        m_recipients[std::size_t(i)].item->setText(ColResult, QStringLiteral("ждет"));
    ProgressBar->setRange(0, int(m_run.size()));
    ProgressBar->setValue(0);
    ProgressBar->setFormat(QStringLiteral("%v из %m"));
    PanelState->setText(QStringLiteral("Отправка ..."));
    setRunning(true);
    QTimer::singleShot(0, this, &TMailForm::prepareNext);
}

bool TMailForm::composeFor(const Recipient& r, mail::Message& m, QString& error)
{
    SubscriberReport::Calls calls;
    if (!m_report->build(r.number, calls, error))
        return false;
    const QDate from = dOT->date(), to = dDo->date();
    const QString period = SubscriberReport::periodText(from, to);
    m.from = m_from;
    m.to = {r.name, r.address};
    m.subject = QStringLiteral("Звонки за ") + period;
    QString body = r.name.isEmpty() ? QStringLiteral("Здравствуйте!\n\n")
                                    : QStringLiteral("Здравствуйте, %1!\n\n").arg(r.name);
    if (calls.count == 0) {
        body += QStringLiteral("За %1 звонков с внутреннего номера %2 не было.\n")
                    .arg(period)
                    .arg(r.number);
    } else {
        const QString file = QStringLiteral("calls-%1-%2-%3.pdf")
                                 .arg(r.number)
                                 .arg(from.toString(QStringLiteral("yyyyMMdd")),
                                      to.toString(QStringLiteral("yyyyMMdd")));
        body += QStringLiteral("Звонки с внутреннего номера %1 за %2.\n"
                               "Звонков: %3\n"
                               "Время разговоров: %4\n%5\n"
                               "Подробный список звонков - во вложенном файле %6.\n")
                    .arg(r.number)
                    .arg(period)
                    .arg(calls.count)
                    .arg(DurationText(calls.seconds).trimmed(), SubscriberReport::costText(calls),
                         file);
        m.attachments.push_back({file, QByteArrayLiteral("application/pdf"), calls.pdf});
    }
    m.body = body;
    return true;
}

void TMailForm::prepareNext()
{
    if (!m_running || m_preparing || m_cancelled || !m_stopReason.isEmpty() || !m_queue ||
        m_next >= m_run.size() || m_queue->outstanding() >= Ahead) {
        checkDone();
        return;
    }
    const int index = m_run[m_next];
    const Recipient& r = m_recipients[std::size_t(index)];
    r.item->setText(ColResult, QStringLiteral("готовится отчет ..."));
    mail::Message message;
    QString error;
    bool ok = false;
    m_preparing = true;
    // A database failure stops the run and is told once, at its end, with the run's outcome.
    QString fault;
    try {
        ok = composeFor(r, message, error);
    } catch (const db::DbError& e) {
        fault = TDM::FailureText(e).replace(u'\n', u' ');
    } catch (const std::exception& e) {
        fault = QString::fromLocal8Bit(e.what());
    }
    m_preparing = false;
    if (!fault.isEmpty()) {
        stopRun(QStringLiteral("отчет не подготовлен: ") + fault);
        return;
    }
    if (!ok) {
        if (m_report->cancelled()) {
            checkDone();
            return;
        }
        stopRun(QStringLiteral("отчет не подготовлен: ") + error);
        return;
    }
    if (m_cancelled || !m_stopReason.isEmpty()) {
        // Stopped while the report was prepared: this one stays unsent.
        checkDone();
        return;
    }
    ++m_next;
    r.item->setText(ColResult, QStringLiteral("отправляется ..."));
    m_queue->post(index, std::move(message));
    QTimer::singleShot(0, this, &TMailForm::prepareNext);
}

void TMailForm::stopRun(const QString& reason)
{
    if (m_stopReason.isEmpty())
        m_stopReason = reason;
    checkDone();
}

void TMailForm::sendFinished(int id, const mail::SendResult& result)
{
    const Recipient& r = m_recipients[std::size_t(id)];
    r.item->setText(ColResult, ResultText(result));
    r.item->setToolTip(ColResult, ResultText(result));
    if (result.sent()) {
        ++m_sent;
        r.item->setCheckState(ColName, Qt::Unchecked);
    }
    // The line and the bar tell one count: the messages done with, sent or not.
    ++m_results;
    PanelState->setText(QStringLiteral("Отправка ... %1 из %2 (отправлено %3, не отправлено %4)")
                            .arg(m_results)
                            .arg(m_run.size())
                            .arg(m_sent)
                            .arg(m_results - m_sent));
    ProgressBar->setValue(m_results);
    if (result.stopsRun())
        stopRun(ResultText(result));
    else
        QTimer::singleShot(0, this, &TMailForm::prepareNext);
}

void TMailForm::checkDone()
{
    if (!m_running || m_preparing || !m_queue || m_queue->outstanding() > 0)
        return;
    const bool more = m_next < m_run.size() && !m_cancelled && m_stopReason.isEmpty();
    if (!more)
        finishRun();
}

void TMailForm::finishRun()
{
    for (std::size_t i = m_next; i < m_run.size(); ++i) {
        QTreeWidgetItem* item = m_recipients[std::size_t(m_run[i])].item;
        item->setText(ColResult, m_cancelled ? QStringLiteral("не отправлено: рассылка прервана")
                                             : QStringLiteral("не отправлено"));
    }
    // The queue is let go after the signal that brought the last result has returned.
    m_queue.release()->deleteLater();
    m_report.reset();
    setRunning(false);
    const int total = int(m_run.size());
    PanelState->setText(
        QStringLiteral("Отправлено %1 из %2").arg(m_sent).arg(total) +
        (m_sent < total ? QStringLiteral(", не отправлено %1").arg(total - m_sent) : QString()) +
        (m_cancelled ? QStringLiteral(" (рассылка прервана)") : QString()));
    const QString reason = m_stopReason;
    emit runFinished();
    if (!reason.isEmpty())
        Messages::error(QStringLiteral("Рассылка остановлена: %1\n"
                                       "Неотправленные письма остались отмеченными, их можно "
                                       "отправить снова.")
                            .arg(reason),
                        this);
    if (m_closeWhenDone)
        done(0);
}

void TMailForm::bbMailSettingsClick()
{
    if (m_running)
        return;
    TMailSetForm form(*m_dm.MainObject, this);
    form.exec();
}

void TMailForm::bbCancelClick()
{
    if (!m_running || m_cancelled)
        return;
    m_cancelled = true;
    m_queue->cancel();
    bbCancel->setEnabled(false);
    PanelState->setText(QStringLiteral("Рассылка прерывается: письмо, которое отправляется "
                                       "сейчас, будет отправлено до конца ..."));
    QTimer::singleShot(0, this, &TMailForm::checkDone);
}

void TMailForm::reject()
{
    if (m_running) {
        // Nothing is cut off: the window closes once the message under way is through.
        m_closeWhenDone = true;
        bbCancelClick();
        return;
    }
    QDialog::reject();
}
