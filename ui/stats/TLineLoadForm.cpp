// The window of the load of lines: its choices, the run on a worker and the four result tabs.
#include "TLineLoadForm.h"

#include "runs/ErlangB.h"
#include "runs/LineLoadRun.h"
#include "app/Messages.h"
#include "data/CallRecord.h"
#include "data/TDM.h"
#include "ui/common/Guarded.h"
#include "ui/common/Widgets.h"
#include "ui/controls/DateField.h"
#include "ui/controls/PeriodButton.h"
#include "ui/controls/TComboQuery.h"
#include "ui/common/TFileForm.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegend>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <cmath>

namespace {

const QString ShowText = QStringLiteral("Показать");
const QString StopText = QStringLiteral("Стоп");
const char* const DayNames[7] = {"Пн", "Вт", "Ср", "Чт", "Пт", "Сб", "Вс"};

QTableWidget* table(QWidget* parent, const QString& name, const QStringList& titles)
{
    auto* t = new QTableWidget(0, int(titles.size()), parent);
    t->setObjectName(name);
    t->setHorizontalHeaderLabels(titles);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

// A cell; `number` (when valid) is what a spreadsheet gets instead of the text, and the
// text stands on the right unless `left`.
void setCell(QTableWidget* t, int row, int column, const QString& text, const QVariant& number = {},
             bool left = false)
{
    auto* item = new QTableWidgetItem(text);
    if (number.isValid()) {
        item->setData(Qt::UserRole, number);
        if (!left)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    t->setItem(row, column, item);
}

QString fixed(double v, int decimals)
{
    return QLocale().toString(v, 'f', decimals);
}

QString hourText(int hour)
{
    return QStringLiteral("%1:00–%2:00")
        .arg(hour, 2, 10, QLatin1Char('0'))
        .arg(hour + 1, 2, 10, QLatin1Char('0'));
}

QString dateText(const QDate& d)
{
    return QLocale().toString(d, QLocale::ShortFormat);
}

QString busyText(qint64 seconds)
{
    return seconds > 0 ? DurationText(seconds).trimmed() : QStringLiteral("0");
}

} // namespace

TLineLoadForm::TLineLoadForm(TDM& dm, const QDate& from, const QDate& to, TComboQuery& lines,
                             QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowMaximizeButtonHint),
      m_dm(dm)
{
    setObjectName(QStringLiteral("LineLoadForm"));
    setWindowTitle(QStringLiteral("Нагрузка на линии"));
    m_run = new LineLoadRun(this);
    connect(m_run, &LineLoadRun::progress, this, [this](qint64 calls) {
        PanelProgress->setText(QStringLiteral("Прочитано звонков: ") + QLocale().toString(calls));
    });
    connect(m_run, &LineLoadRun::finished, this,
            [this](LineLoadRun::State state) { runFinished(int(state)); });

    // The period.
    dOT = new DateField(from, this);
    dOT->setObjectName(QStringLiteral("dOT"));
    dDo = new DateField(to, this);
    dDo->setObjectName(QStringLiteral("dDo"));
    sbPeriod = new PeriodButton(dOT, dDo, this);
    auto* period = new QGridLayout;
    period->addWidget(ui::labelFor(QStringLiteral("Период с"), dOT, this), 0, 0);
    period->addWidget(dOT, 0, 1);
    period->addWidget(ui::labelFor(QStringLiteral("по"), dDo, this), 0, 2);
    period->addWidget(dDo, 0, 3);
    period->addWidget(sbPeriod, 1, 1, Qt::AlignLeft);

    // The lines, all checked: item i + 1 of the list is row i of its query.
    clbLines = new QListWidget(this);
    clbLines->setObjectName(QStringLiteral("clbLines"));
    db::Query& q = lines.Query();
    for (int i = 1; i < lines.count(); ++i) {
        int key = 0;
        ui::guarded(this, [&] {
            if (q.isOpen() && std::size_t(i - 1) < q.recordCount())
                key = q.atRow(i - 1,
                              [&] { return q.field(QStringLiteral("NumberLine")).asInteger(); });
        });
        auto* item = new QListWidgetItem(lines.itemText(i), clbLines);
        item->setData(Qt::UserRole, key);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    pmAllOrNot = new QMenu(this);
    pmAllOrNot->setObjectName(QStringLiteral("pmAllOrNot"));
    auto setAll = [this](bool on) {
        for (int i = 0; i < clbLines->count(); ++i)
            clbLines->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    };
    pmAllOrNot->addAction(QStringLiteral("Все"), this, [setAll] { setAll(true); });
    pmAllOrNot->addAction(QStringLiteral("Отменить все"), this, [setAll] { setAll(false); });
    clbLines->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(clbLines, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { pmAllOrNot->popup(clbLines->viewport()->mapToGlobal(p)); });
    auto* linesLabel = ui::labelFor(QStringLiteral("&Линии"), clbLines, this);

    // Working time.
    cbWorkTime = new QCheckBox(QStringLiteral("Только рабочее время"), this);
    cbWorkTime->setObjectName(QStringLiteral("cbWorkTime"));
    seHourFrom = new QSpinBox(this);
    seHourFrom->setObjectName(QStringLiteral("seHourFrom"));
    seHourFrom->setRange(0, 23);
    seHourFrom->setValue(9);
    seHourTo = new QSpinBox(this);
    seHourTo->setObjectName(QStringLiteral("seHourTo"));
    seHourTo->setRange(1, 24);
    seHourTo->setValue(18);
    auto* hours = new QHBoxLayout;
    hours->addWidget(ui::labelFor(QStringLiteral("с"), seHourFrom, this));
    hours->addWidget(seHourFrom);
    hours->addWidget(ui::labelFor(QStringLiteral("до"), seHourTo, this));
    hours->addWidget(seHourTo);
    hours->addWidget(new QLabel(QStringLiteral("ч"), this));
    hours->addStretch();
    auto* days = new QHBoxLayout;
    for (int d = 0; d < 7; ++d) {
        cbDays[d] = new QCheckBox(QString::fromUtf8(DayNames[d]), this);
        cbDays[d]->setObjectName(QStringLiteral("cbDay%1").arg(d + 1));
        cbDays[d]->setChecked(d < 5);
        days->addWidget(cbDays[d]);
    }
    days->addStretch();
    connect(cbWorkTime, &QCheckBox::toggled, this, &TLineLoadForm::cbWorkTimeClick);

    seGrade = new QDoubleSpinBox(this);
    seGrade->setObjectName(QStringLiteral("seGrade"));
    seGrade->setRange(0.01, 50);
    seGrade->setDecimals(2);
    seGrade->setSingleStep(0.5);
    seGrade->setValue(1.0);
    seGrade->setSuffix(QStringLiteral(" %"));
    connect(seGrade, &QDoubleSpinBox::valueChanged, this, &TLineLoadForm::seGradeChange);
    auto* grade = new QHBoxLayout;
    grade->addWidget(ui::labelFor(QStringLiteral("Допустимые &потери вызовов"), seGrade, this));
    grade->addWidget(seGrade);
    grade->addStretch();

    bbSave = new QPushButton(style()->standardIcon(QStyle::SP_MediaPlay), ShowText, this);
    bbSave->setObjectName(QStringLiteral("bbSave"));
    bbExport = new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton),
                               QStringLiteral("Экспорт"), this);
    bbExport->setObjectName(QStringLiteral("bbExport"));
    bbCancel = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton),
                               QStringLiteral("Закрыть"), this);
    bbCancel->setObjectName(QStringLiteral("bbCancel"));
    for (QPushButton* b : {bbSave, bbExport, bbCancel})
        b->setAutoDefault(false);
    connect(bbSave, &QPushButton::clicked, this, &TLineLoadForm::bbSaveClick);
    connect(bbExport, &QPushButton::clicked, this, &TLineLoadForm::bbExportClick);
    connect(bbCancel, &QPushButton::clicked, this, &TLineLoadForm::reject);
    PanelProgress = new QLabel(this);
    PanelProgress->setObjectName(QStringLiteral("PanelProgress"));
    PanelProgress->setWordWrap(true);

    // The result.
    PageResult = new QTabWidget(this);
    PageResult->setObjectName(QStringLiteral("PageResult"));
    GridSummary = table(this, QStringLiteral("GridSummary"),
                        {QStringLiteral("Показатель"), QStringLiteral("Значение")});
    GridHours = table(this, QStringLiteral("GridHours"),
                      {QStringLiteral("Час"), QStringLiteral("Нагрузка, Эрл"),
                       QStringLiteral("Наибольшее число занятых линий"),
                       QStringLiteral("Время занятости линий")});
    GridLines =
        table(this, QStringLiteral("GridLines"),
              {QStringLiteral("Линия"), QStringLiteral("Звонков"),
               QStringLiteral("Время занятости"), QStringLiteral("Доля периода, %"),
               QStringLiteral("Доля рабочего времени, %"), QStringLiteral("Самый долгий звонок")});

    auto* chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setBackgroundRoundness(0);
    SeriesTraffic = new QBarSeries(chart);
    SeriesTraffic->setObjectName(QStringLiteral("SeriesTraffic"));
    auto* trafficSet = new QBarSet(QStringLiteral("Нагрузка, Эрл"));
    trafficSet->setColor(QColor(70, 130, 180));
    SeriesTraffic->append(trafficSet);
    SeriesPeak = new QLineSeries(chart);
    SeriesPeak->setObjectName(QStringLiteral("SeriesPeak"));
    SeriesPeak->setName(QStringLiteral("Наибольшее число занятых линий"));
    SeriesPeak->setPointsVisible(true);
    SeriesPeak->setColor(QColor(200, 60, 40));
    chart->addSeries(SeriesTraffic);
    chart->addSeries(SeriesPeak);
    auto* axisX = new QBarCategoryAxis(chart);
    for (int h = 0; h < 24; ++h)
        axisX->append(QString::number(h));
    axisX->setTitleText(QStringLiteral("Час"));
    auto* axisY = new QValueAxis(chart);
    axisY->setTitleText(QStringLiteral("Линий"));
    axisY->setLabelFormat(QStringLiteral("%g"));
    axisY->setRange(0, 1);
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);
    for (QAbstractSeries* s : chart->series()) {
        s->attachAxis(axisX);
        s->attachAxis(axisY);
    }
    chart->legend()->setAlignment(Qt::AlignBottom);
    ChartHours = new QChartView(chart, this);
    ChartHours->setObjectName(QStringLiteral("ChartHours"));
    ChartHours->setRenderHint(QPainter::Antialiasing);
    ChartHours->setMinimumSize(480, 320);

    PageResult->addTab(GridSummary, QStringLiteral("Итоги"));
    PageResult->addTab(GridHours, QStringLiteral("По часам"));
    PageResult->addTab(GridLines, QStringLiteral("По линиям"));
    PageResult->addTab(ChartHours, QStringLiteral("График"));
    connect(PageResult, &QTabWidget::currentChanged, this, &TLineLoadForm::updateExport);

    auto* left = new QVBoxLayout;
    left->addLayout(period);
    left->addWidget(linesLabel);
    left->addWidget(clbLines, 1);
    left->addWidget(cbWorkTime);
    left->addLayout(hours);
    left->addLayout(days);
    left->addLayout(grade);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(bbSave);
    buttons->addWidget(bbExport);
    buttons->addWidget(bbCancel);
    left->addLayout(buttons);
    left->addWidget(PanelProgress);
    auto* main = new QHBoxLayout(this);
    main->addLayout(left, 0);
    main->addWidget(PageResult, 1);

    cbWorkTimeClick();
    updateExport();
    resize(1100, 640);
}

