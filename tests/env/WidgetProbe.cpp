// Compiled with the core library's flags by a test that expects this to fail.
#include <QtWidgets/QWidget>

int probe()
{
    return sizeof(QWidget);
}
