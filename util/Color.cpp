#include "util/Color.h"

#include <algorithm>
#include <cmath>

void RgbToHsv(Color color, HsvColor* out) {
    if (out == nullptr)
        return;
    const int r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
    const int max = std::max({r, g, b}), min = std::min({r, g, b});
    out->Value = static_cast<uint8_t>(max);
    out->Hue = 180.0f;
    out->Saturation = 0.0f;
    if (max == 0)
        return;
    const float delta = static_cast<float>(max - min);
    out->Saturation = delta / static_cast<float>(max);
    if (delta == 0.0f)
        return;
    const float rc = static_cast<float>(max - r) / delta;
    const float gc = static_cast<float>(max - g) / delta;
    const float bc = static_cast<float>(max - b) / delta;
    float h;
    if (r == max)
        h = bc - gc;
    else if (g == max)
        h = 2.0f + rc - bc;
    else
        h = 4.0f + gc - rc;
    float hue = h * 60.0f;
    if (hue >= 360.0f)
        hue -= 360.0f;
    if (hue < 0.0f)
        hue += 360.0f;
    out->Hue = hue;
}

uint8_t FloatToByte(float value) {
    if (!std::isfinite(value))
        return 0;
    // nearbyint rounds ties to even in the default rounding mode; the low 8
    // bits of the integer are kept (fmod keeps huge values in range).
    const double rounded = std::nearbyint(static_cast<double>(value));
    const double low = std::fmod(rounded, 256.0);
    return static_cast<uint8_t>(static_cast<int>(low < 0 ? low + 256.0 : low));
}

Color HsvToRgb(const HsvColor* hsv) {
    if (hsv == nullptr)
        return 0xFFFFFFFF;
    const uint8_t v = hsv->Value;
    uint8_t red = v, green = v, blue = v;
    if (hsv->Saturation != 0.0f) {
        const float V = static_cast<float>(v);
        const float s = hsv->Saturation;
        const float h = hsv->Hue / 60.0f;
        // The sector is h truncated toward zero; any sector outside 0..4
        // (NaN and infinities included) takes the layout of sector 5.
        const float whole = std::isfinite(h) ? std::trunc(h) : 5.0f;
        const int sector = whole >= 0.0f && whole <= 4.0f ? static_cast<int>(whole) : 5;
        const float f = std::isfinite(h) ? h - whole : 0.0f;
        const uint8_t p = FloatToByte((1.0f - s) * V);
        const uint8_t q = FloatToByte((1.0f - s * f) * V);
        const uint8_t t = FloatToByte((1.0f - s * (1.0f - f)) * V);
        switch (sector) {
            case 0:
                red = v, green = t, blue = p;
                break;
            case 1:
                red = q, green = v, blue = p;
                break;
            case 2:
                red = p, green = v, blue = t;
                break;
            case 3:
                red = p, green = q, blue = v;
                break;
            case 4:
                red = t, green = p, blue = v;
                break;
            default:
                red = v, green = p, blue = q;
                break;
        }
    }
    return static_cast<Color>(red) | static_cast<Color>(green) << 8 |
           static_cast<Color>(blue) << 16;
}

ColorScale::ColorScale() = default;

Color ColorScale::SetLowColor(Color color) {
    const Color previous = LowColor;
    LowColor = color & 0xFFFFFF;
    RgbToHsv(LowColor, &LowHsv);
    return previous;
}

Color ColorScale::SetHighColor(Color color) {
    const Color previous = HighColor;
    HighColor = color & 0xFFFFFF;
    RgbToHsv(HighColor, &HighHsv);
    return previous;
}

Color ColorScale::SetLowHsv(float hue, float saturation, uint8_t value) {
    LowHsv = {hue, saturation, value};
    LowColor = HsvToRgb(&LowHsv);
    return LowColor;
}

Color ColorScale::SetHighHsv(float hue, float saturation, uint8_t value) {
    HighHsv = {hue, saturation, value};
    HighColor = HsvToRgb(&HighHsv);
    return HighColor;
}

void ColorScale::SetLow(float number, Color color) {
    Minimum = number;
    SetLowColor(color);
}

void ColorScale::SetHigh(float number, Color color) {
    Maximum = number;
    SetHighColor(color);
}

Color ColorScale::ColorAt(float number) const {
    float x = number;
    if (x > Maximum)
        x = Maximum;
    else if (x < Minimum)
        x = Minimum;
    const float t = Maximum == Minimum ? 1.0f : (x - Minimum) / (Maximum - Minimum);
    const HsvColor& L = LowHsv;
    const HsvColor& H = HighHsv;
    auto mix = [t](float low, float high) { return low + (high - low) * t; };
    const uint8_t mixedValue = FloatToByte(mix(L.Value, H.Value));
    HsvColor c;
    switch (Mode) {
        case 0:
            c = {mix(L.Hue, H.Hue), mix(L.Saturation, H.Saturation), mixedValue};
            break;
        case 2:
            c = {L.Hue, L.Saturation, mixedValue};
            break;
        case 3:
            c = {L.Hue, mix(L.Saturation, H.Saturation), L.Value};
            break;
        case 4:
            c = {mix(L.Hue, H.Hue), L.Saturation, L.Value};
            break;
        default:
            return 0;
    }
    return HsvToRgb(&c);
}