TLineLoadForm::~TLineLoadForm()
{
    // The worker goes first: nothing it says may reach a window half gone.
    delete m_run;
}

bool TLineLoadForm::running() const
{
    return m_run->running();
}

void TLineLoadForm::cbWorkTimeClick()
{
    const bool on = cbWorkTime->isChecked() && !running();
    seHourFrom->setEnabled(on);
    seHourTo->setEnabled(on);
    for (QCheckBox* d : cbDays)
        d->setEnabled(on);
}

void TLineLoadForm::setRunning(bool on)
{
    for (QWidget* w : std::initializer_list<QWidget*>{dOT, dDo, sbPeriod, clbLines, cbWorkTime})
        w->setEnabled(!on);
    cbWorkTimeClick();
    bbSave->setText(on ? StopText : ShowText);
    bbSave->setIcon(style()->standardIcon(on ? QStyle::SP_MediaStop : QStyle::SP_MediaPlay));
    updateExport();
}

void TLineLoadForm::updateExport()
{
    bbExport->setEnabled(m_hasResult && !running() && PageResult->currentWidget() != ChartHours);
}

void TLineLoadForm::bbSaveClick()
{
    if (running()) {
        m_run->stop();
        return;
    }
    LineLoadOptions options;
    options.from = dOT->date();
    options.to = dDo->date();
    QStringList texts;
    for (int i = 0; i < clbLines->count(); ++i)
        if (clbLines->item(i)->checkState() == Qt::Checked) {
            options.lines.push_back(clbLines->item(i)->data(Qt::UserRole).toInt());
            texts << clbLines->item(i)->text();
        }
    options.workingTime = cbWorkTime->isChecked();
    options.hourFrom = seHourFrom->value();
    options.hourTo = seHourTo->value();
    bool anyDay = false;
    for (int d = 0; d < 7; ++d) {
        options.days[std::size_t(d)] = cbDays[d]->isChecked();
        anyDay = anyDay || cbDays[d]->isChecked();
    }
    if (options.lines.empty()) {
        Messages::plain(QStringLiteral("Надо отметить хотя бы ОДНУ линию"), this);
        return;
    }
    if (options.from > options.to) {
        Messages::plain(QStringLiteral("Начало периода позже его конца"), this);
        return;
    }
    if (options.workingTime && options.hourFrom >= options.hourTo) {
        Messages::plain(QStringLiteral("Рабочее время должно начинаться раньше, чем кончается"),
                        this);
        return;
    }
    if (options.workingTime && !anyDay) {
        Messages::plain(QStringLiteral("Надо отметить хотя бы один рабочий день"), this);
        return;
    }
    LineLoadRun::Request request;
    const bool ready = ui::guarded(this, [&] {
        m_dm.EnsureUsable();
        request.navigateByDate = m_dm.HasIndexes({QStringLiteral("IX_RINGS_DATE")});
    });
    if (!ready)
        return;
    request.place = readingPlaceOf(m_dm);
    request.options = options;
    m_pendingTexts = texts;
    m_pendingOptions = options;
    PanelProgress->setText(QStringLiteral("Идёт расчёт ..."));
    m_run->start(request);
    setRunning(true);
}

