#include "widgets/commandbars/commandbarlocks.h"

#include <QGuiApplication>
#include <X11/XKBlib.h>

// On X11 the lock state lives in the keyboard's named indicators. Other platforms of the same build
// (offscreen, Wayland) have no X display, and the indicators stay empty there.

namespace commandbarlocks {

bool isOn(Lock lock)
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display)
        return false;
    const char* name = lock == Lock::Caps ? "Caps Lock" : lock == Lock::Num ? "Num Lock" : "Scroll Lock";
    const Atom atom = XInternAtom(display, name, True);
    if (atom == None)
        return false;
    Bool state = False;
    if (!XkbGetNamedIndicator(display, atom, nullptr, &state, nullptr, nullptr))
        return false;
    return state == True;
}

} // namespace commandbarlocks
