// The window that mails every flagged subscriber his own calls of a period.
#pragma once

#include "mail/SendQueue.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <vector>

class QDateEdit;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class PeriodButton;
class SubscriberReport;
class TDM;

/// Lists the subscribers whose SendMail is 1. "Отправить" mails each checked one a message of
/// his own: the subject "Звонки за <период>", his count and talk time, his detailed report as
/// a PDF (no attachment when he had no calls). The reports are prepared here, one at a time
/// and one ahead of the sending; the sending runs in a thread of its own (mail::SendQueue).
/// Each recipient's line tells what became of his message; the ones sent are unchecked, so a
/// second run sends only what is left.
class TMailForm : public QDialog
{
    Q_OBJECT
public:
    explicit TMailForm(TDM& dm, QWidget* parent = nullptr);
    ~TMailForm() override;

    enum Column
    {
        ColName,
        ColNumber,
        ColAddress,
        ColResult
    };

    QDateEdit* dOT = nullptr;
    QDateEdit* dDo = nullptr;
    PeriodButton* sbPeriod = nullptr;
    QTreeWidget* clbUsers = nullptr;
    QPushButton* bbSend = nullptr;
    QPushButton* bbCancel = nullptr;
    QPushButton* bbClose = nullptr;
    /// Opens the mail settings over this window.
    QPushButton* bbMailSettings = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QLabel* PanelState = nullptr;

    /// Reads the flagged subscribers again (also at creation).
    void LoadRecipients();
    void bbSendClick();
    void bbCancelClick();
    void bbMailSettingsClick();
    bool running() const { return m_running; }

    /// Adjusts the server settings of a run before it starts (tests shorten the timeouts).
    std::function<void(mail::ServerSettings&)> ServerHook;

    /// The words of a result as the recipient's line shows it.
    static QString ResultText(const mail::SendResult& result);

signals:
    /// A run has ended: everything sent, cancelled or stopped.
    void runFinished();

public slots:
    void reject() override;

private:
    struct Recipient
    {
        int number = 0;
        QString name;
        QString address;
        QTreeWidgetItem* item = nullptr;
    };
    void prepareNext();
    void sendFinished(int id, const mail::SendResult& result);
    void checkDone();
    void finishRun();
    void stopRun(const QString& reason);
    void setRunning(bool on);
    bool composeFor(const Recipient& r, mail::Message& message, QString& error);

    TDM& m_dm;
    std::vector<Recipient> m_recipients;
    std::vector<int> m_run; // indexes into m_recipients, in order
    std::size_t m_next = 0; // the next of m_run to prepare
    int m_results = 0;
    int m_sent = 0;
    bool m_running = false;
    bool m_preparing = false;
    bool m_cancelled = false;
    bool m_closeWhenDone = false;
    QString m_stopReason;
    std::unique_ptr<SubscriberReport> m_report;
    std::unique_ptr<mail::SendQueue> m_queue;
    mail::Address m_from;
};
