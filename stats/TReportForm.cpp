#include "TReportForm.h"

#include "CostReport.h"
#include "ReportValues.h"

#include "app/Messages.h"
#include "app/TDlgForm.h"
#include "app/TWaitForm.h"
#include "data/CallRecord.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "data/TariffStore.h"
#include "db/DbError.h"
#include "report/ReportOutput.h"
#include "report/ReportPreview.h"
#include "report/ReportTemplate.h"
#include "settings/TMainObject.h"
#include "ui/common/Guarded.h"
#include "ui/common/Widgets.h"
#include "ui/controls/DateField.h"
#include "ui/controls/PeriodButton.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPointer>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>

namespace {

// Escape pressed anywhere in the program while it watches.
class EscapeWatch : public QObject
{
public:
    EscapeWatch() { qApp->installEventFilter(this); }
    ~EscapeWatch() override { qApp->removeEventFilter(this); }
    bool pressed = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            pressed = true;
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

const QString Caption = QStringLiteral("Внимание !");

} // namespace

TReportForm::TReportForm(TDM& dm, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowMaximizeButtonHint),
      m_dm(dm)
{
    setObjectName(QStringLiteral("ReportForm"));
    setWindowTitle(QStringLiteral("Отчеты"));
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setBold(true);
    setFont(f);

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
        report::ReportOutput output;
        if (output.print(r, printer))
            return true;
        error = output.errorString();
        return false;
    };
    const QRect area = dm.MainObject->WorkArea;
    setGeometry(QRect(0, 0, area.right() + 1, area.bottom() + 1).intersected(area));
}

ReportKind TReportForm::Kind() const
{
    return ReportKind(cbReport->currentData().toInt());
}

