#pragma once

// The state of the keyboard's lock keys, as far as the window system tells it.

namespace commandbarlocks {

enum class Lock
{
    Caps,
    Num,
    Scroll,
};

// True while the lock is on; false when it is off or the window system does not say.
bool isOn(Lock lock);

} // namespace commandbarlocks
