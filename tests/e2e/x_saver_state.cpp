/* Prints the X server's screen saver state for the display in $DISPLAY:
 * "on" (the saver is active), "off", or "disabled", and the idle time in
 * milliseconds, e.g. "off 1520". Exit status 1 without a display or the
 * MIT-SCREEN-SAVER extension. */
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#include <cstdio>

int main(void)
{
    Display* display = XOpenDisplay(NULL);
    if (!display) {
        fputs("x_saver_state: cannot open the display\n", stderr);
        return 1;
    }
    int event, error;
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    if (!XScreenSaverQueryExtension(display, &event, &error) || !info
        || !XScreenSaverQueryInfo(display, DefaultRootWindow(display), info)) {
        fputs("x_saver_state: no screen saver extension\n", stderr);
        return 1;
    }
    const char* state = info->state == ScreenSaverOn ? "on" : info->state == ScreenSaverOff ? "off" : "disabled";
    printf("%s %lu\n", state, info->idle);
    XFree(info);
    XCloseDisplay(display);
    return 0;
}
