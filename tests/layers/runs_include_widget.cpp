// Must not build: the runs library and what it links (the data, the report layout and its PDF
// writer, the mail) need Qt Gui at most, so Qt Widgets' headers are not on its include path.
// A CTest case builds it and expects the compiler to refuse the include.
#include <QWidget>
