#include "TStat1Form.h"

#include "app/Messages.h"
#include "data/CallRecord.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "db/DbError.h"
#include "db/Query.h"
#include "ui/common/Guarded.h"
#include "ui/common/Widgets.h"
#include "ui/controls/TComboQuery.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGraphicsLayout>
#include <QGraphicsTextItem>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegend>
#include <QtCharts/QPieSeries>
#include <QtCharts/QPieSlice>
#include <QtMath>
#include <algorithm>
#include <cmath>

namespace {

void copyItems(const TComboQuery& from, QListWidget& to)
{
    for (int i = 1; i < from.count(); ++i) { // item 0 is "ВСЕ"
        auto* item = new QListWidgetItem(from.itemText(i), &to);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
}

} // namespace

TStat1Form::TStat1Form(TDM& dm, const QDate& from, const QDate& to, TComboQuery& lines,
                       TComboQuery& users, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowMaximizeButtonHint),
      m_dm(dm), m_from(from), m_to(to), m_lines(lines), m_users(users)
{
    setObjectName(QStringLiteral("Stat1Form"));
    setFont(ui::windowFont());

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    clbLinesOut = new QListWidget;
    clbLinesOut->setObjectName(QStringLiteral("clbLinesOut"));
    clbLinesIn = new QListWidget;
    clbLinesIn->setObjectName(QStringLiteral("clbLinesIn"));
    PageControl->addTab(clbLinesOut, QStringLiteral("Городские"));
    PageControl->addTab(clbLinesIn, QStringLiteral("Внутренние"));
    copyItems(lines, *clbLinesOut);
    copyItems(users, *clbLinesIn);

    pmAllOrNot = new QMenu(this);
    pmAllOrNot->setObjectName(QStringLiteral("pmAllOrNot"));
    pmAllOrNot->addAction(QStringLiteral("Все"), this,
                          [this] { SetAllChecked(*activeList(), true); });
    pmAllOrNot->addAction(QStringLiteral("Отменить все"), this,
                          [this] { SetAllChecked(*activeList(), false); });
    for (QListWidget* l : {clbLinesOut, clbLinesIn}) {
        l->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(l, &QWidget::customContextMenuRequested, this,
                [this, l](const QPoint& p) { pmAllOrNot->popup(l->viewport()->mapToGlobal(p)); });
    }

    cbOUT = new QCheckBox(QStringLiteral("Выходящие звонки"), this);
    cbOUT->setObjectName(QStringLiteral("cbOUT"));
    cbOUT->setChecked(true);
    cbIN = new QCheckBox(QStringLiteral("Входящие звонки"), this);
    cbIN->setObjectName(QStringLiteral("cbIN"));
    cbIN->setChecked(true);
    PanelTotalTime = ui::panel(this, QStringLiteral("PanelTotalTime"), 170);
    PanelSelectTime = ui::panel(this, QStringLiteral("PanelSelectTime"), 170);
    auto* totalLabel = new QLabel(QStringLiteral("Общее время :"), this);
    totalLabel->setBuddy(PanelTotalTime);
    auto* selectLabel = new QLabel(QStringLiteral("Время выбранных линий:"), this);
    selectLabel->setBuddy(PanelSelectTime);
    m_totalLabel = totalLabel;
    m_selectLabel = selectLabel;
    cbByCost = new QCheckBox(QStringLiteral("Доля стоимости"), this);
    cbByCost->setObjectName(QStringLiteral("cbByCost"));
    cbByCost->setToolTip(QStringLiteral("Делить круг по стоимости исходящих звонков по тарифам, "
                                        "а не по времени разговора"));
    connect(cbByCost, &QCheckBox::toggled, this, &TStat1Form::cbByCostToggled);
    m_run = new ShareRun(this);
    m_run->setObjectName(QStringLiteral("ShareRun"));

    Series1 = new QPieSeries;
    Series1->setObjectName(QStringLiteral("Series1"));
    // Room around the pie for the labels of a slice pulled out.
    Series1->setPieSize(0.56);
    auto* chart = new QChart;
    chart->addSeries(Series1);
    chart->setTheme(QChart::ChartThemeLight);
    chart->setBackgroundRoundness(0);
    // The labels are cut at the plot area's edge: it takes the whole chart.
    chart->setMargins(QMargins(0, 0, 0, 0));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setAnimationOptions(QChart::NoAnimation);
    // The chart's own legend has no room for forty names: the list beside it names them.
    chart->legend()->setVisible(false);
    Chart2 = new QChartView(chart, this);
    Chart2->setObjectName(QStringLiteral("Chart2"));
    Chart2->setRenderHint(QPainter::Antialiasing);
    Chart2->setMinimumSize(320, 400);
    Chart2->setContextMenuPolicy(Qt::CustomContextMenu);
    // Hidden while a computation runs, its place kept: the lists do not jump aside meanwhile.
    QSizePolicy chartSize = Chart2->sizePolicy();
    chartSize.setRetainSizeWhenHidden(true);
    Chart2->setSizePolicy(chartSize);
    PopupMenu1 = new QMenu(this);
    mShowLegend = PopupMenu1->addAction(QStringLiteral("Список"));
    mShowLegend->setObjectName(QStringLiteral("mShowLegend"));
    mShowLegend->setCheckable(true);
    mShowLegend->setChecked(true);
    connect(mShowLegend, &QAction::triggered, this, &TStat1Form::mShowLegendClick);

    lvLegend = new QTreeWidget(this);
    lvLegend->setObjectName(QStringLiteral("lvLegend"));
    lvLegend->setAccessibleName(QStringLiteral("Список долей"));
    QFont legendFont = font();
    legendFont.setBold(false);
    lvLegend->setFont(legendFont);
    lvLegend->setColumnCount(2);
    lvLegend->setRootIsDecorated(false);
    lvLegend->setUniformRowHeights(true);
    lvLegend->setAllColumnsShowFocus(true);
    lvLegend->setSelectionMode(QAbstractItemView::SingleSelection);
    lvLegend->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The share always in view; a name too long for the room left ends in "..." and is
    // whole in its tooltip.
    lvLegend->setTextElideMode(Qt::ElideRight);
    lvLegend->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lvLegend->header()->setStretchLastSection(false);
    lvLegend->header()->setSectionsMovable(false);
    lvLegend->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    connect(lvLegend, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { legendRowChosen(item); });
    // A slice clicked is found in the list.
    connect(Series1, &QPieSeries::clicked, this, [this](QPieSlice* slice) {
        const int row = int(Series1->slices().indexOf(slice));
        if (row >= 0 && row < lvLegend->topLevelItemCount())
            lvLegend->setCurrentItem(lvLegend->topLevelItem(row));
    });
    fillLegend({});
    // The labels' places change with the size of the pie.
    connect(chart, &QChart::plotAreaChanged, this,
            [this] { QTimer::singleShot(0, this, &TStat1Form::PlaceLabels); });
    connect(Chart2, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopupMenu1->popup(Chart2->mapToGlobal(p)); });

