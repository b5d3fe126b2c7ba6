// The window of the load of lines: its choices, the run on a worker and the four result tabs.
#include "TLineLoadForm.h"

#include "app/Messages.h"
#include "data/CallRecord.h"
#include "data/TDM.h"
#include "runs/ErlangB.h"
#include "runs/LineLoadRun.h"
#include "ui/common/Guarded.h"
#include "ui/common/TFileForm.h"
#include "ui/common/Widgets.h"
#include "ui/controls/DateField.h"
#include "ui/controls/PeriodButton.h"
#include "ui/controls/TComboQuery.h"

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
#include <QPen>
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

#include <algorithm>
#include <cmath>

namespace {

const QString ShowText = QStringLiteral("Показать");
const QString StopText = QStringLiteral("Стоп");
const char* const DayNames[7] = {"Пн", "Вт", "Ср", "Чт", "Пт", "Сб", "Вс"};

QTableWidget* table(QWidget* parent, const QString& name, const QStringList& titles)
{
    // Rows as high as a line of text, so that the 24 hours show on a small screen.
    QTableWidget* t = ui::readOnlyTable(parent, name, titles);
    t->horizontalHeader()->setStretchLastSection(true);
    t->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter | Qt::Alignment(Qt::TextWordWrap));
    return t;
}

// How many lines `words` take when wrapped at `width` pixels.
int wrappedLines(const QStringList& words, const QFontMetrics& fm, int width)
{
    int lines = 1;
    QString line;
    for (const QString& word : words) {
        const QString longer = line.isEmpty() ? word : line + u' ' + word;
        if (!line.isEmpty() && fm.horizontalAdvance(longer) > width) {
            ++lines;
            line = word;
        } else {
            line = longer;
        }
    }
    return lines;
}

