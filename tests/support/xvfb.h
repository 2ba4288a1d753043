// xvfb.h -- a virtual X display for tests that draw.
#pragma once

// Makes sure DISPLAY names a working X server: starts a private Xvfb when
// none is set. Returns 1 when a display is available. The server started
// here is stopped at exit.
int ensure_display(void);
