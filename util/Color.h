// Colours as 0x00BBGGRR, their hue/saturation/value form, and a two-colour
// scale that maps a number in a range onto a colour (by default blue at 0
// through cyan, green and yellow to red at 1000).
#pragma once

#include <cstdint>

using Color = uint32_t;

struct HsvColor {
    float Hue = 0.0f;         // degrees, 0 <= hue < 360 from RgbToHsv
    float Saturation = 0.0f;  // 0.0 to 1.0
    uint8_t Value = 0;        // 0 to 255
};

// Black and greys get hue 180 and saturation 0.
void RgbToHsv(Color color, HsvColor* out);
// 0xFFFFFFFF for a null record.
Color HsvToRgb(const HsvColor* hsv);
// Rounds to nearest (ties to even) and keeps the low 8 bits; NaN and
// infinities give 0.
uint8_t FloatToByte(float value);

class ColorScale {
  public:
    ColorScale();

    Color SetLowColor(Color color);   // returns the previous low colour
    Color SetHighColor(Color color);  // returns the previous high colour
    Color SetLowHsv(float hue, float saturation, uint8_t value);
    Color SetHighHsv(float hue, float saturation, uint8_t value);
    void SetLow(float number, Color color);
    void SetHigh(float number, Color color);

    // Mode 0 interpolates hue, saturation and value; 2 value only; 3
    // saturation only; 4 hue only (without wrapping at 360). Any other mode
    // gives black.
    Color ColorAt(float number) const;

    int Mode = 0;
    float Minimum = 0.0f;
    float Maximum = 1000.0f;
    Color LowColor = 0xFF0000;  // blue
    HsvColor LowHsv{240.0f, 1.0f, 255};
    Color HighColor = 0x0000FF;  // red
    HsvColor HighHsv{0.0f, 1.0f, 255};
};