// Columns as wide as their cells, a long title wrapped on up to three lines rather than
// widening its column.
void fitColumns(QTableWidget* t)
{
    QHeaderView* header = t->horizontalHeader();
    const QFontMetrics fm(header->font());
    constexpr int Padding = 20;
    constexpr int MostLines = 3;
    int lines = 1;
    for (int c = 0; c < t->columnCount(); ++c) {
        if (t->isColumnHidden(c) || !t->horizontalHeaderItem(c))
            continue;
        const QStringList words = t->horizontalHeaderItem(c)->text().split(u' ');
        int widest = 0;
        for (const QString& word : words)
            widest = std::max(widest, fm.horizontalAdvance(word));
        int width =
            std::max(static_cast<QAbstractItemView*>(t)->sizeHintForColumn(c), widest + Padding);
        while (wrappedLines(words, fm, width - Padding) > MostLines)
            width += 4;
        lines = std::max(lines, wrappedLines(words, fm, width - Padding));
        t->setColumnWidth(c, width);
    }
    header->setMinimumHeight(lines * fm.height() + 10);
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

// How the figures are worked out, under the summary.
QString rulesText()
{
    return QStringLiteral(
               "Расчётная нагрузка A — среднее самых загруженных часов %1 самых загруженных дней "
               "периода (всех его дней, если их меньше); дни сравниваются по нагрузке в их самый "
               "загруженный час (10:00–11:00, 11:00–12:00 и т. д.). Учитываются дни учтённого "
               "времени по день последнего звонка: дни после него (в том числе ещё не "
               "наступившие) нагрузку не занижают. B(N, A) — формула Эрланга: доля вызовов, "
               "которые застанут занятыми все N линий при нагрузке A. Звонки линии — занимавшие "
               "её в учтённое время, в том числе начатые раньше.")
        .arg(LineLoadResult::BusiestDays);
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
    // Long names and verdicts wrap within a row rather than pushing the values off the window.
    GridSummary->setWordWrap(true);
    GridSummary->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    LabelRules = new QLabel(this);
    LabelRules->setObjectName(QStringLiteral("LabelRules"));
    LabelRules->setWordWrap(true);
    LabelRules->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelRules->setText(rulesText());
    PageSummary = new QWidget(this);
    PageSummary->setObjectName(QStringLiteral("PageSummary"));
    auto* summary = new QVBoxLayout(PageSummary);
    summary->setContentsMargins(0, 0, 0, 0);
    summary->addWidget(GridSummary, 1);
    summary->addWidget(LabelRules);
    GridHours = table(this, QStringLiteral("GridHours"),
                      {QStringLiteral("Час"), QStringLiteral("Нагрузка, Эрл"),
                       QStringLiteral("Наибольшее число занятых линий"),
                       QStringLiteral("Время занятости линий")});
    GridDays =
        table(this, QStringLiteral("GridDays"),
              {QStringLiteral("Место по нагрузке"), QStringLiteral("День"),
               QStringLiteral("Самый загруженный час"), QStringLiteral("Нагрузка в тот час, Эрл"),
               QStringLiteral("Наибольшее число занятых линий"),
               QStringLiteral("Время занятости линий")});
    GridLines =
        table(this, QStringLiteral("GridLines"),
              {QStringLiteral("Линия"), QStringLiteral("Звонков в учтённое время"),
               QStringLiteral("Время занятости"), QStringLiteral("Доля периода, %"),
               QStringLiteral("Доля рабочего времени, %"), QStringLiteral("Самый долгий звонок")});
    GridLines->horizontalHeaderItem(1)->setToolTip(
        QStringLiteral("Звонки, занимавшие линию в учтённое время, в том числе начатые раньше"));

    auto* chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setBackgroundRoundness(0);
    chart->setLocalizeNumbers(true); // the decimal comma
    chart->setLocale(QLocale());
    SeriesTraffic = new QBarSeries(chart);
    SeriesTraffic->setObjectName(QStringLiteral("SeriesTraffic"));
    auto* trafficSet = new QBarSet(QStringLiteral("Средняя нагрузка, Эрл"));
    trafficSet->setColor(QColor(70, 130, 180));
    SeriesTraffic->append(trafficSet);
    SeriesDesign = new QLineSeries(chart);
    SeriesDesign->setObjectName(QStringLiteral("SeriesDesign"));
    SeriesDesign->setName(QStringLiteral("Расчётная нагрузка, Эрл"));
    SeriesDesign->setPen(QPen(QColor(40, 140, 60), 2, Qt::DashLine));
    SeriesPeak = new QLineSeries(chart);
    SeriesPeak->setObjectName(QStringLiteral("SeriesPeak"));
    SeriesPeak->setName(QStringLiteral("Наибольшее число занятых линий"));
    SeriesPeak->setPen(QPen(QColor(200, 60, 40), 2));
    chart->addSeries(SeriesTraffic);
    chart->addSeries(SeriesDesign);
    chart->addSeries(SeriesPeak);
    auto* axisX = new QBarCategoryAxis(chart);
    for (int h = 0; h < 24; ++h)
        axisX->append(QString::number(h));
    axisX->setTitleText(QStringLiteral("Час"));
    AxisErlangs = new QValueAxis(chart);
    AxisErlangs->setObjectName(QStringLiteral("AxisErlangs"));
    AxisErlangs->setTitleText(QStringLiteral("Нагрузка, Эрл"));
    AxisErlangs->setTickType(QValueAxis::TicksDynamic);
    AxisErlangs->setTickAnchor(0);
    AxisLines = new QValueAxis(chart);
    AxisLines->setObjectName(QStringLiteral("AxisLines"));
    AxisLines->setTitleText(QStringLiteral("Занято линий"));
    AxisLines->setTickType(QValueAxis::TicksDynamic);
    AxisLines->setTickAnchor(0);
    AxisLines->setLabelFormat(QStringLiteral("%.0f"));
    AxisLines->setGridLineVisible(false); // the traffic's grid is enough
    AxisLines->setLabelsColor(QColor(200, 60, 40));
    AxisLines->setTitleBrush(QColor(200, 60, 40));
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(AxisErlangs, Qt::AlignLeft);
    chart->addAxis(AxisLines, Qt::AlignRight);
    for (QAbstractSeries* s : chart->series())
        s->attachAxis(axisX);
    SeriesTraffic->attachAxis(AxisErlangs);
    SeriesDesign->attachAxis(AxisErlangs);
    SeriesPeak->attachAxis(AxisLines);
    chart->legend()->setAlignment(Qt::AlignBottom);
    // Small enough for 24 hours and three legend entries in a window on a 1,024-pixel screen.
    QFont small = chart->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    chart->legend()->setFont(small);
    axisX->setLabelsFont(small);
    chart->setMargins(QMargins(4, 4, 4, 4));
    ChartHours = new QChartView(chart, this);
    ChartHours->setObjectName(QStringLiteral("ChartHours"));
    ChartHours->setRenderHint(QPainter::Antialiasing);
    ChartHours->setMinimumSize(420, 300);

    PageResult->addTab(PageSummary, QStringLiteral("Итоги"));
    PageResult->addTab(GridHours, QStringLiteral("По часам"));
    PageResult->addTab(GridDays, QStringLiteral("По дням"));
    PageResult->addTab(GridLines, QStringLiteral("По линиям"));
    PageResult->addTab(ChartHours, QStringLiteral("График"));
    connect(PageResult, &QTabWidget::currentChanged, this, &TLineLoadForm::updateExport);
    fillChart(); // empty, on its scales

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
    // As large as the screen allows, up to a size where all 24 hours show.
    ui::fitOnScreen(this, QSize(1100, 700));
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

QTableWidget* TLineLoadForm::currentTable() const
{
    QWidget* page = PageResult->currentWidget();
    return page == PageSummary ? GridSummary : qobject_cast<QTableWidget*>(page);
}

void TLineLoadForm::updateExport()
{
    bbExport->setEnabled(m_hasResult && !running() && currentTable());
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
    fillDays();
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

QString TLineLoadForm::chosenLinesText() const
{
    const qsizetype n = m_lineTexts.size();
    if (n == clbLines->count())
        return n == 1 ? m_lineTexts.front() : QStringLiteral("все %1").arg(n);
    constexpr qsizetype Named = 5;
    if (n <= Named)
        return m_lineTexts.join(QStringLiteral(", "));
    return QStringLiteral("%1 и ещё %2 (на вкладке «По линиям»)")
        .arg(m_lineTexts.mid(0, Named - 1).join(QStringLiteral(", ")))
        .arg(n - (Named - 1));
}

void TLineLoadForm::fillSummary()
{
    const LineLoadResult& r = m_result;
    const LineLoadOptions& o = m_options;
    const double grade = seGrade->value() / 100.0;
    const int n = r.lineCount;
    const double a = r.designErlangs;
    const int needed = erlang::linesNeeded(a, grade);
    const int neededPeak = erlang::linesNeeded(r.busiestClockHourErlangs, grade);
    struct Row
    {
        QString name;
        QString text;
        QVariant number;
        bool bold = false;
    };
    const QLocale l;
    auto clockHourText = [](const QDateTime& start) {
        return start.isNull() ? QStringLiteral("—")
                              : dateText(start.date()) + u' ' + hourText(start.time().hour());
    };
    auto neededText = [](int k) { return k >= 0 ? QString::number(k) : QStringLiteral("—"); };
    auto neededNumber = [](int k) { return k >= 0 ? QVariant(k) : QVariant(); };
    std::vector<Row> rows;
    rows.push_back({QStringLiteral("Период"),
                    o.from == o.to
                        ? dateText(o.from)
                        : QStringLiteral("с %1 по %2").arg(dateText(o.from), dateText(o.to)),
                    {}});
    rows.push_back({QStringLiteral("Учтённое время"), countedTimeText(), {}});
    QString daysText = QString::number(r.days);
    if (!r.lastDay.isValid())
        daysText += QStringLiteral(" (в периоде нет звонков)");
    else if (r.lastDay < o.to)
        daysText += QStringLiteral(" (по %1 — день последнего звонка; дни после него не учтены)")
                        .arg(dateText(r.lastDay));
    rows.push_back({QStringLiteral("Учтено дней"), daysText, r.days});
    rows.push_back(
        {QStringLiteral("Выбрано линий"),
         m_lineTexts.size() == clbLines->count()
             ? QStringLiteral("%1 (все)").arg(n)
             : QStringLiteral("%1 из %2: %3").arg(n).arg(clbLines->count()).arg(chosenLinesText()),
         n});
    rows.push_back({QStringLiteral("Звонков в учтённое время"), l.toString(r.calls), r.calls});
    rows.push_back({QStringLiteral("Час наибольшей нагрузки в среднем за день"),
                    r.busyHour >= 0 ? hourText(r.busyHour) : QStringLiteral("—"),
                    {}});
    rows.push_back({QStringLiteral("Нагрузка в этот час в среднем за день, Эрл"),
                    fixed(r.busyHourErlangs, 3), r.busyHourErlangs});
    rows.push_back(
        {QStringLiteral("Самые загруженные дни"),
         QStringLiteral("%1 из %2 (выделены на вкладке «По дням»)").arg(r.designDays).arg(r.days),
         r.designDays});
    rows.push_back({QStringLiteral("Расчётная нагрузка A, Эрл"), fixed(a, 3), a, true});
    rows.push_back(
        {QStringLiteral("Самый загруженный час периода"), clockHourText(r.busiestClockHour), {}});
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
    // The log knows when every line was busy, not whether a call was refused then.
    const QString allBusy =
        n == 1 ? QStringLiteral("Линия %1 занята: новый звонок не мог её получить")
                     .arg(m_lineTexts.value(0))
        : m_lineTexts.size() == clbLines->count()
            ? QStringLiteral("Заняты все линии: новый звонок не мог получить линию")
            : QStringLiteral("Заняты все выбранные линии (%1): новый звонок не мог получить ни "
                             "одну из них")
                  .arg(chosenLinesText());
    rows.push_back({allBusy, busyText(r.allBusy), r.allBusy});
    rows.push_back(
        {QStringLiteral("Допустимые потери, %"), fixed(seGrade->value(), 2), seGrade->value()});
    const double b = erlang::blocking(n, a);
    // A probability too small for three decimals is not shown as a plain 0.
    rows.push_back(
        {QStringLiteral("Вероятность потери вызова B(N, A), % (N = %1 %2, A = %3 Эрл)")
             .arg(n)
             .arg(erlang::linesWord(n))
             .arg(fixed(a, 3)),
         b > 0 && b * 100 < 0.0005 ? QStringLiteral("менее ") + fixed(0.001, 3) : fixed(b * 100, 3),
         b * 100});
    // "1 линия выдерживает", "2 линии выдерживают".
    rows.push_back(
        {QStringLiteral("%1 %2 %3, Эрл")
             .arg(n)
             .arg(erlang::linesWord(n))
             .arg(erlang::linesWord(n) == QStringLiteral("линия") ? QStringLiteral("выдерживает")
                                                                  : QStringLiteral("выдерживают")),
         fixed(erlang::capacity(n, grade), 3), erlang::capacity(n, grade)});
    rows.push_back({QStringLiteral("Нужно линий при расчётной нагрузке"), neededText(needed),
                    neededNumber(needed)});
    rows.push_back({QStringLiteral("Вывод"), erlang::verdict(n, needed), {}, true});
    rows.push_back({QStringLiteral("Нужно линий при нагрузке самого загруженного часа"),
                    neededText(neededPeak), neededNumber(neededPeak)});
    rows.push_back(
        {QStringLiteral("Вывод по самому загруженному часу"), erlang::verdict(n, neededPeak), {}});
    if (needed != neededPeak && needed >= 0 && neededPeak >= 0)
        rows.push_back({QStringLiteral("Выводы расходятся"),
                        QStringLiteral("при расчётной нагрузке %1, при нагрузке самого "
                                       "загруженного часа — %2")
                            .arg(erlang::linesNeededText(needed))
                            .arg(neededPeak),
                        {},
                        true});
    GridSummary->setRowCount(int(rows.size()));
    for (int i = 0; i < int(rows.size()); ++i) {
        const Row& row = rows[std::size_t(i)];
        setCell(GridSummary, i, 0, row.name);
        setCell(GridSummary, i, 1, row.text, row.number, true);
        if (row.bold)
            for (int c = 0; c < 2; ++c) {
                QFont f = GridSummary->item(i, c)->font();
                f.setBold(true);
                GridSummary->item(i, c)->setFont(f);
            }
    }
    GridSummary->setColumnWidth(
        0, std::min(static_cast<QAbstractItemView*>(GridSummary)->sizeHintForColumn(0), 360));
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
    fitColumns(GridHours);
}

void TLineLoadForm::fillDays()
{
    // The counted days by their place, the busiest first.
    const LineLoadResult& r = m_result;
    GridDays->setRowCount(r.days);
    for (const LineLoadDay& day : r.daily) {
        const int row = day.rank - 1;
        if (!day.counted || row < 0 || row >= r.days)
            continue;
        setCell(GridDays, row, 0, QString::number(day.rank), day.rank);
        setCell(GridDays, row, 1,
                dateText(day.date) + u' ' + QString::fromUtf8(DayNames[day.date.dayOfWeek() - 1]));
        setCell(GridDays, row, 2,
                day.busiestHour >= 0 ? hourText(day.busiestHour) : QStringLiteral("—"));
        const double erlangs = double(day.busiestHourBusy) / 3600.0;
        setCell(GridDays, row, 3, fixed(erlangs, 3), erlangs);
        setCell(GridDays, row, 4, QString::number(day.peak), day.peak);
        setCell(GridDays, row, 5, busyText(day.busy), day.busy);
        if (day.design)
            for (int c = 0; c < GridDays->columnCount(); ++c) {
                QFont f = GridDays->item(row, c)->font();
                f.setBold(true);
                GridDays->item(row, c)->setFont(f);
                GridDays->item(row, c)->setToolTip(
                    QStringLiteral("Один из самых загруженных дней: входит в расчётную нагрузку"));
            }
    }
    fitColumns(GridDays);
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
    fitColumns(GridLines);
}

namespace {

// The step of an axis from 0 to `top` with at most about `ticks` intervals: 1, 2 or 5 times
// a power of ten, no less than `least`.
double niceStep(double top, int ticks, double least)
{
    const double raw = std::max(top / ticks, least);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw * (1 - 1e-9))
            return std::max(m * power, least);
    return 10 * power;
}

} // namespace

void TLineLoadForm::fillChart()
{
    const LineLoadResult& r = m_result;
    QBarSet* set = SeriesTraffic->barSets().value(0);
    if (set->count() > 0)
        set->remove(0, set->count());
    // The hour's peak holds all through its hour: a step from the hour's left edge to its right.
    QList<QPointF> steps;
    double erlangs = r.designErlangs;
    int lines = 1;
    for (int h = 0; h < 24; ++h) {
        const LineLoadHour& hour = r.hours[std::size_t(h)];
        set->append(hour.erlangs);
        steps.append(QPointF(h - 0.5, hour.peak));
        steps.append(QPointF(h + 0.5, hour.peak));
        erlangs = std::max(erlangs, hour.erlangs);
        lines = std::max(lines, hour.peak);
    }
    SeriesPeak->replace(steps);
    SeriesDesign->replace({QPointF(-0.5, r.designErlangs), QPointF(23.5, r.designErlangs)});
    SeriesDesign->setVisible(m_hasResult && r.designErlangs > 0);

    const double erlangStep = niceStep(std::max(erlangs, 0.1) * 1.1, 6, 0.1);
    AxisErlangs->setRange(0, std::ceil(std::max(erlangs, 0.1) * 1.1 / erlangStep) * erlangStep);
    AxisErlangs->setTickInterval(erlangStep);
    AxisErlangs->setLabelFormat(erlangStep < 1 ? QStringLiteral("%.1f") : QStringLiteral("%.0f"));
    const double lineStep = niceStep(lines + 1, 8, 1);
    AxisLines->setRange(0, std::ceil((lines + 1) / lineStep) * lineStep);
    AxisLines->setTickInterval(lineStep);
}

void TLineLoadForm::seGradeChange()
{
    if (m_hasResult)
        fillSummary();
}

void TLineLoadForm::bbExportClick()
{
    QTableWidget* view = currentTable();
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
