#pragma once

#include <QFont>

// The application's one default font. The form places every control in fixed pixels, laid out
// for the narrow 8-point dialog font of another desktop (11 px at 96 dpi); Qt's default font
// here is wider, and with the frames and arrows the style draws it cuts the captions off.
// The size is given in pixels because the form's geometry is in pixels: the texts then fit
// whatever dpi the desktop reports.
class WindowFont
{
public:
    static constexpr int PixelSize = 11;

    // Liberation Sans Narrow at 11 px, from the fonts-liberation package the tool depends on;
    // a plain sans-serif of the same size when that package is missing.
    static QFont dialogFont();

    // Makes dialogFont() the default of every widget. Call once, after the application object
    // exists and before any window is created.
    static void applyToApplication();
};