void TLineLoadForm::runFinished(int state)
{
    setRunning(false);
    switch (LineLoadRun::State(state)) {
    case LineLoadRun::State::Finished:
        m_result = m_run->result();
        m_lineTexts = m_pendingTexts;
        m_options = m_pendingOptions;
        m_hasResult = true;
        PanelProgress->setText(QStringLiteral("Учтено звонков: ") +
                               QLocale().toString(m_result.calls));
        showResult();
        if (m_result.calls == 0 && m_result.peak == 0)
            Messages::information(QStringLiteral("Разговоров не зафиксировано."), this);
        break;
    case LineLoadRun::State::Stopped:
        PanelProgress->setText(QStringLiteral("Расчёт остановлен"));
        break;
    case LineLoadRun::State::Failed:
        PanelProgress->setText(QStringLiteral("Расчёт прерван"));
        ui::showFailure(this, m_run->failure());
        break;
    default:
        break;
    }
    updateExport();
}

void TLineLoadForm::showResult()
{
    fillSummary();
    fillHours();
    fillLines();
    fillChart();
}

QString TLineLoadForm::countedTimeText() const
{
    const LineLoadOptions& o = m_options;
    if (!o.workingTime)
        return QStringLiteral("круглые сутки, все дни");
    QStringList days;
    for (int d = 0; d < 7; ++d)
        if (o.days[std::size_t(d)])
            days << QString::fromUtf8(DayNames[d]);
    return QStringLiteral("с %1 до %2 ч; %3").arg(o.hourFrom).arg(o.hourTo).arg(days.join(u' '));
}

