#include "CallsTab.h"

#include "app/Messages.h"
#include "data/CallRecord.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "data/Tariffs.h"
#include "grid/DataGrid.h"
#include "ui/common/Guarded.h"
#include "ui/common/Widgets.h"
#include "ui/controls/PeriodButton.h"
#include "ui/controls/TComboQuery.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const QString GridRingsSection = QStringLiteral("GridRings");
const QString ShowText = QStringLiteral("Показать");
const QString StopText = QStringLiteral("Стоп");
// Time the arriving rows may take on the interface thread at a time, so it always answers.
constexpr int TakeBudgetMs = 8;
// How often the grid is told of the rows that arrived meanwhile.
constexpr int AnnounceMs = 200;
} // namespace

CallsTab::~CallsTab()
{
    // The worker tells this object about rows: it ends before the object does.
    if (m_dm && m_loading)
        m_dm->ibQueryRings.stopFetch();
}

CallsTab::CallsTab(QWidget* parent) : MainTab(parent)
{
    setObjectName(QStringLiteral("TabSheet1"));
    auto* filter = new QWidget(this);
    filter->setObjectName(QStringLiteral("PanelFilter"));
    auto* g = new QGridLayout(filter);
    g->setContentsMargins(4, 4, 4, 4);

    dOT = new QDateEdit(filter);
    dOT->setObjectName(QStringLiteral("dOT"));
    dDo = new QDateEdit(filter);
    dDo->setObjectName(QStringLiteral("dDo"));
    for (QDateEdit* d : {dOT, dDo}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    }
    cqUsers = new TComboQuery(filter);
    cqUsers->setObjectName(QStringLiteral("cqUsers"));
    cqLines = new TComboQuery(filter);
    cqLines->setObjectName(QStringLiteral("cqLines"));
    QFont hint(QStringLiteral("MS Sans Serif"));
    hint.setBold(true);
    hint.setPixelSize(11);
    for (TComboQuery* c : {cqUsers, cqLines}) {
        c->NeedFirstItem = true;
        c->FirstItem = QStringLiteral("ВСЕ");
        c->setHintFont(hint);
        c->setMinimumWidth(200);
    }
    cqUsers->KeyFieldName = QStringLiteral("NumberIN");
    cqUsers->ShowFieldName = QStringLiteral("FIO");
    cqLines->KeyFieldName = QStringLiteral("NumberLine");
    cqLines->ShowFieldName = QStringLiteral("NumberTown");
    cbIN = new QCheckBox(QStringLiteral("Входящие звонки"), filter);
    cbIN->setObjectName(QStringLiteral("cbIN"));
    cbIN->setChecked(true);
    cbOUT = new QCheckBox(QStringLiteral("Исходящие звонки"), filter);
    cbOUT->setObjectName(QStringLiteral("cbOUT"));
    cbOUT->setChecked(true);
    seNumberBeg = new QLineEdit(filter);
    seNumberBeg->setObjectName(QStringLiteral("seNumberBeg"));
    seNumberBeg->setMaxLength(20);
    // Only digits: the prefix is matched against the dialled number.
    seNumberBeg->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,20}")), seNumberBeg));
    seNumberBeg->setMaximumWidth(140);
    seRingLen = new QSpinBox(filter);
    seRingLen->setObjectName(QStringLiteral("seRingLen"));
    seRingLen->setRange(0, 9999999);
    sbStart = new QPushButton(style()->standardIcon(QStyle::SP_MediaPlay), ShowText, filter);
    sbStart->setObjectName(QStringLiteral("sbStart"));
    connect(sbStart, &QPushButton::clicked, this, &CallsTab::sbStartClick);

    g->addWidget(ui::labelFor(QStringLiteral("Период с"), dOT, filter), 0, 0);
    g->addWidget(dOT, 0, 1);
    g->addWidget(ui::labelFor(QStringLiteral("по"), dDo, filter), 0, 2);
    g->addWidget(dDo, 0, 3);
    sbPeriod = new PeriodButton(dOT, dDo, filter);
    g->addWidget(sbPeriod, 1, 1, Qt::AlignLeft);
    setTabOrder(dDo, sbPeriod);
    g->addWidget(ui::labelFor(QStringLiteral("Пользователи"), cqUsers, filter), 0, 4);
    g->addWidget(cqUsers, 0, 5);
    g->addWidget(cbIN, 0, 6);
    g->addWidget(ui::labelFor(QStringLiteral("Номер абонента с цифры"), seNumberBeg, filter), 0, 7);
    g->addWidget(seNumberBeg, 0, 8);
    g->addWidget(ui::labelFor(QStringLiteral("Линии"), cqLines, filter), 1, 4);
    g->addWidget(cqLines, 1, 5);
    g->addWidget(cbOUT, 1, 6);
    g->addWidget(ui::labelFor(QStringLiteral("Длительность более"), seRingLen, filter), 1, 7);
    auto* len = new QHBoxLayout;
    len->addWidget(seRingLen);
    len->addWidget(new QLabel(QStringLiteral("сек."), filter));
    g->addLayout(len, 1, 8);
    g->addWidget(sbStart, 0, 9, 2, 1);
    g->setColumnStretch(10, 1);

    m_loadTimer = new QTimer(this);
    m_loadTimer->setInterval(100);
    connect(m_loadTimer, &QTimer::timeout, this, &CallsTab::takeRows);

    GridRings = new grid::DataGrid(this);
    GridRings->setObjectName(QStringLiteral("GridRings"));
    GridRings->setAutoSortMarking(true);
    GridRings->hide();
    connect(GridRings, &grid::DataGrid::sortMarkingChanged, this,
            &CallsTab::GridRingsSortMarkingChanged);
    // Incoming calls on silver while outgoing ones are shown too.
    GridRings->setRowBackgroundHook([this](const db::Query& q) -> std::optional<QColor> {
        if (!cbOUT->isChecked())
            return std::nullopt;
        const db::Field* out = q.findField(QStringLiteral("NUMBEROUT"));
        if (out && out->asDouble() == 0)
            return QColor(192, 192, 192);
        return std::nullopt;
    });
    connect(cbOUT, &QCheckBox::toggled, GridRings->viewport(), qOverload<>(&QWidget::update));

    PanelTotalString = ui::panel(this, QStringLiteral("PanelTotalString"));
    PanelTotalTime = ui::panel(this, QStringLiteral("PanelTotalTime"), 200);
    auto* totals = new QHBoxLayout;
    totals->addStretch();
    totals->addWidget(ui::labelFor(QStringLiteral("Строк :"), PanelTotalString, this));
    totals->addWidget(PanelTotalString);
    totals->addSpacing(16);
    totals->addWidget(
        ui::labelFor(QStringLiteral("Общее время разговора :"), PanelTotalTime, this));
    totals->addWidget(PanelTotalTime);
    PanelTotalCost = ui::panel(this, QStringLiteral("PanelTotalCost"), 260);
    m_costLabel = ui::labelFor(QStringLiteral("Стоимость :"), PanelTotalCost, this);
    totals->addSpacing(16);
    totals->addWidget(m_costLabel);
    totals->addWidget(PanelTotalCost);
    m_costLabel->hide();
    PanelTotalCost->hide();

    auto* v = new QVBoxLayout(this);
    v->addWidget(filter);
    v->addWidget(GridRings, 1);
    v->addStretch(0);
    v->addLayout(totals);
}

