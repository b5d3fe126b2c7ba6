// The editor of one department's name.
#pragma once

#include "EditorDialog.h"

class QLineEdit;

/// Creates a department with a key from MAKENEWID (EditMode 0) or renames department DeptKey
/// (EditMode 1). Every department is written at the top level (parent 0).
class TDeptForm : public EditorDialog
{
    Q_OBJECT
public:
    TDeptForm(TDM& dm, QWidget* parent = nullptr);

    quint8 EditMode = 0;
    int DeptKey = 0;
    int ParentKey = 0;

    QLineEdit* eDeptName = nullptr;

protected:
    void FormActivate() override;
    bool validate() override;
    stmt::Statement statement() override;
};
