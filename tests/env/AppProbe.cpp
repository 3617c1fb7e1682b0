// Compiled with the include path of the libraries below the UI by a test that
// expects this to fail: they do not see app/, though the header is there.
#include "app/SortedNameList.h"

int probe()
{
    return sizeof(SortedNameList);
}