void CallsTab::init(TDM& dm)
{
    MainTab::init(dm);
    cqUsers->setConnection(dm.ibDatabase, dm.ibTranRO);
    cqLines->setConnection(dm.ibDatabase, dm.ibTranRO);
    GridRings->setQuery(&dm.ibQueryRings);
}

void CallsTab::activate()
{
    dOT->setDate(QDate::currentDate());
    dDo->setDate(QDate::currentDate());
    seNumberBeg->clear();
    ui::guarded(this, [&] {
        stmt::userChoices().applyTo(cqUsers->Query());
        cqUsers->FillItems(0);
        stmt::lineChoices().applyTo(cqLines->Query());
        refillLines();
    });
}

void CallsTab::refillLines()
{
    cqLines->FillItems(0);
    ApplyMaskToLineFilter();
}

void CallsTab::refillUsers()
{
    cqUsers->FillItems(0);
}

bool CallsTab::hasResult() const
{
    return !GridRings->isHidden() && !m_loading;
}

void CallsTab::saveLayouts()
{
    if (m_dm->ibQueryRings.isOpen())
        saveGridLayout(GridRings, GridRingsSection);
}

void CallsTab::ApplyMaskToLineFilter()
{
    for (int i = 1; i < cqLines->count(); ++i)
        cqLines->setItemText(i, m_dm->MainObject->FormatPhoneNumber(cqLines->itemText(i)));
    cqLines->setCurrentIndex(cqLines->count() > 0 ? 0 : -1);
}

