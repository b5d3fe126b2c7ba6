// The window that mails every flagged subscriber his own calls of a period.
#pragma once

#include "mail/SmtpClient.h"

#include <QDialog>

#include <functional>
#include <vector>

class QDateEdit;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class PeriodButton;
class MailingRun;
class TDM;

/// Lists the subscribers whose SendMail is 1. "Отправить" mails each checked one a message of
/// his own (MailingRun: the reports prepared on a worker, the sending on a thread of its own);
/// the window only shows the run. Each recipient's line tells what became of his message; the
/// ones sent are unchecked, so a second run sends only what is left.
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
    bool running() const;

    /// Adjusts the server settings of a run before it starts (tests shorten the timeouts).
    std::function<void(mail::ServerSettings&)> ServerHook;

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
    void showLine(int index);
    void showProgress();
    void runEnded();
    void setRunning(bool on);

    TDM& m_dm;
    MailingRun* m_run = nullptr;
    std::vector<Recipient> m_recipients;
    std::vector<QTreeWidgetItem*> m_runItems; // the lines of the run's recipients, in order
    bool m_closeWhenDone = false;
};
