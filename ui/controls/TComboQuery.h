// A drop-down list whose items are the rows of a query, with incremental search.
#pragma once

#include "db/Query.h"

#include <QComboBox>
#include <QFont>
#include <memory>

class QLabel;

/// Shows column ShowFieldName of each row and hands back the integer KeyFieldName of the
/// chosen row (0 for the extra first item or no choice). Item i maps to row i, or to row i-1
/// when NeedFirstItem puts FirstItem first; the query stays open after FillItems. Typing
/// searches the items by their leading characters (letter case folded when UpperKey), with
/// the typed text in a small hint beside the control.
class TComboQuery : public QComboBox
{
    Q_OBJECT
public:
    explicit TComboQuery(QWidget* parent = nullptr);
    ~TComboQuery() override;

    /// Where the query runs; must be set before Query() or FillItems.
    void setConnection(db::Database& database, db::Transaction& transaction);
    /// The query whose rows become the items; its owner writes the SQL before the first fill.
    db::Query& Query();

    /// Refills from the query (errors reach the caller) and selects the row of KeyValue, the
    /// last one with that key; item 0 when none matches. Returns whether one matched.
    bool FillItems(int KeyValue);
    /// Key of the chosen row; 0 for the first item, no choice, or any failure.
    int GetKeyValue();
    virtual void FindItem();

    void setHintFont(const QFont& font);
    QFont hintFont() const;

    QString FirstItem = QStringLiteral("-");
    QString KeyFieldName = QStringLiteral("KeyID");
    QString ShowFieldName = QStringLiteral("Name");
    bool NeedFirstItem = false;
    bool UpperKey = true;

    // Search state, readable by tests.
    bool searching() const { return Searching; }
    bool listDropped() const { return ListDropped; }
    const QString& searchText() const { return SearchText; }
    bool hintVisible() const;

    void showPopup() override;
    void hidePopup() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// True when the key was swallowed.
    bool handleKey(QKeyEvent* event);
    void DropList();
    void CloseList();
    void BeginSearch();
    void EndSearch();
    void showHint();
    void select(int index);

    QLabel* HintWindow = nullptr;
    QString SearchText;
    bool Searching = false;
    bool ListDropped = false;
    int FoundIndex = 0;
    db::Database* m_database = nullptr;
    db::Transaction* m_transaction = nullptr;
    std::unique_ptr<db::Query> m_query;
};