void CallsTab::sbStartClick()
{
    if (m_loading)
        StopLoad();
    else
        RunCallQuery();
}

void CallsTab::RunCallQuery()
{
    StopLoad();
    TMainObject& s = *m_dm->MainObject;
    db::Query& q = m_dm->ibQueryRings;
    sbStart->setEnabled(false);
    focusNextChild();
    const bool hadResult = q.isOpen();
    const QString oldRows = PanelTotalString->text();
    const QString oldTime = PanelTotalTime->text();
    const QString oldCost = PanelTotalCost->text();
    GridRings->hide();
    PanelTotalTime->clear();
    PanelTotalString->clear();
    PanelTotalCost->clear();
    emit statusMessage(QString());
    QCoreApplication::processEvents();
    if (hadResult)
        saveGridLayout(GridRings, GridRingsSection);
    m_sum = 0;
    m_cost = 0;
    m_noTariff = 0;
    if (!cbIN->isChecked() && !cbOUT->isChecked()) {
        cbIN->setChecked(true);
        cbOUT->setChecked(true);
    }
    stmt::CallFilter filter;
    filter.from = dOT->date();
    filter.to = dDo->date();
    filter.incoming = cbIN->isChecked();
    filter.outgoing = cbOUT->isChecked();
    filter.numberPrefix = seNumberBeg->text();
    filter.user = cqUsers->GetKeyValue();
    filter.line = cqLines->GetKeyValue();
    filter.longerThan = seRingLen->value();
    const int fieldRing =
        (s.FieldRing >= 0 && s.FieldRing < stmt::CallFilter::sorts().count()) ? s.FieldRing : 0;
    filter.sortField = fieldRing;
    filter.descending = s.DescRing == 1;

    GridRings->beginReload();
    const bool ran = ui::guarded(this, [&] {
        m_dm->EnsureUsable();
        filter.navigateByDate = m_dm->HasIndexes(stmt::CallFilter::navigationIndexes());
        m_dm->LoadTariffs();
        filter.withLine = m_dm->HasTariffs();
        // The rows of the last run stay until the new statement is accepted by the server.
        filter.statement().applyTo(q);
        // Called on the fetching thread; the rows are taken on this one.
        q.openInBackground(
            [this] { QMetaObject::invokeMethod(this, &CallsTab::takeRows, Qt::QueuedConnection); });
    });
    if (!ran) {
        GridRings->endReload();
        if (q.isOpen()) {
            // The kept rows are those of the last run, in its order: its marker shows again
            // and its titles sort again.
            PanelTotalString->setText(oldRows);
            PanelTotalTime->setText(oldTime);
            PanelTotalCost->setText(oldCost);
            GridRings->fitColumns();
            restoreGridLayout(GridRings, GridRingsSection);
            s.FieldRing = m_shownSort.first;
            s.DescRing = m_shownSort.second;
            MarkCallSortColumn(s.FieldRing);
            GridRings->show();
        }
        sbStart->setEnabled(true);
        emit resultChanged();
        return;
    }
    GridRings->endReload();
    m_loading = true;
    m_firstScreenShown = false;
    m_loadSort = {fieldRing, s.DescRing};
    m_loadTimer->start();
    m_announced.start();
    sbStart->setText(StopText);
    sbStart->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    sbStart->setEnabled(true);
    emit resultChanged();
}

