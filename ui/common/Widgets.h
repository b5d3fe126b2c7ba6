// Small pieces the windows share: the window font, the busy cursor, sunken figure panels,
// labels with buddies, read-only tables, the choice of a PDF file.
#pragma once

#include <QFont>
#include <QSize>
#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QTableView;
class QTableWidget;
class QWidget;
class TMainObject;

namespace ui {

/// The font of the program's windows: MS Sans Serif, bold, 11 pixels (8 points on a screen of
/// 96 dots an inch); where the face is missing, the system's nearest.
QFont windowFont();

/// The busy cursor for as long as the object lives.
class WaitCursor
{
public:
    WaitCursor();
    ~WaitCursor();
    Q_DISABLE_COPY(WaitCursor)
};

/// A sunken panel that shows a figure the operator may select and copy.
QLabel* panel(QWidget* parent, const QString& name, int minimumWidth = 120);
/// A label whose mnemonic moves the focus to `buddy`.
QLabel* labelFor(const QString& text, QWidget* buddy, QWidget* parent);
/// Keeps the drop-down list of `box` as wide as its longest item (never narrower than the box),
/// whenever its items change, so that no item is cut in its middle.
void fitDropDownToItems(QComboBox* box);
/// A table of figures to read: no editing, whole rows selected, no row numbers, every row one
/// line of text high, no wrapping.
QTableWidget* readOnlyTable(QWidget* parent, const QString& name, const QStringList& titles);
/// The same look for a view over a model of its own.
void setReadOnlyLook(QTableView* t);
/// Sizes a window to `wanted`, within the screen it opens on with room for the frame and title
/// the window manager adds, and places it in the middle of that screen, frame included, so that
/// its title bar is never above the screen's top (a window centred over its parent may be).
void fitOnScreen(QWidget* window, QSize wanted);
/// Asks where to write a PDF, proposing `name` in the folder of the last export (the program's
/// folder before the first); empty when the operator cancels.
QString choosePdfFile(QWidget* parent, const TMainObject& settings, const QString& name);

} // namespace ui
