#include "TReportForm.h"

#include "runs/CostReport.h"
#include "runs/ReportValues.h"

#include "app/Messages.h"
#include "app/TDlgForm.h"
#include "app/TWaitForm.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "db/DbError.h"
#include "report/ReportOutput.h"
#include "reportview/ReportPreview.h"
#include "reportview/ReportPrint.h"
#include "settings/TMainObject.h"
#include "ui/common/Guarded.h"
#include "ui/common/Widgets.h"
#include "ui/controls/DateField.h"
#include "ui/controls/PeriodButton.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>

namespace {

// Escape pressed anywhere in the program while it watches.
class EscapeWatch : public QObject
{
public:
    explicit EscapeWatch(std::function<void()> pressed) : m_pressed(std::move(pressed))
    {
        qApp->installEventFilter(this);
    }
    ~EscapeWatch() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            m_pressed();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_pressed;
};

const QString Caption = QStringLiteral("Внимание !");

// The states in which the window manager sizes the window to the screen.
constexpr Qt::WindowStates WholeScreenStates =
    Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized;

} // namespace

TReportForm::TReportForm(TDM& dm, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowMaximizeButtonHint),
      m_dm(dm)
{
    setObjectName(QStringLiteral("ReportForm"));
    setWindowTitle(QStringLiteral("Отчеты"));
    setFont(ui::windowFont());

    cbReport = new QComboBox(this);
    cbReport->setObjectName(QStringLiteral("cbReport"));
    for (const ReportKindInfo& report : ReportKinds)
        cbReport->addItem(QString::fromUtf8(report.caption), int(report.kind));
    cbReport->setCurrentIndex(0);
    dOT = new DateField(QDate::currentDate(), this);
    dOT->setObjectName(QStringLiteral("dOT"));
    dDo = new DateField(QDate::currentDate(), this);
    dDo->setObjectName(QStringLiteral("dDo"));
    bbPrint = new QPushButton(style()->standardIcon(QStyle::SP_FileDialogDetailedView),
                              QStringLiteral("Печать"), this);
    bbPrint->setObjectName(QStringLiteral("bbPrint"));
    bbPdf = new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton),
                            QStringLiteral("PDF"), this);
    bbPdf->setObjectName(QStringLiteral("bbPdf"));
    bbPdf->setToolTip(QStringLiteral("Сохранить отчет в файл PDF"));
    bbPreview = new QPushButton(style()->standardIcon(QStyle::SP_FileDialogContentsView),
                                QStringLiteral("Просмотр"), this);
    bbPreview->setObjectName(QStringLiteral("bbPreview"));
    for (QPushButton* b : {bbPrint, bbPdf, bbPreview})
        b->setAutoDefault(false);
    frPreview = new report::ReportPreview(this);
    frPreview->setObjectName(QStringLiteral("frPreview"));
    frPreview->setContextMenuPolicy(Qt::CustomContextMenu);

    PopupMenu = new QMenu(this);
    for (int percent : {200, 150, 100, 75, 50, 25})
        PopupMenu->addAction(QStringLiteral("%1%").arg(percent), this,
                             [this, percent] { setZoom(percent); });
    PopupMenu->addSeparator();
    PopupMenu->addAction(QStringLiteral("Закрыть (Esc)"), this, &TReportForm::reject);
    connect(frPreview, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopupMenu->popup(frPreview->mapToGlobal(p)); });
    connect(bbPreview, &QPushButton::clicked, this, [this] { RunReport(true); });
    connect(bbPrint, &QPushButton::clicked, this, [this] { RunReport(Output::Printer); });
    connect(bbPdf, &QPushButton::clicked, this, [this] { RunReport(Output::Pdf); });

    auto label = [this](const QString& text, QWidget* buddy) {
        return ui::labelFor(text, buddy, this);
    };
    auto* top = new QHBoxLayout;
    top->addWidget(label(QStringLiteral("Отчет"), cbReport));
    top->addWidget(cbReport);
    top->addSpacing(12);
    top->addWidget(label(QStringLiteral("Период с"), dOT));
    top->addWidget(dOT);
    top->addWidget(label(QStringLiteral("по"), dDo));
    top->addWidget(dDo);
    sbPeriod = new PeriodButton(dOT, dDo, this);
    top->addWidget(sbPeriod);
    setTabOrder(dDo, sbPeriod);
    top->addSpacing(12);
    top->addWidget(bbPreview);
    top->addWidget(bbPrint);
    top->addWidget(bbPdf);
    top->addStretch();
    auto* v = new QVBoxLayout(this);
    v->addLayout(top);
    v->addWidget(frPreview, 1);

    PrintHook = [](const report::PreparedReport& r, QString& error) {
        if (QPrinterInfo::availablePrinters().isEmpty()) {
            error = QStringLiteral("no printer");
            return false;
        }
        QPrinter printer(QPrinterInfo::defaultPrinter(), QPrinter::HighResolution);
        return report::print(r, printer, error);
    };
    m_run = new ReportRun(this);
    connect(m_run, &ReportRun::finished, this, &TReportForm::runEnded);
    connect(m_run, &ReportRun::progress, this, [this](int pages, int total) {
        if (!m_wait || total <= 0)
            return;
        if (m_wait->ProgressBar->maximum() != total)
            m_wait->ProgressBar->setRange(0, total);
        m_wait->ProgressBar->setValue(pages);
    });
    connect(m_run, &ReportRun::pagesLaidOut, this,
            [this](std::shared_ptr<const report::PreparedReport> pages) {
                if (!m_running || m_output != Output::Preview)
                    return;
                frPreview->setReport(std::move(pages));
                m_partial = true;
            });
    // The window covers the work area, its frame included: maximized, so that the window
    // manager fits the title bar in too (a frameless geometry of the whole work area would put
    // the bottom of the window below the screen). Restored, it is fitted into the work area.
    const QRect area = dm.MainObject->WorkArea;
    setGeometry(QRect(0, 0, area.right() + 1, area.bottom() + 1).intersected(area));
    setWindowState(windowState() | Qt::WindowMaximized);
}