void TReportForm::loadBook(ReportKind kind)
{
    Book.reset();
    if (kind == ReportKind::Cost) {
        Book = tariff::load(m_dm.ibDatabase, m_dm.ibTranRO); // a failure is the run's
    } else if (kind == ReportKind::Detailed) {
        try {
            Book = tariff::load(m_dm.ibDatabase, m_dm.ibTranRO);
        } catch (const db::DbError&) {
            Book.reset(); // the calls are listed as ever, without costs
        }
    }
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
    const TMainObject& settings = *m_dm.MainObject;
    const QString folder =
        !settings.LastExportDir.isEmpty() && QDir(settings.LastExportDir).exists()
            ? settings.LastExportDir
            : settings.ProgramDir;
    QFileDialog dialog(this, QStringLiteral("Сохранить отчет в файл PDF"), folder);
    dialog.setObjectName(QStringLiteral("PdfDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("PDF (*.pdf)"));
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    dialog.selectFile(PdfFileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
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
        m_closeAfterRun = true; // the run sees it at its next step and stops
        return;
    }
    done(2);
}

void TReportForm::RunReport(Output output)
{
    // The busy window lets events through while the pages are laid out: a second run must not
    // start inside this one, over the same query and totals.
    if (m_running)
        return;
    QPointer<QWidget> focused = focusWidget();
    setRunning(true);
    const auto ended = qScopeGuard([this, focused] {
        setRunning(false);
        if (focused)
            focused->setFocus();
        if (m_closeAfterRun) {
            m_closeAfterRun = false;
            done(2);
        }
    });
    const bool Preview = output == Output::Preview;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString templateName;
    clearTotals();
    const QDateTime start = stmt::Period{dOT->date(), dDo->date()}.start();
    const QDateTime end = stmt::Period{dOT->date(), dDo->date()}.end();
    ReportTitle = ReportTitleText(dOT->date(), dDo->date());
    db::Query& q = m_dm.ibQueryReport;
    const ReportKind kind = Kind();
    m_runKind = kind;
    std::unique_ptr<CostReport> costRows;
    try {
        m_dm.EnsureUsable();
        if (cbReport->currentIndex() >= 0) {
            templateName = TemplateName(kind);
            q.close();
            loadBook(kind);
            if (kind == ReportKind::Cost) {
                if (!priced()) {
                    QApplication::restoreOverrideCursor();
                    ShowDialog(NoTariffsText(), 1, 1, Caption);
                    return;
                }
                // Every call rated once, by the rules read once; then the names.
                costRows = std::make_unique<CostReport>(Book);
                stmt::pricedCalls(start, end).applyTo(q);
                q.open();
                costRows->addCalls(q);
                q.close();
                stmt::subscriberDepts().applyTo(q);
                q.open();
                costRows->setSubscribers(q);
                q.close();
                costRows->finish();
                const CostReport::Sum& total = costRows->total();
                SCntOutRing = SCntAllRing = total.calls;
                SCost = total.kopecks;
                SBilled = total.billed;
                SNoTariff = total.noTariff;
            } else {
                stmt::report(kind, start, end).applyTo(q);
                q.open();
                addTotals(q, kind == ReportKind::Detailed);
            }
        }
    } catch (...) {
        QApplication::restoreOverrideCursor();
        q.close();
        ui::showFailure(this, std::current_exception());
        return;
    }
    QApplication::restoreOverrideCursor();

    const QString path = m_dm.MainObject->ProgramDir + templateName;
    if (templateName.isEmpty() || !QFile::exists(path)) {
        ShowDialog(QStringLiteral("Файл не найден !"), 1, 1, Caption);
    } else {
        report::ReportTemplate layout;
        report::ReportEngine engine;
        QueryReportSource querySource(q);
        report::ReportDataSource& source =
            costRows ? static_cast<report::ReportDataSource&>(*costRows) : querySource;
        // Shown in the preview as soon as its first page is laid out, growing meanwhile.
        const auto pages = std::make_shared<report::PreparedReport>();
        bool showing = false;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        // Why a template cannot be used goes under the message, so that whoever edits it
        // sees the file, the line and the fault.
        bool ok = layout.load(path);
        QString reason = ok ? QString() : layout.errorString();
        QString pdfFile;
        if (ok && output == Output::Pdf) {
            QApplication::restoreOverrideCursor();
            pdfFile = choosePdfFile();
            if (pdfFile.isEmpty()) { // nothing asked for, nothing to say
                q.close();
                return;
            }
            QApplication::setOverrideCursor(Qt::WaitCursor);
        }
        if (ok) {
            // The busy window tells the pages so far; Escape stops, keeping what is on show.
            TWaitForm wait(this);
            wait.ProgressBar->setRange(0, 0);
            wait.ProgressBar->show();
            wait.show();
            EscapeWatch escape;
            QElapsedTimer shown;
            shown.start();
            engine.setProgress([&](int page, int total) {
                if (shown.elapsed() >= 100) {
                    shown.restart();
                    if (total > 0 && wait.ProgressBar->maximum() != total)
                        wait.ProgressBar->setRange(0, total);
                    if (total > 0)
                        wait.ProgressBar->setValue(page);
                    if (Preview && total > 0 && page > 1) {
                        if (!showing)
                            frPreview->setReport(pages);
                        else
                            frPreview->reportGrew();
                        showing = true;
                    }
                    QApplication::processEvents();
                }
                return !escape.pressed && !m_closeAfterRun;
            });
            ok = engine.prepare(
                layout, source, [this](const QString& n) { return frReportGetValue(n); }, *pages);
            if (!ok)
                reason = engine.errorString();
        }
        QApplication::restoreOverrideCursor();
        if (showing && (!ok || engine.cancelled()))
            frPreview->setReport(m_shown); // the pages the preview showed before
        if (engine.cancelled()) {
            // A print asked for and not made is said; a stopped preview or file is not, nor a
            // run stopped because the window closes.
            if (output == Output::Printer && !m_closeAfterRun)
                ShowDialog(QStringLiteral("Ошибка в модуле PrintReport !"), 1, 1, Caption);
            q.close();
            return;
        }
        const auto withReason = [&reason](const QString& message) {
            return reason.isEmpty() ? message : message + u'\n' + reason;
        };
        if (Preview) {
            if (ok) {
                m_prepared = pages;
                m_shown = pages;
                frPreview->setReport(m_shown);
            } else {
                ShowDialog(withReason(QStringLiteral("Не могу показать отчет !")), 1, 1, Caption);
            }
        } else if (output == Output::Printer) {
            QString error;
            if (ok)
                m_prepared = pages;
            if (!ok || !PrintHook(*m_prepared, error))
                ShowDialog(withReason(QStringLiteral("Ошибка в модуле PrintReport !")), 1, 1,
                           Caption);
        } else if (!ok) {
            ShowDialog(withReason(QStringLiteral("Не могу показать отчет !")), 1, 1, Caption);
        } else {
            m_prepared = pages;
            QApplication::setOverrideCursor(Qt::WaitCursor);
            report::ReportOutput pdf;
            const bool written = pdf.writePdf(*m_prepared, pdfFile);
            QApplication::restoreOverrideCursor();
            if (written)
                m_dm.MainObject->LastExportDir = QFileInfo(pdfFile).absolutePath();
            else
                Messages::error(QStringLiteral("Не удалось записать файл %1\n%2")
                                    .arg(QDir::toNativeSeparators(pdfFile), pdf.errorString()),
                                this);
        }
    }
    q.close();
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
