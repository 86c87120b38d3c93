// Saves part of the screen as a 24-bit BMP file (for the demo's pictures).
#pragma once

#include <windows.h>

// The screen rectangle r, in screen coordinates, to path. False (and no file)
// when the rectangle is empty or the capture or write fails.
bool save_screen_bmp(const char* path, const RECT& r);
