// The editor of one exchange line.
#pragma once

#include "EditorDialog.h"

class QLineEdit;
class QPlainTextEdit;
class QSpinBox;
namespace db {
class Query;
}

/// Creates a line (EditMode 0) or edits the current row of SourceData (EditMode 1). A refused
/// statement leaves the write transaction active, so the operator can correct and save again.
class TLineForm : public EditorDialog
{
    Q_OBJECT
public:
    TLineForm(TDM& dm, QWidget* parent = nullptr);

    quint8 EditMode = 0;
    db::Query* SourceData = nullptr;
    int SavedNumberLine = 0;
    int OldNumberLine = 0;

    QSpinBox* seNumberLine = nullptr;
    QSpinBox* seNumberTown = nullptr;
    QLineEdit* eAddInfo = nullptr;
    QPlainTextEdit* mEtc = nullptr;

protected:
    void FormActivate() override;
    bool validate() override;
    stmt::Statement statement() override;
    bool rollsBackRefusal() const override { return false; }
};
