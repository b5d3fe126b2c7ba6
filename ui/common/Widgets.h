// Small pieces the windows share: the window font, the busy cursor, sunken figure panels,
// labels with buddies.
#pragma once

#include <QFont>
#include <QString>

class QComboBox;
class QLabel;
class QWidget;

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
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

/// A sunken panel that shows a figure the operator may select and copy.
QLabel* panel(QWidget* parent, const QString& name, int minimumWidth = 120);
/// A label whose mnemonic moves the focus to `buddy`.
QLabel* labelFor(const QString& text, QWidget* buddy, QWidget* parent);
/// Keeps the drop-down list of `box` as wide as its longest item (never narrower than the box),
/// whenever its items change, so that no item is cut in its middle.
void fitDropDownToItems(QComboBox* box);

} // namespace ui