TReportForm::~TReportForm()
{
    // The run's end is not waited for: its signals go with it.
    delete m_run;
    m_run = nullptr;
}

void TReportForm::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    // Restored, the window gets its normal size back from the window manager: it is fitted
    // to the work area once that size has come.
    if (event->type() == QEvent::WindowStateChange)
        m_fitWhenRestored = !(windowState() & WholeScreenStates);
}

void TReportForm::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    if (m_fitWhenRestored && !(windowState() & WholeScreenStates)) {
        m_fitWhenRestored = false;
        fitFrameToWorkArea();
    }
}

void TReportForm::fitFrameToWorkArea()
{
    const QRect area = m_dm.MainObject->WorkArea;
    const QRect outer = frameGeometry();
    if (area.isEmpty() || area.contains(outer))
        return;
    const QRect inner = geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
    setGeometry(area.marginsRemoved(frame));
}

ReportKind TReportForm::Kind() const
{
    return ReportKind(cbReport->currentData().toInt());
}

void TReportForm::setZoom(int percent)
{
    frPreview->setZoom(percent / 100.0);
}

QString TReportForm::PdfFileName() const
{
    const QString format = QStringLiteral("dd.MM.yyyy");
    QString period = dOT->date().toString(format);
    if (dDo->date() != dOT->date())
        period += u'-' + dDo->date().toString(format);
    return cbReport->currentText() + u' ' + period + QStringLiteral(".pdf");
}

QString TReportForm::choosePdfFile()
{
    return ui::choosePdfFile(this, *m_dm.MainObject, PdfFileName());
}

void TReportForm::setRunning(bool running)
{
    m_running = running;
    for (QWidget* w :
         std::initializer_list<QWidget*>{cbReport, dOT, dDo, sbPeriod, bbPreview, bbPrint, bbPdf})
        w->setEnabled(!running);
}

void TReportForm::reject()
{
    if (m_running) {
        m_closeAfterRun = true; // closed once the run has stopped
        m_run->stop();
        return;
    }
    done(2);
}

void TReportForm::sayNotMade(Output output, const QString& reason)
{
    QString message = output == Output::Printer ? QStringLiteral("Ошибка в модуле PrintReport !")
                                                : QStringLiteral("Не могу показать отчет !");
    if (!reason.isEmpty())
        message += u'\n' + reason;
    ShowDialog(message, 1, 1, Caption);
}

