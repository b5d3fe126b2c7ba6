#include "MainTab.h"

#include "app/Messages.h"

#include "data/CallRecord.h"
#include "data/Statements.h"
#include "data/TDM.h"
#include "grid/DataGrid.h"
#include "ui/common/Guarded.h"

QString MainTab::sortDescription(const grid::DataGrid& g)
{
    QString description;
    for (int c : g.sortMarkedColumns()) {
        if (!description.isEmpty())
            description += u',';
        description += g.columnField(c)->name();
        if (g.sortMarker(c) == grid::SortMarker::Descending)
            description += QStringLiteral(" DESC");
    }
    return description.toUpper();
}

void MainTab::setSortMarker(grid::DataGrid* grid, int column, int descending)
{
    grid->setColumnSortMarker(column, descending == 1 ? grid::SortMarker::Descending
                                                      : grid::SortMarker::Ascending);
}

void MainTab::saveGridLayout(grid::DataGrid* grid, const QString& section)
{
    grid->saveLayout(m_dm->MainObject->GridLayouts(), section);
}

void MainTab::restoreGridLayout(grid::DataGrid* grid, const QString& section)
{
    grid->restoreLayout(m_dm->MainObject->GridLayouts(), section);
}

void MainTab::openDirectoryQuery(grid::DataGrid* grid, db::Query& q, const QString& section)
{
    try {
        q.open();
    } catch (...) {
        grid->endReload();
        throw;
    }
    ApplyFieldLabels(q);
    grid->endReload();
    grid->fitColumns();
    restoreGridLayout(grid, section);
}

void MainTab::deleteRow(const stmt::Statement& statement, const std::function<void()>& reload)
{
    if (!Messages::confirm(QStringLiteral("Удалить ?"), this))
        return;
    ui::guarded(this, [&] {
        if (m_dm->Write({statement}, TDM::Refusal::Commit) == TDM::WriteResult::Refused)
            Messages::error(DeleteFailedText(), this);
        reload();
    });
}

QString MainTab::DeleteFailedText()
{
    return QStringLiteral("Ошибка . Попробуйте записать позже ...");
}

bool MainTab::selectCurrentRow(grid::DataGrid* grid, const QString& keyField)
{
    db::Query& q = *grid->query();
    if (grid->currentIndex().isValid())
        q.setRecNo(grid->currentIndex().row());
    return q.isOpen() && q.recordCount() > 0 && !q.field(keyField).asString().isEmpty();
}
