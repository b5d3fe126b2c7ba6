#include "TComboQuery.h"

#include "db/DbError.h"
#include "ui/common/Widgets.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLabel>

TComboQuery::TComboQuery(QWidget* parent) : QComboBox(parent)
{
    setEditable(false);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(8);
    setStyleSheet(QStringLiteral("combobox-popup: 0;")); // a list of 8 rows, not the whole screen
    ui::fitDropDownToItems(this);
    HintWindow = new QLabel(this, Qt::ToolTip | Qt::FramelessWindowHint);
    HintWindow->setObjectName(QStringLiteral("HintWindow"));
    HintWindow->setFrameShape(QFrame::Box);
    HintWindow->setAutoFillBackground(true);
    HintWindow->setMargin(2);
    QPalette p = HintWindow->palette();
    p.setColor(QPalette::Window, QColor(255, 255, 225));
    HintWindow->setPalette(p);
    HintWindow->hide();
    view()->installEventFilter(this);
}

TComboQuery::~TComboQuery() = default;

void TComboQuery::setConnection(db::Database& database, db::Transaction& transaction)
{
    m_database = &database;
    m_transaction = &transaction;
    if (!m_query)
        m_query = std::make_unique<db::Query>(database, transaction);
    else
        m_query->setTransaction(transaction);
}

db::Query& TComboQuery::Query()
{
    if (!m_query)
        throw db::DbError(QStringLiteral("The list has no connection"));
    return *m_query;
}

bool TComboQuery::FillItems(int KeyValue)
{
    FoundIndex = 0;
    bool found = false;
    int row = 0;
    db::Query& q = Query();
    q.close();
    q.open();
    clear();
    if (NeedFirstItem)
        addItem(FirstItem);
    db::Field& key = q.field(KeyFieldName);
    db::Field& shown = q.field(ShowFieldName);
    for (q.first(); !q.eof(); q.next()) {
        if (KeyValue > 0 && key.asInteger() == KeyValue) {
            FoundIndex = row;
            found = true;
        }
        addItem(shown.displayText());
        ++row;
    }
    if (NeedFirstItem && found)
        ++FoundIndex;
    setCurrentIndex(count() > 0 ? FoundIndex : -1);
    return found;
}

int TComboQuery::GetKeyValue()
{
    const int index = currentIndex() - (NeedFirstItem ? 1 : 0);
    if (index < 0 || !m_query)
        return 0;
    try {
        if (!m_query->isOpen() || std::size_t(index) >= m_query->recordCount())
            return 0;
        return m_query->atRow(index, [&] { return m_query->field(KeyFieldName).asInteger(); });
    } catch (const db::DbError&) {
        return 0;
    }
}

void TComboQuery::select(int index)
{
    setCurrentIndex(index);
    if (view()->isVisible())
        view()->setCurrentIndex(model()->index(index, 0));
}

void TComboQuery::FindItem()
{
    if (count() == 0)
        return;
    const qsizetype n = SearchText.size();
    const QString key = UpperKey ? SearchText.toUpper() : SearchText;
    for (int i = 0; i < count(); ++i) {
        const QString head = itemText(i).left(n);
        if ((UpperKey ? head.toUpper() : head) == key) {
            select(i);
            return;
        }
    }
}

void TComboQuery::showPopup()
{
    QComboBox::showPopup();
}

void TComboQuery::hidePopup()
{
    QComboBox::hidePopup();
    // However the list closed (a click, Enter, the focus leaving), the search ends with it.
    ListDropped = false;
    EndSearch();
}

void TComboQuery::DropList()
{
    if (count() == 0)
        return;
    showPopup();
    ListDropped = true;
    FindItem();
}

void TComboQuery::CloseList()
{
    hidePopup();
}

void TComboQuery::BeginSearch()
{
    Searching = true;
    showHint();
}

void TComboQuery::EndSearch()
{
    Searching = false;
    SearchText.clear();
    HintWindow->setText(QString());
    HintWindow->hide();
}

void TComboQuery::showHint()
{
    HintWindow->setText(SearchText);
    HintWindow->adjustSize();
    HintWindow->move(mapToGlobal(QPoint(2, height() / 2)));
    HintWindow->show();
    HintWindow->raise();
}

bool TComboQuery::hintVisible() const
{
    return HintWindow->isVisible() && !HintWindow->text().isEmpty();
}

void TComboQuery::setHintFont(const QFont& font)
{
    HintWindow->setFont(font);
}

QFont TComboQuery::hintFont() const
{
    return HintWindow->font();
}

bool TComboQuery::handleKey(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (Searching)
            EndSearch();
        return false;
    }
    if (key == Qt::Key_Escape) {
        if (ListDropped && !Searching)
            CloseList();
        if (Searching)
            EndSearch();
        return true;
    }
    if (key == Qt::Key_Backspace) {
        SearchText.chop(1);
        if (!SearchText.isEmpty())
            showHint();
        else
            EndSearch();
        return true;
    }
    switch (key) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
    case Qt::Key_Insert:
    case Qt::Key_Delete:
        if (!ListDropped) {
            DropList();
            if (event->modifiers() & Qt::AltModifier)
                return true;
            // The key that opened the list also moves in it.
            int index = currentIndex();
            if (key == Qt::Key_Down || key == Qt::Key_Right)
                ++index;
            else if (key == Qt::Key_Up || key == Qt::Key_Left)
                --index;
            else if (key == Qt::Key_End || key == Qt::Key_PageDown)
                index = key == Qt::Key_End ? count() - 1 : index + maxVisibleItems() - 1;
            else if (key == Qt::Key_Home || key == Qt::Key_PageUp)
                index = 0;
            if (count() > 0)
                select(std::clamp(index, 0, count() - 1));
            return true;
        }
        if (Searching)
            EndSearch();
        return false;
    default:
        break;
    }
    const QString text = event->text();
    if (text.isEmpty() || text[0].unicode() < 32)
        return false;
    if (count() == 0)
        return true;
    if (Searching) {
        SearchText += text;
    } else {
        if (!ListDropped)
            DropList();
        SearchText = text;
        BeginSearch();
    }
    showHint();
    FindItem();
    return true;
}

void TComboQuery::keyPressEvent(QKeyEvent* event)
{
    if (!handleKey(event))
        QComboBox::keyPressEvent(event);
}

bool TComboQuery::eventFilter(QObject* watched, QEvent* event)
{
    // While the list is open the keys go to it: search there as well.
    // The open list's own handling would close it on Escape before the key arrives.
    if (watched == view() && event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        event->accept();
        return true;
    }
    if (watched == view() && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (Searching)
                EndSearch();
            return false;
        }
        return handleKey(key);
    }
    return QComboBox::eventFilter(watched, event);
}