void CallsTab::takeRows()
{
    m_takePending = false;
    if (!m_loading)
        return;
    db::Query& q = m_dm->ibQueryRings;
    const std::size_t before = q.recordCount();
    const std::size_t added = q.takeFetched(TakeBudgetMs);
    if (const db::Field* length = q.findField(QStringLiteral("RINGLENGTH")))
        for (std::size_t i = before; i < before + added; ++i)
            m_sum += q.atRow(qint64(i), [&] { return length->asInt64(); });
    const db::Field* zone = q.findField(QStringLiteral("RZone"));
    const db::Field* seconds = q.findField(QStringLiteral("RINGLENGTH"));
    if (zone && seconds && zone->visible())
        for (std::size_t i = before; i < before + added; ++i)
            q.atRow(qint64(i), [&] {
                if (const auto cost = m_dm->CallCosts.rowCost(*zone, *seconds)) {
                    m_cost += cost->kopecks;
                    m_noTariff += cost->rated ? 0 : 1;
                }
            });
    // The grid hears of new rows a few times a second, not at every slice: each time it
    // lays out its scroll bar and paints again.
    const bool last = !q.fetching();
    if (last || !m_firstScreenShown || m_announced.elapsed() >= AnnounceMs) {
        m_announced.start();
        GridRings->gridModel().rowsArrived();
        if (!m_loading)
            return; // the new rows' views stopped the load
    }
    if (last) {
        finishLoad();
        return;
    }
    if (!m_firstScreenShown) {
        const int rowHeight = std::max(1, GridRings->verticalHeader()->defaultSectionSize());
        if (q.recordCount() >= std::size_t(height() / rowHeight + 1))
            showFirstScreen();
    }
    if (added > 0 && !m_takePending) {
        // More may wait already: take them after the events that came meanwhile.
        m_takePending = true;
        QTimer::singleShot(0, this, &CallsTab::takeRows);
    }
}

void CallsTab::showFirstScreen()
{
    m_firstScreenShown = true;
    GridRings->fitColumns();
    restoreGridLayout(GridRings, GridRingsSection);
    MarkCallSortColumn(m_loadSort.first, !m_loading);
    GridRings->show();
}

void CallsTab::StopLoad()
{
    if (!m_loading)
        return;
    m_dm->ibQueryRings.stopFetch();
    GridRings->gridModel().rowsArrived();
    finishLoad();
}

void CallsTab::finishLoad()
{
    db::Query& q = m_dm->ibQueryRings;
    m_loading = false;
    m_loadTimer->stop();
    const db::DataSet::FetchState state = q.fetchState();
    q.last();
    PanelTotalTime->setText(DurationText(m_sum));
    PanelTotalString->setText(QString::number(q.recordCount()));
    showTotalCost();
    if (!m_firstScreenShown)
        showFirstScreen();
    else
        MarkCallSortColumn(m_loadSort.first);
    m_shownSort = m_loadSort;
    sbStart->setText(ShowText);
    sbStart->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    sbStart->setEnabled(true);
    emit resultChanged();
    if (state == db::DataSet::FetchState::Stopped) {
        emit statusMessage(QStringLiteral("Загрузка остановлена: показаны не все звонки периода"));
    } else if (state == db::DataSet::FetchState::Failed) {
        emit statusMessage(QStringLiteral("Загрузка прервана: показаны не все звонки периода"));
        if (q.fetchError())
            ui::showFailure(this, std::make_exception_ptr(*q.fetchError()));
    }
}

void CallsTab::showTotalCost()
{
    const db::Field* zone = m_dm->ibQueryRings.findField(QStringLiteral("RZone"));
    const bool rated = zone && zone->visible();
    m_costLabel->setVisible(rated);
    PanelTotalCost->setVisible(rated);
    if (!rated)
        return;
    QString text = tariff::kopecksText(m_cost);
    if (m_noTariff > 0)
        text += QStringLiteral(" (без тарифа: %1)").arg(m_noTariff);
    PanelTotalCost->setText(text);
    PanelTotalCost->setToolTip(
        m_noTariff > 0 ? QStringLiteral("Сумма стоимости звонков с тарифом; %1 исходящих звонков "
                                        "без тарифа в нее не вошли")
                             .arg(m_noTariff)
                       : QStringLiteral("Сумма стоимости всех показанных звонков"));
}

void CallsTab::MarkCallSortColumn(int fieldRing, bool titleButtons)
{
    const QString marked = stmt::CallFilter::sorts().column(fieldRing);
    for (int c = 0; c < GridRings->columnCount(); ++c) {
        GridRings->setTitleButton(c, titleButtons);
        if (GridRings->columnField(c)->name().toUpper() == marked)
            setSortMarker(GridRings, c, m_dm->MainObject->DescRing);
    }
}

void CallsTab::GridRingsSortMarkingChanged()
{
    TMainObject& s = *m_dm->MainObject;
    const QString description = sortDescription(*GridRings);
    s.FieldRing = stmt::CallFilter::sorts().fieldOf(description, s.FieldRing);
    s.DescRing = description.contains(QLatin1String("DESC")) ? 1 : 0;
    RunCallQuery();
}
