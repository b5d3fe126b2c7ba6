// The editor of one exchange line.
#pragma once

#include "EditorDialog.h"

class QLineEdit;
class QPlainTextEdit;
class QSpinBox;
namespace db {
class Query;
}

/// Creates a line (EditMode 0) or edits the current row of SourceData (EditMode 1). A failed
/// statement leaves the write transaction active and the window open with the input.
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

    void bbSaveClick() override;

protected:
    void FormActivate() override;
};
