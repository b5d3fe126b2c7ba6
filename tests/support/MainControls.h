// The main window's controls as the tests and benchmarks reach them: by their object names.
#pragma once

#include "grid/DataGrid.h"
#include "ui/controls/TComboQuery.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>

namespace test {

/// The child of `window` with that object name and type. One that is missing (renamed) ends
/// the program naming it, rather than as a null pointer further on.
template <typename T> T* child(const QObject& window, const char* name)
{
    T* found = window.findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no %s named \"%s\"", T::staticMetaObject.className(), name);
    return found;
}

/// The controls of the main window's tabs, found once the window is made.
struct MainControls
{
    explicit MainControls(const QObject& form)
        : dOT(child<QDateEdit>(form, "dOT")), dDo(child<QDateEdit>(form, "dDo")),
          cqUsers(child<TComboQuery>(form, "cqUsers")),
          cqLines(child<TComboQuery>(form, "cqLines")), cbIN(child<QCheckBox>(form, "cbIN")),
          cbOUT(child<QCheckBox>(form, "cbOUT")),
          seNumberBeg(child<QLineEdit>(form, "seNumberBeg")),
          seRingLen(child<QSpinBox>(form, "seRingLen")),
          sbStart(child<QPushButton>(form, "sbStart")),
          GridRings(child<grid::DataGrid>(form, "GridRings")),
          PanelTotalString(child<QLabel>(form, "PanelTotalString")),
          PanelTotalTime(child<QLabel>(form, "PanelTotalTime")),
          GridLines(child<grid::DataGrid>(form, "GridLines")),
          twDepts(child<QTreeWidget>(form, "twDepts")),
          GridUsers(child<grid::DataGrid>(form, "GridUsers"))
    {
    }
    QDateEdit* dOT;
    QDateEdit* dDo;
    TComboQuery* cqUsers;
    TComboQuery* cqLines;
    QCheckBox* cbIN;
    QCheckBox* cbOUT;
    QLineEdit* seNumberBeg;
    QSpinBox* seRingLen;
    QPushButton* sbStart;
    grid::DataGrid* GridRings;
    QLabel* PanelTotalString;
    QLabel* PanelTotalTime;
    grid::DataGrid* GridLines;
    QTreeWidget* twDepts;
    grid::DataGrid* GridUsers;
};

} // namespace test
