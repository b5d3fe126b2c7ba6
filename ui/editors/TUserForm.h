// The editor of one internal subscriber.
#pragma once

#include "EditorDialog.h"

#include <memory>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;
class TSimpleBox;
namespace db {
class Query;
}

/// Creates a user (EditMode 0) or edits the current row of SourceData (EditMode 1). A failed
/// statement is rolled back; the window stays open with the input.
class TUserForm : public EditorDialog
{
    Q_OBJECT
public:
    TUserForm(TDM& dm, QWidget* parent = nullptr);
    ~TUserForm() override;

    quint8 EditMode = 0;
    db::Query* SourceData = nullptr;
    int SavedNumberIn = 0;
    int TreeDeptKey = 0;
    int OldNumberIn = 0;

    QComboBox* cbDept = nullptr;
    QSpinBox* seNumberIn = nullptr;
    QLineEdit* eFio = nullptr;
    QLineEdit* eEMail = nullptr;
    QCheckBox* cbSendMail = nullptr;

protected:
    void FormActivate() override;
    bool validate() override;
    stmt::Statement statement() override;

private:
    std::unique_ptr<TSimpleBox> m_depts;
};
