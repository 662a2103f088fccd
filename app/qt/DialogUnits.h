// The pixel size of a dialog unit for a font, as Windows derives it: the
// average width of the 52 Latin letters and the font's height.
#pragma once

#include <QFont>

struct DialogBaseUnits {
    int x;
    int y;
};

DialogBaseUnits BaseUnitsOf(const QFont& font);

// The desktop's default UI font at the template's point size (the template's
// own font does not exist on Linux).
QFont DialogFont();
