// Must not build: printing belongs to the windows (lib/reportview), so Qt Print Support's
// headers are not on the runs library's include path. A CTest case expects the compiler to
// refuse the include.
#include <QPrinter>
