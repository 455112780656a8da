#include "widgets/commandbars/commandbarlocks.h"

#include <windows.h>

namespace commandbarlocks {

bool isOn(Lock lock)
{
    const int key = lock == Lock::Caps ? VK_CAPITAL : lock == Lock::Num ? VK_NUMLOCK : VK_SCROLL;
    return (GetKeyState(key) & 1) != 0;
}

} // namespace commandbarlocks
