#include "TReportForm.h"

#include "app/Messages.h"
#include "app/TDlgForm.h"
#include "app/TWaitForm.h"
#include "data/CallRecord.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "db/DbError.h"
#include "report/ReportPreview.h"
#include "report/ReportTemplate.h"
#include "settings/TMainObject.h"
#include "ui/common/Guarded.h"
#include "ui/common/Widgets.h"
#include "ui/controls/PeriodButton.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>

const char* const TReportForm::Templates[3] = {"report1.frf", "report2.frf", "report3.frf"};

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

// The report query's current row as the engine sees it.
class QuerySource : public report::ReportDataSource
{
public:
    explicit QuerySource(db::Query& q) : m_q(q) {}
    void first() override { m_q.first(); }
    void next() override { m_q.next(); }
    bool eof() const override { return m_q.eof(); }
    std::optional<QVariant> value(const QString& name) const override
    {
        const db::Field* f = m_q.findField(name);
        if (!f)
            return std::nullopt;
        return f->isNull() ? QVariant(QString()) : QVariant(f->displayText());
    }

private:
    db::Query& m_q;
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
    cbReport->addItems({QStringLiteral("Сводный отчет"), QStringLiteral("Детальный отчет"),
                        QStringLiteral("Отчет по внешним линиям")});
    cbReport->setCurrentIndex(0);
    dOT = new QDateEdit(QDate::currentDate(), this);
    dOT->setObjectName(QStringLiteral("dOT"));
    dDo = new QDateEdit(QDate::currentDate(), this);
    dDo->setObjectName(QStringLiteral("dDo"));
    for (QDateEdit* d : {dOT, dDo}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    }
    bbPrint = new QPushButton(style()->standardIcon(QStyle::SP_FileDialogDetailedView),
                              QStringLiteral("Печать"), this);
    bbPrint->setObjectName(QStringLiteral("bbPrint"));
    bbPreview = new QPushButton(style()->standardIcon(QStyle::SP_FileDialogContentsView),
                                QStringLiteral("Просмотр"), this);
    bbPreview->setObjectName(QStringLiteral("bbPreview"));
    for (QPushButton* b : {bbPrint, bbPreview})
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
    connect(bbPrint, &QPushButton::clicked, this, [this] { RunReport(false); });

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
        report::ReportEngine engine;
        if (engine.print(r, printer))
            return true;
        error = engine.errorString();
        return false;
    };
    const QRect area = dm.MainObject->WorkArea;
    setGeometry(QRect(0, 0, area.right() + 1, area.bottom() + 1).intersected(area));
}

void TReportForm::setZoom(int percent)
{
    frPreview->setZoom(percent / 100.0);
}

void TReportForm::RunReport(bool Preview)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString templateName;
    SCntInRing = SCntOutRing = SCntAllRing = SInRing = SOutRing = SAllRing = 0;
    const QDateTime start(dOT->date(), QTime(0, 0, 0, 0));
    const QDateTime end(dDo->date(), QTime(23, 59, 59, 59));
    const QLocale l;
    ReportTitle = dOT->date() == dDo->date()
                      ? QStringLiteral("Отчет за ") + l.toString(dOT->date(), QLocale::ShortFormat)
                      : QStringLiteral("Отчет за период с ") +
                            l.toString(dOT->date(), QLocale::ShortFormat) + QStringLiteral(" по ") +
                            l.toString(dDo->date(), QLocale::ShortFormat);
    db::Query& q = m_dm.ibQueryReport;
    const int index = cbReport->currentIndex();
    try {
        m_dm.EnsureUsable();
        if (index >= 0 && index <= 2) {
            templateName = QLatin1String(Templates[index]);
            const bool detail = index == 1;
            q.close();
            stmt::report(index, start, end).applyTo(q);
            q.open();
            for (q.first(); !q.eof(); q.next()) {
                if (detail) {
                    ++SCntAllRing;
                    SAllRing += q.field(QStringLiteral("RingLength")).asInt64();
                } else {
                    SCntInRing += q.field(QStringLiteral("CntInRing")).asInt64();
                    SCntOutRing += q.field(QStringLiteral("CntOutRing")).asInt64();
                    SInRing += q.field(QStringLiteral("InRing")).asInt64();
                    SOutRing += q.field(QStringLiteral("OutRing")).asInt64();
                }
            }
            if (!detail) {
                SCntAllRing += SCntInRing + SCntOutRing;
                SAllRing += SInRing + SOutRing;
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
        QuerySource source(q);
        // Shown in the preview as soon as its first page is laid out, growing meanwhile.
        const auto pages = std::make_shared<report::PreparedReport>();
        bool showing = false;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        // Why a template cannot be used goes under the message, so that whoever edits it
        // sees the file, the line and the fault.
        bool ok = layout.load(path);
        QString reason = ok ? QString() : layout.errorString();
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
                return !escape.pressed;
            });
            ok = engine.prepare(
                layout, source, [this](const QString& n) { return frReportGetValue(n); }, *pages);
            if (!ok)
                reason = engine.errorString();
        }
        QApplication::restoreOverrideCursor();
        if (showing && (!ok || engine.cancelled()))
            frPreview->setReport(m_prepared); // the pages on show before
        if (engine.cancelled()) {
            q.close();
            return;
        }
        const auto withReason = [&reason](const QString& message) {
            return reason.isEmpty() ? message : message + u'\n' + reason;
        };
        if (Preview) {
            if (ok) {
                m_prepared = pages;
                frPreview->setReport(m_prepared);
            } else {
                ShowDialog(withReason(QStringLiteral("Не могу показать отчет !")), 1, 1, Caption);
            }
        } else {
            QString error;
            if (ok)
                m_prepared = pages;
            if (!ok || !PrintHook(*m_prepared, error))
                ShowDialog(withReason(QStringLiteral("Ошибка в модуле PrintReport !")), 1, 1,
                           Caption);
        }
    }
    q.close();
}

