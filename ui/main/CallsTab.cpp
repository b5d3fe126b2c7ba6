#include "CallsTab.h"

#include "app/Messages.h"
#include "data/CallRecord.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "data/Tariffs.h"
#include "db/DbError.h"
#include "db/Query.h"
#include "db/QueryLoader.h"
#include "grid/DataGrid.h"
#include "ui/common/Guarded.h"
#include "ui/common/Widgets.h"
#include "ui/controls/DateField.h"
#include "ui/controls/PeriodButton.h"
#include "ui/controls/TComboQuery.h"

#include <QCheckBox>
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
#include <QVBoxLayout>

namespace {
const QString ShowText = QStringLiteral("Показать");
const QString StopText = QStringLiteral("Стоп");
} // namespace

CallsTab::~CallsTab()
{
    // The count's loader goes before its query (it stops the worker and waits).
    m_outsideLoader.reset();
}

CallsTab::CallsTab(QWidget* parent) : MainTab(parent)
{
    setObjectName(QStringLiteral("TabSheet1"));
    auto* filter = new QWidget(this);
    filter->setObjectName(QStringLiteral("PanelFilter"));
    auto* g = new QGridLayout(filter);
    g->setContentsMargins(4, 4, 4, 4);

    dOT = new DateField(filter);
    dOT->setObjectName(QStringLiteral("dOT"));
    dDo = new DateField(filter);
    dDo->setObjectName(QStringLiteral("dDo"));
    cqUsers = new TComboQuery(filter);
    cqUsers->setObjectName(QStringLiteral("cqUsers"));
    cqLines = new TComboQuery(filter);
    cqLines->setObjectName(QStringLiteral("cqLines"));
    const QFont hint = ui::windowFont();
    for (TComboQuery* c : {cqUsers, cqLines}) {
        c->NeedFirstItem = true;
        c->FirstItem = QStringLiteral("ВСЕ");
        c->setHintFont(hint);
        // The field keeps its width whatever the names; the list drops as wide as they need.
        c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        c->setMinimumContentsLength(14);
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
    cbOutside = new QCheckBox(QStringLiteral("Звонки вне справочников"), filter);
    cbOutside->setObjectName(QStringLiteral("cbOutside"));
    cbOutside->setToolTip(QStringLiteral("Показать и звонки линий и абонентов, которых нет в "
                                         "справочниках: вместо имени - номер"));
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
    g->addWidget(ui::labelFor(QStringLiteral("Линии"), cqLines, filter), 1, 4);
    g->addWidget(cqLines, 1, 5);
    g->addWidget(cbOUT, 1, 6);
    // The prefix and the length on a row of their own, so that the window fits a narrow screen.
    auto* prefix = new QHBoxLayout;
    prefix->addWidget(ui::labelFor(QStringLiteral("Номер абонента с цифры"), seNumberBeg, filter));
    prefix->addWidget(seNumberBeg);
    prefix->addStretch();
    g->addLayout(prefix, 2, 0, 1, 4);
    auto* len = new QHBoxLayout;
    len->addWidget(ui::labelFor(QStringLiteral("Длительность более"), seRingLen, filter));
    len->addWidget(seRingLen);
    len->addWidget(new QLabel(QStringLiteral("сек."), filter));
    len->addStretch();
    g->addLayout(len, 2, 4, 1, 2);
    g->addWidget(cbOutside, 2, 6);
    g->addWidget(sbStart, 0, 7, 2, 1);
    g->setColumnStretch(8, 1);

    GridRings = new grid::DataGrid(this);
    GridRings->setObjectName(QStringLiteral("GridRings"));
    GridRings->setAutoSortMarking(true);
    // The dearest calls first is what a first click on the cost is asked for.
    GridRings->setDescendingFirst(QStringLiteral("RCost"));
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
    m_outsideLoader.reset();
    m_outsideQuery = std::make_unique<db::Query>(dm.ibDatabase, dm.ibTranRO);
    m_outsideLoader = std::make_unique<db::QueryLoader>(*m_outsideQuery);
    connect(m_outsideLoader.get(), &db::QueryLoader::finished, this, &CallsTab::takeOutsideCount);
    delete m_loader;
    m_loader = new db::QueryLoader(dm.ibQueryRings, this);
    // The grid first, so the rows are in it when this tab hears of them.
    GridRings->setLoader(m_loader);
    connect(m_loader, &db::QueryLoader::rowsArrived, this, &CallsTab::rowsArrived);
    connect(m_loader, &db::QueryLoader::finished, this, &CallsTab::finishLoad);
}

void CallsTab::activate()
{
    dOT->setDate(QDate::currentDate());
    dDo->setDate(QDate::currentDate());
    seNumberBeg->clear();
    stmt::userChoices().applyTo(cqUsers->Query());
    stmt::lineChoices().applyTo(cqLines->Query());
    refillUsers();
    refillLines();
}

// Both are also slots of the directories' signals: the error boundary is here, so a database
// error never travels back through the toolkit's signal code.
void CallsTab::refillLines()
{
    ui::guarded(this, [this] {
        cqLines->FillItems(0);
        ApplyMaskToLineFilter();
    });
}

void CallsTab::refillUsers()
{
    ui::guarded(this, [this] { cqUsers->FillItems(0); });
}

bool CallsTab::hasResult() const
{
    return !GridRings->isHidden() && !loading();
}

bool CallsTab::loading() const
{
    return m_loader && m_loader->running();
}

QString CallsTab::LayoutSection()
{
    return QStringLiteral("GridRings");
}

void CallsTab::saveLayouts()
{
    if (m_dm->ibQueryRings.isOpen())
        saveGridLayout(GridRings, LayoutSection());
}

void CallsTab::ApplyMaskToLineFilter()
{
    for (int i = 1; i < cqLines->count(); ++i)
        cqLines->setItemText(i, m_dm->MainObject->FormatPhoneNumber(cqLines->itemText(i)));
    cqLines->setCurrentIndex(cqLines->count() > 0 ? 0 : -1);
}

void CallsTab::sbStartClick()
{
    if (loading())
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
    // Rows on show: a load whose first screen never showed has no layout of its own to keep.
    const bool hadResult = q.isOpen() && !GridRings->isHidden();
    const QString oldRows = PanelTotalString->text();
    const QString oldTime = PanelTotalTime->text();
    const QString oldCost = PanelTotalCost->text();
    GridRings->hide();
    PanelTotalTime->clear();
    PanelTotalString->clear();
    PanelTotalCost->clear();
    emit statusMessage(QString());
    if (hadResult)
        saveGridLayout(GridRings, LayoutSection());
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
    filter.outsideDirectories = cbOutside->isChecked();
    const int fieldRing =
        (s.FieldRing >= 0 && s.FieldRing < stmt::CallFilter::sorts().count()) ? s.FieldRing : 0;
    filter.sortField = fieldRing;
    filter.descending = s.DescRing == 1;

    GridRings->beginReload();
    const bool ran = ui::guarded(this, [&] {
        m_dm->EnsureUsable();
        const std::optional<stmt::DateIndexes> indexes = m_dm->DateIndexes();
        filter.navigateByDate = indexes.has_value();
        if (indexes)
            filter.indexes = *indexes;
        m_dm->LoadTariffs();
        filter.withLine = m_dm->HasTariffs();
        // Until the first screen of rows is in, the grid hears of every slice of them.
        m_loader->setEagerRows(std::size_t(screenRows()));
        auto open = [&] {
            // The rows of the last run stay until the new statement is accepted by the server.
            filter.statement().applyTo(q);
            m_loader->start();
        };
        try {
            open();
        } catch (const db::DbError& e) {
            // A server that refuses the reading along the indexes (changed since they were
            // looked at) gets the statement without it, for the rest of the connection.
            if (!filter.readsAlongDateIndex() || e.connectionLost())
                throw;
            filter.navigateByDate = false;
            open();
            m_dm->DateIndexesRefused();
        }
        m_loadAlongIndexes = filter.readsAlongDateIndex();
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
            restoreGridLayout(GridRings, LayoutSection());
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
    // How many calls of the period the directories leave out: counted beside the load.
    m_loadNote.clear();
    m_outsideCount = -1;
    m_outsideShown = filter.outsideDirectories;
    m_outsideLoader->stop();
    try {
        filter.outsideCount().applyTo(*m_outsideQuery);
        m_outsideLoader->start();
    } catch (const db::DbError&) {
        // Only a note of the status bar is missing then; the list itself is whole.
    }
    m_firstScreenShown = false;
    m_loadSort = {fieldRing, s.DescRing};
    sbStart->setText(StopText);
    sbStart->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    sbStart->setEnabled(true);
    emit resultChanged();
}

int CallsTab::screenRows() const
{
    return height() / std::max(1, GridRings->verticalHeader()->defaultSectionSize()) + 1;
}

void CallsTab::rowsArrived()
{
    // Rows the program sorts show once they are all in and sorted.
    if (!m_firstScreenShown && !stmt::CallFilter::sorts().byProgram(m_loadSort.first) &&
        m_dm->ibQueryRings.recordCount() >= std::size_t(screenRows()))
        showFirstScreen();
}

void CallsTab::showFirstScreen()
{
    m_firstScreenShown = true;
    GridRings->fitColumns();
    fitZoneColumn();
    const bool laidOutBefore = m_dm->MainObject->GridLayouts().sectionExists(LayoutSection());
    restoreGridLayout(GridRings, LayoutSection());
    MarkCallSortColumn(m_loadSort.first, !loading());
    if (!laidOutBefore) {
        // Every column in view on a 1024-pixel screen: the subscriber's name gives up the
        // room the others need, keeping that of a short name. A layout the operator made stays.
        const QMargins margins = layout() ? layout()->contentsMargins() : QMargins();
        GridRings->fitColumnsInto(
            contentsRect().width() - margins.left() - margins.right(),
            GridRings->findColumnByField(QStringLiteral("FIO")),
            GridRings->fontMetrics().horizontalAdvance(QStringLiteral("Иванова Мария")));
    }
    GridRings->show();
}

void CallsTab::fitZoneColumn()
{
    const int column = GridRings->findColumnByField(QStringLiteral("RZone"));
    const std::shared_ptr<const tariff::TariffBook>& book = m_dm->CallCosts.book();
    if (column < 0 || !book)
        return;
    // Every zone of the tariffs whole, whichever the first rows name.
    const QFontMetrics fm = GridRings->fontMetrics();
    int widest = fm.horizontalAdvance(CallRating::NoTariffText());
    for (int r = 0; r < book->ruleCount(); ++r)
        widest = std::max(widest, fm.horizontalAdvance(book->rule(r).zone));
    QHeaderView* h = GridRings->horizontalHeader();
    h->resizeSection(column, std::max(h->sectionSize(column), std::min(widest + 18, 320)));
}

void CallsTab::StopLoad()
{
    if (m_loader)
        m_loader->stop(); // finishLoad() follows
}

void CallsTab::finishLoad(db::FetchState state, const std::optional<db::DbError>& error)
{
    db::Query& q = m_dm->ibQueryRings;
    // The worker prepares the statement on a connection of its own: a server that refuses
    // the reading along the indexes there gets the statement without it.
    if (state == db::FetchState::Failed && m_loadAlongIndexes && q.recordCount() == 0 && error &&
        !error->connectionLost()) {
        m_dm->DateIndexesRefused();
        RunCallQuery();
        return;
    }
    if (stmt::CallFilter::sorts().byProgram(m_loadSort.first))
        sortByProgram();
    q.last();
    PanelTotalTime->setText(DurationText(m_dm->RingsTalkTime()));
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
    if (state == db::FetchState::Stopped)
        m_loadNote = QStringLiteral("Загрузка остановлена: показаны не все звонки периода");
    else if (state == db::FetchState::Failed)
        m_loadNote = QStringLiteral("Загрузка прервана: показаны не все звонки периода");
    showStatus();
    if (state == db::FetchState::Failed) {
        if (error)
            ui::showFailure(this, std::make_exception_ptr(*error));
    }
}

void CallsTab::sortByProgram()
{
    db::Query& q = m_dm->ibQueryRings;
    const QString column = stmt::CallFilter::sorts().column(m_loadSort.first);
    ui::guarded(this, [&] {
        GridRings->gridModel().reorderRows(
            m_dm->CallCosts.order(q, column, m_loadSort.second == 1));
    });
}

void CallsTab::takeOutsideCount(db::FetchState state)
{
    if (state == db::FetchState::Finished && m_outsideQuery->recordCount() > 0) {
        m_outsideQuery->first();
        m_outsideCount = m_outsideQuery->field(QStringLiteral("OUTSIDE")).asInt64();
    }
    showStatus();
}

void CallsTab::showStatus()
{
    QStringList notes;
    if (!m_loadNote.isEmpty())
        notes << m_loadNote;
    if (m_outsideCount > 0)
        notes << QStringLiteral("Звонков вне справочников: %1 (%2)")
                     .arg(m_outsideCount)
                     .arg(m_outsideShown
                              ? QStringLiteral("показаны в списке с номерами вместо имен")
                              : QStringLiteral("в списке не показаны, см. \"Звонки вне "
                                               "справочников\""));
    emit statusMessage(notes.join(QStringLiteral("; ")));
}

void CallsTab::showTotalCost()
{
    const db::Field* zone = m_dm->ibQueryRings.findField(QStringLiteral("RZone"));
    const bool rated = zone && zone->visible();
    m_costLabel->setVisible(rated);
    PanelTotalCost->setVisible(rated);
    if (!rated)
        return;
    const CallRating::Totals totals = m_dm->CallCosts.totals(m_dm->ibQueryRings);
    QString text = tariff::moneyText(totals.kopecks);
    if (totals.noTariff > 0)
        text += QStringLiteral(" (без тарифа: %1)").arg(totals.noTariff);
    PanelTotalCost->setText(text);
    PanelTotalCost->setToolTip(
        totals.noTariff > 0
            ? QStringLiteral("Сумма стоимости звонков с тарифом; %1 исходящих звонков "
                             "без тарифа в нее не вошли")
                  .arg(totals.noTariff)
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
