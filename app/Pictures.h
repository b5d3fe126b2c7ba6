// The program's small pictures, drawn once in code.
#pragma once

#include <QPixmap>

namespace Pictures {

/// A bunch of keys, 32 by 32 (login window).
QPixmap keys();
/// Warning, error, information and question pictures of the message dialog, 32 by 32.
QPixmap warning();
QPixmap error();
QPixmap information();
QPixmap question();
/// An envelope, 16 by 16 (users who get their reports by mail).
QPixmap mail();
/// Tree pictures: the root, a department, the selected department.
QPixmap treeRoot();
QPixmap department(bool selected);

} // namespace Pictures