    bbSave = new QPushButton(style()->standardIcon(QStyle::SP_MediaPlay),
                             QStringLiteral("Показать"), this);
    bbSave->setObjectName(QStringLiteral("bbSave"));
    bbCancel = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton),
                               QStringLiteral("Закрыть"), this);
    bbCancel->setObjectName(QStringLiteral("bbCancel"));
    bbSave->setAutoDefault(false);
    bbCancel->setAutoDefault(false);
    bbStop =
        new QPushButton(style()->standardIcon(QStyle::SP_MediaStop), QStringLiteral("Стоп"), this);
    bbStop->setObjectName(QStringLiteral("bbStop"));
    bbStop->setAutoDefault(false);
    bbStop->hide();
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->hide();
    connect(bbSave, &QPushButton::clicked, this, &TStat1Form::bbSaveClick);
    connect(bbStop, &QPushButton::clicked, m_run, &ShareRun::stop);
    connect(m_run, &ShareRun::finished, this, &TStat1Form::runFinished);
    connect(bbCancel, &QPushButton::clicked, this, &TStat1Form::reject);
    // Talk time: the sums done; cost: only that the read goes on.
    connect(m_run, &ShareRun::progress, this, [this](qint64 done) {
        if (!m_byCost)
            ProgressBar->setValue(int(done));
    });
    connect(PageControl, &QTabWidget::currentChanged, this, &TStat1Form::PageControlChange);

    PanelFailure = new QLabel(this);
    PanelFailure->setObjectName(QStringLiteral("PanelFailure"));
    PanelFailure->setWordWrap(true);
    PanelFailure->setTextFormat(Qt::PlainText);
    PanelFailure->setStyleSheet(QStringLiteral("color: #a00000"));
    PanelFailure->setMaximumWidth(320);
    PanelFailure->hide();

    auto* left = new QVBoxLayout;
    left->addWidget(PageControl, 1);
    left->addWidget(cbOUT);
    left->addWidget(cbIN);
    left->addWidget(cbByCost);
    auto* totals = new QGridLayout;
    totals->addWidget(totalLabel, 0, 0);
    totals->addWidget(PanelTotalTime, 0, 1);
    totals->addWidget(selectLabel, 1, 0);
    totals->addWidget(PanelSelectTime, 1, 1);
    left->addLayout(totals);
    left->addWidget(PanelFailure);
    left->addWidget(ProgressBar);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(bbSave);
    buttons->addWidget(bbStop);
    buttons->addWidget(bbCancel);
    left->addLayout(buttons);
    auto* main = new QHBoxLayout(this);
    main->addLayout(left, 0);
    main->addWidget(Chart2, 1);
    main->addWidget(lvLegend, 0);

    const QLocale locale;
    if (from == to)
        setWindowTitle(QStringLiteral("Загрузка линий за ") +
                       locale.toString(to, QLocale::ShortFormat));
    else
        setWindowTitle(QStringLiteral("Загрузка линий за период с ") +
                       locale.toString(from, QLocale::ShortFormat) + QStringLiteral(" по ") +
                       locale.toString(to, QLocale::ShortFormat));
    // Wide enough for the lists, the pie and the legend, within the screen.
    ui::fitOnScreen(this, QSize(1000, 600));

    // The cost share is offered when the database prices calls: by the book the data module
    // holds for the call list, read now if the call list has not read it yet.
    try {
        if (!m_dm.CallCosts.book())
            m_dm.LoadTariffs();
    } catch (const db::DbError&) {
        // no tariffs to be read: the talk time only, as always
    }
    m_book = m_dm.CallCosts.book();
    cbByCost->setVisible(m_dm.HasTariffs());
}

