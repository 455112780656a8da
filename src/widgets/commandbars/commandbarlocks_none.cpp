#include "widgets/commandbars/commandbarlocks.h"

// Window systems that do not tell the lock state: the indicators stay empty.

namespace commandbarlocks {

bool isOn(Lock)
{
    return false;
}

} // namespace commandbarlocks
