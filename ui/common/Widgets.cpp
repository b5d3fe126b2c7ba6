#include "Widgets.h"

#include "settings/TMainObject.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>

#include <algorithm>

namespace ui {

QFont windowFont()
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setBold(true);
    f.setPixelSize(11);
    return f;
}

WaitCursor::WaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor()
{
    QApplication::restoreOverrideCursor();
}

QLabel* panel(QWidget* parent, const QString& name, int minimumWidth)
{
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setMinimumWidth(minimumWidth);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

QLabel* labelFor(const QString& text, QWidget* buddy, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setBuddy(buddy);
    return l;
}

void fitDropDownToItems(QComboBox* box)
{
    const auto fit = [box] {
        QAbstractItemView* view = box->view();
        const QFontMetrics metrics(view->font());
        int widest = 0;
        for (int i = 0; i < box->count(); ++i)
            widest = std::max(widest, metrics.horizontalAdvance(box->itemText(i)));
        // Room for the item's margins, the frame and a scroll bar.
        const int room = 2 * box->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 16 +
                         2 * view->frameWidth() +
                         box->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        view->setMinimumWidth(widest > 0 ? widest + room : 0);
    };
    QAbstractItemModel* model = box->model();
    QObject::connect(model, &QAbstractItemModel::rowsInserted, box, fit);
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, box, fit);
    QObject::connect(model, &QAbstractItemModel::modelReset, box, fit);
    QObject::connect(model, &QAbstractItemModel::dataChanged, box, fit);
    fit();
}

QTableWidget* readOnlyTable(QWidget* parent, const QString& name, const QStringList& titles)
{
    auto* t = new QTableWidget(0, int(titles.size()), parent);
    t->setObjectName(name);
    t->setHorizontalHeaderLabels(titles);
    setReadOnlyLook(t);
    return t;
}

void setReadOnlyLook(QTableView* t)
{
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->verticalHeader()->hide();
    t->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
    t->setWordWrap(false);
}

QString choosePdfFile(QWidget* parent, const TMainObject& settings, const QString& name)
{
    const QString folder =
        !settings.LastExportDir.isEmpty() && QDir(settings.LastExportDir).exists()
            ? settings.LastExportDir
            : settings.ProgramDir;
    QFileDialog dialog(parent, QStringLiteral("Сохранить отчет в файл PDF"), folder);
    dialog.setObjectName(QStringLiteral("PdfDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("PDF (*.pdf)"));
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    dialog.selectFile(name);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void fitOnScreen(QWidget* window, QSize wanted)
{
    const QScreen* screen = window->screen();
    if (!screen) {
        window->resize(wanted);
        return;
    }
    const QRect area = screen->availableGeometry();
    const QSize frame(24, 48); // the most a window manager's frame and title take
    const QSize size = wanted.boundedTo(area.size() - frame);
    window->resize(size);
    // A top-level window's position is its frame's: the frame, as large as it may be, in the
    // middle.
    window->move(area.x() + (area.width() - size.width() - frame.width()) / 2,
                 area.y() + (area.height() - size.height() - frame.height()) / 2);
}

} // namespace ui