std::optional<QVariant> TReportForm::frReportGetValue(const QString& ParName) const
{
    const db::Query& q = m_dm.ibQueryReport;
    // A column the current report's query lacks reads as nothing: the variable prints empty.
    auto integer = [&q](const char* name) -> std::optional<qint64> {
        const db::Field* f = q.findField(QLatin1String(name));
        return f ? std::optional<qint64>(f->asInt64()) : std::nullopt;
    };
    auto text = [&q](const char* name) -> std::optional<QString> {
        const db::Field* f = q.findField(QLatin1String(name));
        return f ? std::optional<QString>(f->isNull() ? QString() : f->plainText()) : std::nullopt;
    };
    const TMainObject& settings = *m_dm.MainObject;
    const QString& n = ParName;
    if (n == QLatin1String("GetTitle"))
        return ReportTitle;
    if (n == QLatin1String("GetSCntInRing"))
        return SCntInRing;
    if (n == QLatin1String("GetSCntOutRing"))
        return SCntOutRing;
    if (n == QLatin1String("GetSCntAllRing"))
        return SCntAllRing;
    if (n == QLatin1String("GetSInRing"))
        return DurationText(SInRing);
    if (n == QLatin1String("GetSOutRing"))
        return DurationText(SOutRing);
    if (n == QLatin1String("GetSAllRing"))
        return DurationText(SAllRing);

    const QVariant empty = QString();
    if (n == QLatin1String("GetCntInRing") || n == QLatin1String("GetCntOutRing") ||
        n == QLatin1String("GetCntAllRing")) {
        const std::optional<qint64> in = integer("CntInRing");
        const std::optional<qint64> out = integer("CntOutRing");
        if (n == QLatin1String("GetCntInRing"))
            return in ? QVariant(*in) : empty;
        if (n == QLatin1String("GetCntOutRing"))
            return out ? QVariant(*out) : empty;
        return in && out ? QVariant(*in + *out) : empty;
    }
    if (n == QLatin1String("GetInRing") || n == QLatin1String("GetOutRing") ||
        n == QLatin1String("GetAllRing")) {
        const std::optional<qint64> in = integer("InRing");
        const std::optional<qint64> out = integer("OutRing");
        if (n == QLatin1String("GetInRing"))
            return in ? QVariant(DurationText(*in)) : empty;
        if (n == QLatin1String("GetOutRing"))
            return out ? QVariant(DurationText(*out)) : empty;
        return in && out ? QVariant(DurationText(*in + *out)) : empty;
    }
    if (n == QLatin1String("GetDate")) {
        const auto y = integer("RYear"), m = integer("RMont"), d = integer("RDay");
        if (!y || !m || !d)
            return empty;
        const QDate date{int(*y + 2000), int(*m), int(*d)};
        return date.isValid() ? QVariant(date) : empty;
    }
    if (n == QLatin1String("GetTime")) {
        const auto h = integer("RHour"), m = integer("RMin"), s = integer("RSec");
        if (!h || !m || !s)
            return empty;
        const QTime time{int(*h), int(*m), int(*s)};
        return time.isValid() ? QVariant(time) : empty;
    }
    if (n == QLatin1String("GetLenTime")) {
        const auto len = integer("RingLength");
        return len ? QVariant(DurationText(*len)) : empty;
    }
    if (n == QLatin1String("GetNumberOut")) {
        const auto v = integer("NumberOut");
        if (!v)
            return empty;
        return *v == 0 ? QVariant(QStringLiteral("входящий"))
                       : QVariant(settings.FormatPhoneNumber(*text("NumberOut")));
    }
    if (n == QLatin1String("GetNumberTown")) {
        const auto t = text("NumberTown");
        return t ? QVariant(settings.FormatPhoneNumber(*t)) : empty;
    }
    return std::nullopt;
}
