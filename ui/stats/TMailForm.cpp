// The mailing window: the recipients, the period, and the run as MailingRun tells it.
#include "TMailForm.h"

#include "app/Messages.h"
#include "data/ReportKind.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "runs/MailingRun.h"
#include "settings/TMainObject.h"
#include "ui/common/Guarded.h"
#include "ui/common/Widgets.h"
#include "ui/controls/DateField.h"
#include "ui/controls/PeriodButton.h"
#include "ui/editors/TMailSetForm.h"

#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
} // namespace

TMailForm::TMailForm(TDM& dm, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowMaximizeButtonHint),
      m_dm(dm)
{
    m_run = new MailingRun(dm, this);
    connect(m_run, &MailingRun::lineChanged, this, &TMailForm::showLine);
    // A long report shows how far its layout is.
    connect(m_run, &MailingRun::pagesLaidOut, this, [this](int index, int pages, int total) {
        if (std::size_t(index) < m_runItems.size() && total > 0 &&
            m_run->line(index).step == MailingRun::Step::Preparing)
            m_runItems[std::size_t(index)]->setText(
                ColResult,
                QStringLiteral("готовится отчет ... стр. %1 из %2").arg(pages).arg(total));
    });
    connect(m_run, &MailingRun::progress, this, &TMailForm::showProgress);
    connect(m_run, &MailingRun::finished, this, &TMailForm::runEnded);
    setObjectName(QStringLiteral("MailForm"));
    setWindowTitle(QStringLiteral("Рассылка отчетов"));
    setFont(ui::windowFont());

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
    ProgressBar->setFormat(QString()); // "обработано %v из %m" once a run has started
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

TMailForm::~TMailForm()
{
    // The run goes first: nothing it says may reach a window half gone.
    delete m_run;
}

void TMailForm::LoadRecipients()
{
    clbUsers->clear();
    m_recipients.clear();
    m_runItems.clear();
    std::vector<MailingRun::Listed> listed;
    ui::guarded(this, [&] { listed = MailingRun::listRecipients(m_dm); });
    for (const MailingRun::Listed& l : listed) {
        Recipient r{l.recipient.number, l.recipient.name, l.recipient.address, nullptr};
        auto* item = new QTreeWidgetItem(clbUsers);
        item->setText(ColName, r.name);
        item->setText(ColNumber, QString::number(r.number));
        item->setTextAlignment(ColNumber, Qt::AlignRight | Qt::AlignVCenter);
        // No address is said where the address would be; a wrong one stands with its result.
        item->setText(ColAddress, r.address.isEmpty() ? l.unsendable : r.address);
        if (!r.address.isEmpty() && !l.unsendable.isEmpty())
            item->setText(ColResult, l.unsendable);
        if (l.unsendable.isEmpty()) {
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(ColName, Qt::Checked);
        } else {
            item->setFlags(Qt::NoItemFlags);
        }
        r.item = item;
        m_recipients.push_back(r);
    }
    for (int c : {ColName, ColNumber, ColAddress})
        clbUsers->resizeColumnToContents(c);
    if (QTreeWidgetItem* first = clbUsers->topLevelItem(0))
        clbUsers->setCurrentItem(first);
    PanelState->setText(m_recipients.empty()
                            ? QStringLiteral("Нет абонентов, которым отчет отправляется по почте")
                            : QString());
}

bool TMailForm::running() const
{
    return m_run->running();
}

void TMailForm::setRunning(bool on)
{
    for (QWidget* w :
         std::initializer_list<QWidget*>{dOT, dDo, sbPeriod, clbUsers, bbSend, bbMailSettings})
        w->setEnabled(!on);
    bbCancel->setEnabled(on);
    if (on)
        bbCancel->setFocus();
    else
        bbSend->setFocus();
}

void TMailForm::bbSendClick()
{
    if (running())
        return;
    MailingRun::Request request;
    request.from = dOT->date();
    request.to = dDo->date();
    request.templatePath = m_dm.MainObject->ProgramDir + TemplateName(ReportKind::Detailed);
    request.adjustServer = ServerHook;
    std::vector<QTreeWidgetItem*> items;
    for (const Recipient& r : m_recipients)
        if ((r.item->flags() & Qt::ItemIsUserCheckable) &&
            r.item->checkState(ColName) == Qt::Checked) {
            request.recipients.push_back({r.number, r.name, r.address});
            items.push_back(r.item);
        }
    // The lines must be known before the run tells of them.
    std::swap(m_runItems, items);
    QString why;
    switch (m_run->start(std::move(request), why)) {
    case MailingRun::Refusal::None:
        break;
    case MailingRun::Refusal::Settings:
        // Exactly where they are set.
        Messages::error(why + QStringLiteral("\nИх задает кнопка \"Настройки почты…\" этого окна."),
                        this);
        return;
    case MailingRun::Refusal::Nobody:
        Messages::information(why, this);
        return;
    default:
        Messages::error(why, this);
        return;
    }
    ProgressBar->setRange(0, m_run->total());
    ProgressBar->setValue(0);
    // The bar counts the messages done with, sent or not: it says so, beside a line that
    // counts the sent ones.
    ProgressBar->setFormat(QStringLiteral("обработано %v из %m"));
    PanelState->setText(QStringLiteral("Отправка ..."));
    setRunning(true);
}

void TMailForm::showLine(int index)
{
    if (std::size_t(index) >= m_runItems.size())
        return;
    QTreeWidgetItem* item = m_runItems[std::size_t(index)];
    const MailingRun::Line& line = m_run->line(index);
    item->setText(ColResult, line.text);
    item->setToolTip(ColResult, line.step == MailingRun::Step::Done ? line.text : QString());
    if (line.sent)
        item->setCheckState(ColName, Qt::Unchecked);
}

void TMailForm::showProgress()
{
    // The line and the bar tell one count: the messages done with, sent or not.
    const int done = m_run->done(), sent = m_run->sent();
    PanelState->setText(QStringLiteral("Отправка ... %1 из %2 (отправлено %3, не отправлено %4)")
                            .arg(done)
                            .arg(m_run->total())
                            .arg(sent)
                            .arg(done - sent));
    ProgressBar->setValue(done);
}

void TMailForm::runEnded()
{
    setRunning(false);
    const int total = m_run->total(), sent = m_run->sent();
    PanelState->setText(
        QStringLiteral("Отправлено %1 из %2").arg(sent).arg(total) +
        (sent < total ? QStringLiteral(", не отправлено %1").arg(total - sent) : QString()) +
        (m_run->cancelled() ? QStringLiteral(" (рассылка прервана)") : QString()));
    emit runFinished();
    if (!m_run->stopReason().isEmpty())
        Messages::error(QStringLiteral("Рассылка остановлена: %1\n"
                                       "Неотправленные письма остались отмеченными, их можно "
                                       "отправить снова.")
                            .arg(m_run->stopReason()),
                        this);
    if (m_closeWhenDone)
        done(0);
}

void TMailForm::bbMailSettingsClick()
{
    if (running())
        return;
    TMailSetForm form(*m_dm.MainObject, this);
    form.exec();
}

void TMailForm::bbCancelClick()
{
    if (!running() || m_run->stopping())
        return;
    m_run->stop();
    bbCancel->setEnabled(false);
    PanelState->setText(QStringLiteral("Рассылка прерывается: письмо, которое отправляется "
                                       "сейчас, будет отправлено до конца ..."));
}

void TMailForm::reject()
{
    if (running()) {
        // Nothing is cut off: the window closes once the message under way is through.
        m_closeWhenDone = true;
        bbCancelClick();
        return;
    }
    QDialog::reject();
}