TStat1Form::~TStat1Form()
{
    // The worker goes first, while the whole window is still there: nothing it says reaches
    // the window from now on, and its destruction stops it and waits for it.
    disconnect(m_run, nullptr, this, nullptr);
    delete m_run;
}

void TStat1Form::cbByCostToggled(bool on)
{
    clearResult();
    cbIN->setEnabled(!on); // only outgoing calls cost
    cbOUT->setEnabled(!on);
    m_totalLabel->setText(on ? QStringLiteral("Общая стоимость :")
                             : QStringLiteral("Общее время :"));
    m_selectLabel->setText(on ? QStringLiteral("Стоимость выбранных:")
                              : QStringLiteral("Время выбранных линий:"));
}

QListWidget* TStat1Form::activeList() const
{
    return PageControl->currentIndex() == 0 ? clbLinesOut : clbLinesIn;
}

int TStat1Form::CountChecked(const QListWidget& list)
{
    int n = 0;
    for (int i = 0; i < list.count(); ++i)
        if (list.item(i)->checkState() == Qt::Checked)
            ++n;
    return n;
}

void TStat1Form::SetAllChecked(QListWidget& list, bool checked)
{
    for (int i = 0; i < list.count(); ++i)
        list.item(i)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void TStat1Form::clearResult()
{
    PanelTotalTime->clear();
    PanelSelectTime->clear();
    Series1->clear();
    fillLegend({});
    m_failures.clear();
    showFailures();
}

void TStat1Form::showFailures()
{
    // Items that failed for the same reason (a lost connection fails all that follow) share
    // one line.
    std::vector<std::pair<QString, QStringList>> byReason;
    for (const auto& failure : m_failures) {
        const QString& reason = failure.second;
        auto it = std::find_if(byReason.begin(), byReason.end(),
                               [&reason](const auto& r) { return r.first == reason; });
        if (it == byReason.end())
            it = byReason.insert(byReason.end(), {reason, {}});
        it->second << failure.first;
    }
    QStringList lines;
    for (const auto& [reason, items] : byReason)
        lines << QStringLiteral("не удалось посчитать ") + items.join(QStringLiteral(", ")) +
                     QStringLiteral(": ") + reason;
    PanelFailure->setText(lines.join(u'\n'));
    PanelFailure->setVisible(!lines.isEmpty());
}

void TStat1Form::bbSaveClick()
{
    if (m_computing)
        return;
    // Counted in full: the users tab may hold more than 255 checked items.
    m_checkedCount = CountChecked(*activeList());
    if (m_checkedCount == 0) {
        Messages::plain(QStringLiteral("Надо отметить хотя бы ОДНУ линию"), this);
        return;
    }
    if (!ui::guarded(this, [this] { m_dm.EnsureUsable(); }))
        return;
    const bool lines = PageControl->currentIndex() == 0;
    const QListWidget& list = *activeList();
    db::Query& keys = (lines ? m_lines : m_users).Query();
    const QString keyField = lines ? QStringLiteral("NumberLine") : QStringLiteral("NumberIn");
    const stmt::Period period{m_from, m_to};
    m_byCost = cbByCost->isVisible() && cbByCost->isChecked();
    ShareRun::Request request;
    request.place = readingPlaceOf(m_dm);
    request.measure = m_byCost ? ShareRun::Measure::Cost : ShareRun::Measure::TalkTime;
    request.period = period;
    request.incoming = cbIN->isChecked();
    request.outgoing = cbOUT->isChecked();
    request.keyColumn = lines ? stmt::TalkSum::LineColumn : stmt::TalkSum::UserColumn;
    request.book = m_book;
    // The keys in slice order: item i of the list is row i of its query.
    m_itemTexts.clear();
    m_listCount = list.count();
    for (int index = 0; index < list.count(); ++index) {
        if (list.item(index)->checkState() != Qt::Checked)
            continue;
        int key = 0;
        try {
            if (keys.isOpen() && std::size_t(index) < keys.recordCount())
                key = keys.atRow(index, [&] { return keys.field(keyField).asInteger(); });
        } catch (const db::DbError&) {
            key = 0;
        }
        request.keys.push_back(key);
        m_itemTexts << list.item(index)->text();
    }
    m_computing = true;
    clearResult();
    Chart2->hide();
    ProgressBar->setRange(0, m_byCost ? 0 : m_checkedCount);
    ProgressBar->setValue(0);
    setRunning(true);
    m_run->start(std::move(request)); // runFinished shows what it counted
}

void TStat1Form::setRunning(bool on)
{
    bbSave->setEnabled(!on);
    bbStop->setVisible(on);
    bbCancel->setEnabled(!on); // "Стоп" first
    ProgressBar->setVisible(on);
    PageControl->tabBar()->setEnabled(!on);
    cbByCost->setEnabled(!on);
    cbIN->setEnabled(!on && !cbByCost->isChecked()); // only outgoing calls cost
    cbOUT->setEnabled(!on && !cbByCost->isChecked());
}

void TStat1Form::runFinished()
{
    // The window is at rest again before anything is shown: a message below may wait for the
    // operator, and nothing of this run is touched after it.
    setRunning(false);
    Chart2->show();
    m_computing = false;
    QString note; // a run that counted nothing says so
    switch (m_run->state()) {
    case ShareRun::State::Finished:
        note = m_byCost ? showCost() : showTalkTime();
        break;
    case ShareRun::State::Stopped:
        PanelFailure->setText(QStringLiteral("Расчёт остановлен."));
        PanelFailure->show();
        break;
    default:
        break;
    }
    PlaceLabels();
    if (m_run->state() == ShareRun::State::Failed)
        ui::showFailure(this, m_run->failure());
    else if (!note.isEmpty())
        Messages::information(note, this);
}

QString TStat1Form::showTalkTime()
{
    const ShareRun::Result& sums = m_run->result();
    m_lastStatement = sums.lastStatement;
    m_totalSeconds = sums.total.value;
    m_selectedSeconds = 0;
    if (!sums.total.error.isEmpty())
        m_failures.emplace_back(QStringLiteral("общее время"), sums.total.error);
    if (m_totalSeconds > 0)
        FillPie(sums);
    PanelTotalTime->setText(DurationText(m_totalSeconds));
    PanelSelectTime->setText(DurationText(m_selectedSeconds));
    showFailures();
    // A total that could not be counted is said as such, not as a period without calls.
    if (m_totalSeconds < 1 && m_failures.empty())
        return QStringLiteral("Разговоров не зафиксировано.");
    return {};
}

QString TStat1Form::showCost()
{
    const ShareRun::Result& sums = m_run->result();
    std::vector<PieShare> shares;
    qint64 selected = 0;
    for (std::size_t i = 0; i < sums.items.size() && i < std::size_t(m_itemTexts.size()); ++i) {
        const QString& text = m_itemTexts[qsizetype(i)];
        const qsizetype blank = text.indexOf(u' ');
        shares.push_back({blank >= 0 ? text.left(blank + 1) : text, sums.items[i].value, text});
        selected += sums.items[i].value;
    }
    QString total = tariff::moneyText(sums.total.value);
    if (sums.withoutTariff > 0)
        total += QStringLiteral(" (без тарифа: %1)").arg(sums.withoutTariff);
    PanelTotalTime->setText(total);
    PanelSelectTime->setText(tariff::moneyText(selected));
    if (sums.total.value <= 0)
        return QStringLiteral("Стоимость звонков за период равна нулю.");
    ShowShares(shares, sums.total.value - selected, m_checkedCount == m_listCount);
    return {};
}

void TStat1Form::FillPie(const ShareRun::Result& sums)
{
    std::vector<PieShare> slices;
    slices.reserve(sums.items.size() + 1);
    for (std::size_t i = 0; i < sums.items.size() && i < std::size_t(m_itemTexts.size()); ++i) {
        const ShareRun::Sum& sum = sums.items[i];
        m_selectedSeconds += sum.value;
        const QString& text = m_itemTexts[qsizetype(i)];
        if (!sum.error.isEmpty())
            m_failures.emplace_back(u'«' + text + u'»', sum.error);
        const qsizetype blank = text.indexOf(u' ');
        slices.push_back({blank >= 0 ? text.left(blank + 1) : text, sum.value, text});
    }
    ShowShares(slices, m_totalSeconds - m_selectedSeconds, m_checkedCount == m_listCount);
}

void TStat1Form::ShowShares(std::vector<PieShare> slices, qint64 others, bool all)
{
    qint64 whole = others;
    for (const PieShare& s : slices)
        whole += s.value;
    if (whole <= 0)
        return;
    if (!all)
        slices.push_back({QStringLiteral("Прочие"), others, {}});
    QFont labelFont = font();
    labelFont.setBold(false);
    labelFont.setPointSizeF(std::max(6.5, labelFont.pointSizeF() - (slices.size() > 20 ? 2 : 0)));
    for (std::size_t i = 0; i < slices.size(); ++i) {
        const PieShare& s = slices[i];
        auto* slice = Series1->append(s.label, 100.0 / double(whole) * double(s.value));
        slice->setLabelVisible(true);
        slice->setLabelArmLengthFactor(0.12);
        slice->setLabelFont(labelFont);
        slice->setBorderColor(Qt::white);
        // Neighbouring slices in clearly different colours (hues a golden angle apart);
        // "Прочие" in grey.
        const bool rest = !all && i + 1 == slices.size();
        slice->setColor(rest ? QColor(190, 190, 190)
                             : QColor::fromHsv(int(i * 137.508) % 360, 150 + int(i % 3) * 40,
                                               230 - int(i % 2) * 40));
    }
    // Marks: the label and its share of the pie.
    for (QPieSlice* slice : Series1->slices())
        slice->setLabel(slice->label() + QStringLiteral(" ") +
                        QLocale().toString(slice->percentage() * 100.0, 'f', 1) + u'%');
    fillLegend(slices);
}

void TStat1Form::fillLegend(const std::vector<PieShare>& slices)
{
    lvLegend->clear();
    lvLegend->setHeaderLabels(
        {PageControl->currentIndex() == 0 ? QStringLiteral("Линия") : QStringLiteral("Абонент"),
         QStringLiteral("Доля")});
    const QList<QPieSlice*> drawn = Series1->slices();
    const int side = lvLegend->fontMetrics().height() - 4;
    QList<QTreeWidgetItem*> rows;
    for (qsizetype i = 0; i < drawn.size() && std::size_t(i) < slices.size(); ++i) {
        const PieShare& share = slices[std::size_t(i)];
        const QString name = share.name.isEmpty() ? share.label.trimmed() : share.name;
        const QString amount =
            m_byCost ? tariff::kopecksText(share.value) : DurationText(share.value).trimmed();
        auto* row = new QTreeWidgetItem(
            QStringList{name, QLocale().toString(drawn[i]->percentage() * 100.0, 'f', 1) + u'%'});
        QPixmap colour(side, side);
        colour.fill(drawn[i]->color());
        row->setIcon(0, QIcon(colour));
        // The amount itself on hovering.
        const QString tip =
            name + QStringLiteral(": ") + (amount.isEmpty() ? QStringLiteral("0 сек") : amount);
        row->setToolTip(0, tip);
        row->setToolTip(1, tip);
        row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        rows << row;
    }
    lvLegend->addTopLevelItems(rows);
    // As wide as its names, within limits that leave the pie its room on a small screen.
    int width = 2 * lvLegend->frameWidth() + lvLegend->verticalScrollBar()->sizeHint().width() + 4;
    for (int c = 0; c < lvLegend->columnCount(); ++c) {
        lvLegend->header()->setSectionResizeMode(c, QHeaderView::Interactive);
        lvLegend->resizeColumnToContents(c);
        width += lvLegend->columnWidth(c);
    }
    lvLegend->setFixedWidth(std::clamp(width, 160, 300));
    lvLegend->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    lvLegend->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
}

void TStat1Form::legendRowChosen(QTreeWidgetItem* item)
{
    const int row = item ? lvLegend->indexOfTopLevelItem(item) : -1;
    const QList<QPieSlice*> slices = Series1->slices();
    for (qsizetype i = 0; i < slices.size(); ++i) {
        slices[i]->setExplodeDistanceFactor(0.08);
        slices[i]->setExploded(i == row);
    }
    // The slice pulled out moves its label: it may no longer have room.
    QTimer::singleShot(0, this, &TStat1Form::PlaceLabels);
}

void TStat1Form::PlaceLabels()
{
    const QList<QPieSlice*> slices = Series1->slices();
    // Below this share of the pie a slice is named in the legend only.
    constexpr double MinLabelShare = 0.02;
    for (QPieSlice* slice : slices)
        slice->setLabelVisible(slice->percentage() >= MinLabelShare);
    // Where the labels go is known once the chart is laid out on screen; it is then placed
    // again.
    if (!Chart2->isVisible())
        return;
    // The labels as the chart has placed them. The chart may have shortened a text, so a
    // label is known by its text or else by where it stands: the end of its arm lies on the
    // line through the middle of its slice.
    QChart* chart = Chart2->chart();
    const QPointF centre = chart->mapToScene(chart->plotArea().center());
    const QRectF shown = chart->sceneBoundingRect();
    std::vector<std::pair<QPieSlice*, QRectF>> placed;
    for (QGraphicsItem* item : Chart2->scene()->items()) {
        auto* text = dynamic_cast<QGraphicsTextItem*>(item);
        if (!text || !text->isVisible() || chart->legend()->isAncestorOf(text))
            continue;
        const QRectF r = text->sceneBoundingRect();
        // Drawn as rich text: runs of blanks are one.
        const QString written = text->toPlainText().simplified();
        const auto same = std::find_if(slices.begin(), slices.end(), [&written](QPieSlice* s) {
            return s->isLabelVisible() && s->label().simplified() == written;
        });
        if (same != slices.end()) {
            // A whole label beyond the chart's edge would be cut.
            if (shown.contains(r))
                placed.emplace_back(*same, r.adjusted(-2, -1, 2, 1));
            else
                (*same)->setLabelVisible(false);
            continue;
        }
        const QPointF armEnd = r.center().x() >= centre.x() ? r.bottomLeft() : r.bottomRight();
        const double angle = std::fmod(
            qRadiansToDegrees(std::atan2(armEnd.x() - centre.x(), centre.y() - armEnd.y())) + 360.0,
            360.0);
        QPieSlice* nearest = nullptr;
        double distance = 360;
        for (QPieSlice* slice : slices) {
            if (!slice->isLabelVisible())
                continue;
            const double d = std::abs(
                std::remainder(slice->startAngle() + slice->angleSpan() / 2 - angle, 360.0));
            if (d < distance) {
                distance = d;
                nearest = slice;
            }
        }
        // What the chart shortened is not shown: the legend names that slice.
        if (nearest)
            nearest->setLabelVisible(false);
    }
    // The larger slice keeps its label; one that would touch a label kept goes to the legend.
    std::stable_sort(placed.begin(), placed.end(), [](const auto& a, const auto& b) {
        return a.first->value() > b.first->value();
    });
    std::vector<QRectF> kept;
    for (const auto& [slice, place] : placed) {
        const QRectF& box = place; // a structured binding is not captured by older compilers
        const bool covers = std::any_of(kept.begin(), kept.end(),
                                        [&box](const QRectF& r) { return r.intersects(box); });
        if (covers)
            slice->setLabelVisible(false);
        else
            kept.push_back(place);
    }
    updateLegend();
}

void TStat1Form::updateLegend()
{
    lvLegend->setVisible(mShowLegend->isChecked());
}

void TStat1Form::PageControlChange()
{
    clearResult();
    updateLegend();
}

void TStat1Form::mShowLegendClick()
{
    updateLegend();
}

void TStat1Form::keyPressEvent(QKeyEvent* event)
{
    // Escape stops the sums under way; once they have ended it closes the window.
    if (m_computing && event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        m_run->stop();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TStat1Form::reject()
{
    if (m_computing)
        return; // "Стоп" or Escape first
    done(2);
}

void TStat1Form::closeEvent(QCloseEvent* event)
{
    if (m_computing) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
