#include "app/qt/DialogUnits.h"

#include <QApplication>
#include <QFontMetrics>

#include "app/logic/DialogTemplate.h"

DialogBaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, metrics.height()};
}

QFont DialogFont() {
    QFont font = QApplication::font();
    font.setPointSize(kDialogFontPoints);
    return font;
}