void TReportForm::RunReport(Output output)
{
    // A second run must not start inside this one, over the same pages and totals.
    if (m_running)
        return;
    const ReportKind kind = Kind();
    ReportRun::Request request;
    {
        const ui::WaitCursor busy;
        const bool guarded = ui::guarded(this, [&] {
            m_dm.EnsureUsable();
            if (kind == ReportKind::Detailed)
                request.indexes = m_dm.DateIndexes();
        });
        if (!guarded)
            return;
        const QString path = m_dm.MainObject->ProgramDir + TemplateName(kind);
        if (cbReport->currentIndex() < 0 || !QFile::exists(path)) {
            ShowDialog(QStringLiteral("Файл не найден !"), 1, 1, Caption);
            return;
        }
        // Why a template cannot be used goes under the message, so that whoever edits it
        // sees the file, the line and the fault.
        if (!request.layout.load(path)) {
            sayNotMade(output, request.layout.errorString());
            return;
        }
    }
    m_pdfFile.clear();
    if (output == Output::Pdf && (m_pdfFile = choosePdfFile()).isEmpty())
        return; // nothing asked for, nothing to say
    request.place = readingPlaceOf(m_dm);
    request.kind = kind;
    request.from = dOT->date();
    request.to = dDo->date();
    request.settings = m_dm.MainObject.get();
    request.showPages = output == Output::Preview;
    m_output = output;
    m_runKind = kind;
    m_partial = false;
    m_focused = focusWidget();
    setRunning(true);
    // The busy window tells the pages so far; Escape stops, keeping what is on show.
    m_wait = std::make_unique<TWaitForm>(this);
    m_wait->ProgressBar->setRange(0, 0);
    m_wait->ProgressBar->show();
    m_wait->show();
    m_escape = std::make_unique<EscapeWatch>([this] { m_run->stop(); });
    m_run->start(std::move(request));
}

void TReportForm::runEnded(ReportRun::State state)
{
    m_escape.reset();
    m_wait.reset();
    static_cast<ReportTotals&>(*this) = m_run->totals();
    if (m_partial && state != ReportRun::State::Finished)
        frPreview->setReport(m_shown); // the pages the preview showed before
    m_partial = false;
    const bool closing = m_closeAfterRun;
    switch (state) {
    case ReportRun::State::Failed:
        try {
            std::rethrow_exception(m_run->failure());
        } catch (const runs::RunFailure& e) {
            sayNotMade(m_output, e.text()); // the engine's reason
        } catch (...) {
            ui::showFailure(this, std::current_exception());
        }
        break;
    case ReportRun::State::Stopped:
        // A print asked for and not made is said; a stopped preview or file is not, nor a
        // run stopped because the window closes.
        if (m_output == Output::Printer && !closing)
            ShowDialog(QStringLiteral("Ошибка в модуле PrintReport !"), 1, 1, Caption);
        break;
    case ReportRun::State::Finished:
        if (m_run->noTariffs()) {
            ShowDialog(NoTariffsText(), 1, 1, Caption);
            break;
        }
        m_prepared = m_run->pages();
        if (m_output == Output::Preview) {
            m_shown = m_prepared;
            frPreview->setReport(m_shown);
        } else if (closing) {
            // The window goes: nothing more to print or save.
        } else if (m_output == Output::Printer) {
            QString error;
            const ui::WaitCursor busy;
            if (!PrintHook(*m_prepared, error))
                ShowDialog(QStringLiteral("Ошибка в модуле PrintReport !"), 1, 1, Caption);
        } else {
            report::ReportOutput pdf;
            bool written = false;
            {
                const ui::WaitCursor busy;
                written = pdf.writePdf(*m_prepared, m_pdfFile);
            }
            if (written)
                m_dm.MainObject->LastExportDir = QFileInfo(m_pdfFile).absolutePath();
            else
                Messages::error(QStringLiteral("Не удалось записать файл %1\n%2")
                                    .arg(QDir::toNativeSeparators(m_pdfFile), pdf.errorString()),
                                this);
        }
        break;
    case ReportRun::State::Idle:
    case ReportRun::State::Running:
        break;
    }
    setRunning(false);
    if (m_focused)
        m_focused->setFocus();
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        done(2);
    }
}

std::optional<QVariant> TReportForm::frReportGetValue(const QString& ParName) const
{
    // The cost report's rows are its own: of the variables, those that need no row.
    if (m_runKind == ReportKind::Cost)
        return ReportTotalValue(ParName, *this);
    return ReportValue(ParName, m_dm.ibQueryReport, *this, *m_dm.MainObject);
}

QString TReportForm::NoTariffsText()
{
    return QStringLiteral("В базе данных нет тарифов: стоимость звонков не считается.\n"
                          "Тарифы задаются в окне \"Тарифы\" (меню \"Статистика\").");
}