void TLineLoadForm::fillSummary()
{
    const LineLoadResult& r = m_result;
    const LineLoadOptions& o = m_options;
    const double grade = seGrade->value() / 100.0;
    const int n = r.lineCount;
    const double a = r.busyHourErlangs;
    const int needed = erlang::linesNeeded(a, grade);
    struct Row
    {
        QString name;
        QString text;
        QVariant number;
    };
    const QLocale l;
    std::vector<Row> rows;
    rows.push_back({QStringLiteral("Период"),
                    o.from == o.to
                        ? dateText(o.from)
                        : QStringLiteral("с %1 по %2").arg(dateText(o.from), dateText(o.to)),
                    {}});
    rows.push_back({QStringLiteral("Учтённое время"), countedTimeText(), {}});
    rows.push_back({QStringLiteral("Учтено дней"), QString::number(r.days), r.days});
    rows.push_back({QStringLiteral("Выбрано линий"), QString::number(n), n});
    rows.push_back({QStringLiteral("Звонков"), l.toString(r.calls), r.calls});
    rows.push_back({QStringLiteral("Час наибольшей нагрузки"),
                    r.busyHour >= 0 ? hourText(r.busyHour) : QStringLiteral("—"),
                    {}});
    rows.push_back({QStringLiteral("Нагрузка в час наибольшей нагрузки, Эрл"), fixed(a, 3), a});
    rows.push_back({QStringLiteral("Самый загруженный час периода"),
                    r.busiestClockHour.isNull() ? QStringLiteral("—")
                                                : dateText(r.busiestClockHour.date()) + u' ' +
                                                      hourText(r.busiestClockHour.time().hour()),
                    {}});
    rows.push_back({QStringLiteral("Нагрузка в тот час, Эрл"), fixed(r.busiestClockHourErlangs, 3),
                    r.busiestClockHourErlangs});
    rows.push_back(
        {QStringLiteral("Наибольшее число занятых линий"), QString::number(r.peak), r.peak});
    rows.push_back({QStringLiteral("Впервые"),
                    r.peakFirst.isNull()
                        ? QStringLiteral("—")
                        : dateText(r.peakFirst.date()) + u' ' +
                              r.peakFirst.time().toString(QStringLiteral("HH:mm:ss")),
                    {}});
    rows.push_back({QStringLiteral("Все линии заняты (вызовы получали отказ)"), busyText(r.allBusy),
                    r.allBusy});
    const double b = erlang::blocking(n, a);
    // A probability too small for three decimals is not shown as a plain 0.
    rows.push_back(
        {QStringLiteral("Вероятность отказа B(N, A), %"),
         b > 0 && b * 100 < 0.0005 ? QStringLiteral("менее ") + fixed(0.001, 3) : fixed(b * 100, 3),
         b * 100});
    rows.push_back(
        {QStringLiteral("Допустимые потери, %"), fixed(seGrade->value(), 2), seGrade->value()});
    rows.push_back({QStringLiteral("Нужно линий"),
                    needed >= 0 ? QString::number(needed) : QStringLiteral("—"),
                    needed >= 0 ? QVariant(needed) : QVariant()});
    rows.push_back({QStringLiteral("%1 %2 выдерживают, Эрл").arg(n).arg(erlang::linesWord(n)),
                    fixed(erlang::capacity(n, grade), 3), erlang::capacity(n, grade)});
    rows.push_back({QStringLiteral("Вывод"), erlang::verdict(n, needed), {}});
    GridSummary->setRowCount(int(rows.size()));
    for (int i = 0; i < int(rows.size()); ++i) {
        const Row& row = rows[std::size_t(i)];
        setCell(GridSummary, i, 0, row.name);
        setCell(GridSummary, i, 1, row.text, row.number, true);
    }
    GridSummary->resizeColumnToContents(0);
}

