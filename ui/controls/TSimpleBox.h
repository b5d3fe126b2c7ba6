// Fills a drop-down list with database rows and tells the key of the chosen one.
#pragma once

#include "db/Query.h"

class QComboBox;
class TDM;

/// Works on a list it does not own; the only kind is 1, the departments. FillBox appends, so
/// a box is filled once, right after it is made; its query stays open for KeyAt.
class TSimpleBox
{
public:
    TSimpleBox(TDM& dm, quint8 kind, QComboBox* box, bool withFirstItem);

    /// Appends "-" (when asked for) and the rows, and selects the row of key (the last one
    /// when several match); the first item when key is 0 or not found. Errors reach the caller.
    void FillBox(int key);
    /// The key of an item: 0 for the "-" item; past the last row, the last row's key.
    int KeyAt(int index);

    QString FirstText = QStringLiteral("-");
    int Selected = 0;

private:
    db::Query m_query;
    QComboBox* m_box;
    bool m_withFirstItem;
};
