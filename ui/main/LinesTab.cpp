#include "LinesTab.h"

#include "app/Messages.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "grid/DataGrid.h"
#include "ui/common/Guarded.h"
#include "ui/common/Widgets.h"
#include "ui/editors/TLineForm.h"

#include <QVBoxLayout>

namespace {
const QString GridLinesSection = QStringLiteral("GridLines");
}

LinesTab::LinesTab(QWidget* parent) : MainTab(parent)
{
    setObjectName(QStringLiteral("TabSheet2"));
    GridLines = new grid::DataGrid(this);
    GridLines->setObjectName(QStringLiteral("GridLines"));
    GridLines->setAutoSortMarking(true);
    GridLines->setContextMenuPolicy(Qt::CustomContextMenu);
    (new QVBoxLayout(this))->addWidget(GridLines);
    connect(GridLines, &grid::DataGrid::sortMarkingChanged, this,
            &LinesTab::GridLinesSortMarkingChanged);
    connect(GridLines, &QAbstractItemView::doubleClicked, this, &LinesTab::editRequested);
    connect(GridLines, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        emit menuRequested(GridLines->viewport()->mapToGlobal(pos));
    });
}

void LinesTab::init(TDM& dm)
{
    MainTab::init(dm);
    GridLines->setQuery(&dm.ibQueryLines);
}

void LinesTab::saveLayouts()
{
    if (m_dm->ibQueryLines.isOpen())
        saveGridLayout(GridLines, GridLinesSection);
}

void LinesTab::LoadLines()
{
    TMainObject& s = *m_dm->MainObject;
    db::Query& q = m_dm->ibQueryLines;
    const ui::WaitCursor busy;
    m_dm->EnsureUsable();
    if (q.isOpen())
        saveGridLayout(GridLines, GridLinesSection);
    GridLines->beginReload();
    q.close();
    stmt::LineList{s.FieldLine, s.DescLine == 1}.statement().applyTo(q);
    openDirectoryQuery(GridLines, q, GridLinesSection);
    const QString marked = stmt::LineList::sorts().column(s.FieldLine);
    for (int c = 0; c < GridLines->columnCount(); ++c) {
        GridLines->setTitleButton(c, true);
        if (GridLines->columnField(c)->name() == marked)
            setSortMarker(GridLines, c, s.DescLine);
    }
}

void LinesTab::ReloadLines(int numberLine)
{
    db::Query& q = m_dm->ibQueryLines;
    saveGridLayout(GridLines, GridLinesSection);
    // The markers survive the reload: the statement and its order are the same.
    std::vector<std::pair<int, grid::SortMarker>> markers;
    for (int c : GridLines->sortMarkedColumns())
        markers.emplace_back(c, GridLines->sortMarker(c));
    GridLines->beginReload();
    q.close();
    openDirectoryQuery(GridLines, q, GridLinesSection);
    for (int c = 0; c < GridLines->columnCount(); ++c)
        GridLines->setTitleButton(c, true);
    for (const auto& [c, m] : markers)
        GridLines->setColumnSortMarker(c, m);
    emit linesChanged();
    if (numberLine > 0 && q.locate(QStringLiteral("NumberLine"), numberLine))
        GridLines->selectRow(int(q.recNo()));
}

void LinesTab::GridLinesSortMarkingChanged()
{
    TMainObject& s = *m_dm->MainObject;
    const QString description = sortDescription(*GridLines);
    s.FieldLine = stmt::LineList::sorts().fieldOf(description, s.FieldLine);
    s.DescLine = description.contains(QLatin1String("DESC")) ? 1 : 0;
    ui::guarded(this, [this] { LoadLines(); });
}

bool LinesTab::selectCurrent()
{
    return selectCurrentRow(GridLines, QStringLiteral("NumberLine"));
}

void LinesTab::deleteCurrent()
{
    if (!selectCurrent())
        return;
    const int number = m_dm->ibQueryLines.field(QStringLiteral("NumberLine")).asInteger();
    deleteRow(stmt::deleteLine(number), [this] { ReloadLines(0); });
}

void LinesTab::editLine(int mode)
{
    TLineForm form(*m_dm, window());
    form.EditMode = quint8(mode);
    form.SourceData = &m_dm->ibQueryLines;
    if (form.exec() == 1)
        ReloadLines(form.SavedNumberLine);
}