void TLineLoadForm::fillHours()
{
    const LineLoadResult& r = m_result;
    GridHours->setRowCount(24);
    for (int h = 0; h < 24; ++h) {
        const LineLoadHour& hour = r.hours[std::size_t(h)];
        setCell(GridHours, h, 0, hourText(h));
        if (!hour.counted) {
            for (int c = 1; c < 4; ++c)
                setCell(GridHours, h, c, QString());
            for (int c = 0; c < 4; ++c)
                GridHours->item(h, c)->setForeground(
                    palette().color(QPalette::Disabled, QPalette::Text));
            continue;
        }
        setCell(GridHours, h, 1, fixed(hour.erlangs, 3), hour.erlangs);
        setCell(GridHours, h, 2, QString::number(hour.peak), hour.peak);
        setCell(GridHours, h, 3, busyText(hour.busy), hour.busy);
        if (h == r.busyHour)
            for (int c = 0; c < 4; ++c) {
                QFont f = GridHours->item(h, c)->font();
                f.setBold(true);
                GridHours->item(h, c)->setFont(f);
            }
    }
    GridHours->resizeColumnsToContents();
}

void TLineLoadForm::fillLines()
{
    const LineLoadResult& r = m_result;
    const bool working = m_options.workingTime;
    GridLines->setColumnHidden(4, !working);
    GridLines->setRowCount(int(r.lines.size()));
    for (int i = 0; i < int(r.lines.size()); ++i) {
        const LineLoadLine& line = r.lines[std::size_t(i)];
        setCell(GridLines, i, 0,
                i < m_lineTexts.size() ? m_lineTexts[i] : QString::number(line.line));
        setCell(GridLines, i, 1, QLocale().toString(line.calls), line.calls);
        setCell(GridLines, i, 2, busyText(line.busy), line.busy);
        setCell(GridLines, i, 3, fixed(line.sharePeriod * 100, 1), line.sharePeriod * 100);
        setCell(GridLines, i, 4, fixed(line.shareCounted * 100, 1), line.shareCounted * 100);
        setCell(GridLines, i, 5, busyText(line.longest), line.longest);
    }
    GridLines->resizeColumnsToContents();
}

