// Tells whether another client holds the keyboard grab (a pop-up menu grabs
// it once it is mapped; keys sent before that go elsewhere), so a test can
// wait for that instead of sleeping:
//   x_keyboard_grabbed      exit 0: the keyboard is grabbed; 1: it is not
// The only way X offers to ask is to try a grab: when it succeeds nobody held
// it, and it is given back at once. A menu grabs in the same breath as it is
// mapped, so by the time a test has seen it mapped and asks, its grab is there.
#include <X11/Xlib.h>

#include <cstdio>
#include <memory>

int main() {
    std::unique_ptr<Display, int (*)(Display*)> display(XOpenDisplay(nullptr), XCloseDisplay);
    if (!display) {
        std::fprintf(stderr, "x_keyboard_grabbed: cannot open the display\n");
        return 2;
    }
    Display* d = display.get();
    const int status =
        XGrabKeyboard(d, DefaultRootWindow(d), False, GrabModeAsync, GrabModeAsync, CurrentTime);
    if (status == GrabSuccess) {
        XUngrabKeyboard(d, CurrentTime);
        XSync(d, False);
        return 1;
    }
    return status == AlreadyGrabbed || status == GrabFrozen ? 0 : 1;
}