void TLineLoadForm::fillChart()
{
    const LineLoadResult& r = m_result;
    QBarSet* set = SeriesTraffic->barSets().value(0);
    if (set->count() > 0)
        set->remove(0, set->count());
    QList<QPointF> points;
    double top = 1;
    for (int h = 0; h < 24; ++h) {
        const LineLoadHour& hour = r.hours[std::size_t(h)];
        set->append(hour.erlangs);
        points.append(QPointF(h, hour.peak));
        top = std::max({top, hour.erlangs, double(hour.peak)});
    }
    SeriesPeak->replace(points);
    for (QAbstractAxis* axis : ChartHours->chart()->axes(Qt::Vertical))
        axis->setRange(0.0, std::ceil(top * 1.1));
}

void TLineLoadForm::seGradeChange()
{
    if (m_hasResult)
        fillSummary();
}

void TLineLoadForm::bbExportClick()
{
    auto* view = qobject_cast<QTableWidget*>(PageResult->currentWidget());
    if (!view || !m_hasResult)
        return;
    TFileForm form(m_dm.MainObject->ProgramDir, this);
    form.ExportView = view;
    if (form.exec() == 1)
        m_dm.MainObject->LastExportDir = form.directory();
}

void TLineLoadForm::closeEvent(QCloseEvent* event)
{
    m_run->stop(); // closing while the calls are read stops the reading
    QDialog::closeEvent(event);
}
