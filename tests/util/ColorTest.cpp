#include "util/Color.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

TEST(ColorModel, RgbToHsvOfPrimariesAndGreys) {
    HsvColor hsv;
    RgbToHsv(0x0000FF, &hsv);
    EXPECT_FLOAT_EQ(0.0f, hsv.Hue);
    EXPECT_FLOAT_EQ(1.0f, hsv.Saturation);
    EXPECT_EQ(255, hsv.Value);
    RgbToHsv(0xFF00FF, &hsv);
    EXPECT_FLOAT_EQ(300.0f, hsv.Hue);
    RgbToHsv(0x808080, &hsv);
    EXPECT_FLOAT_EQ(180.0f, hsv.Hue);
    EXPECT_FLOAT_EQ(0.0f, hsv.Saturation);
    EXPECT_EQ(128, hsv.Value);
    RgbToHsv(0, &hsv);
    EXPECT_FLOAT_EQ(180.0f, hsv.Hue);
    EXPECT_EQ(0, hsv.Value);
    RgbToHsv(0xAA00FF00, &hsv);
    EXPECT_FLOAT_EQ(120.0f, hsv.Hue) << "the top byte is ignored";
    RgbToHsv(0x123456, nullptr);
}

TEST(ColorModel, HsvToRgbSectorsAndRounding) {
    const HsvColor green{120.0f, 1.0f, 255};
    EXPECT_EQ(0x00FF00u, HsvToRgb(&green));
    const HsvColor grey{77.0f, 0.0f, 77};
    EXPECT_EQ(0x4D4D4Du, HsvToRgb(&grey));
    EXPECT_EQ(0xFFFFFFFFu, HsvToRgb(nullptr));
    const HsvColor wrapped{360.0f, 1.0f, 255};
    EXPECT_EQ(0xFF00FFu, HsvToRgb(&wrapped)) << "sector 6 takes sector 5's layout";
    const HsvColor nan{std::numeric_limits<float>::quiet_NaN(), 1.0f, 200};
    HsvToRgb(&nan);  // defined, whatever it gives

    EXPECT_EQ(2, FloatToByte(2.5f)) << "ties to even";
    EXPECT_EQ(4, FloatToByte(3.5f));
    EXPECT_EQ(0x2C, FloatToByte(300.0f)) << "low 8 bits";
    EXPECT_EQ(0xFF, FloatToByte(-1.0f));
    EXPECT_EQ(0, FloatToByte(std::numeric_limits<float>::infinity()));
}

TEST(ColorModelProperty, RoundTripStaysWithinOnePerChannel) {
    for (int r = 0; r < 256; r += 15) {
        for (int g = 0; g < 256; g += 15) {
            for (int b = 0; b < 256; b += 15) {
                const Color c = static_cast<Color>(r | g << 8 | b << 16);
                HsvColor hsv;
                RgbToHsv(c, &hsv);
                ASSERT_GE(hsv.Hue, 0.0f);
                ASSERT_LT(hsv.Hue, 360.0f);
                const Color back = HsvToRgb(&hsv);
                for (int shift : {0, 8, 16}) {
                    const int expected = (c >> shift) & 0xFF, got = (back >> shift) & 0xFF;
                    ASSERT_LE(std::abs(expected - got), 1) << std::hex << c << " -> " << back;
                }
            }
        }
    }
    for (Color c : {0x0000FFu, 0x00FF00u, 0xFF0000u, 0x00FFFFu, 0xFF00FFu, 0xFFFF00u}) {
        HsvColor hsv;
        RgbToHsv(c, &hsv);
        EXPECT_EQ(c, HsvToRgb(&hsv)) << std::hex << c;
    }
}

TEST(ColorScale, DefaultHeatScale) {
    ColorScale scale;
    EXPECT_EQ(0xFF0000u, scale.ColorAt(-5.0f));
    EXPECT_EQ(0xFF0000u, scale.ColorAt(0.0f));
    EXPECT_EQ(0xFFFF00u, scale.ColorAt(250.0f));
    EXPECT_EQ(0x00FF00u, scale.ColorAt(500.0f));
    EXPECT_EQ(0x00FFFFu, scale.ColorAt(750.0f));
    EXPECT_EQ(0x0000FFu, scale.ColorAt(1000.0f));
    EXPECT_EQ(0x0000FFu, scale.ColorAt(5000.0f));
    scale.Mode = 1;
    EXPECT_EQ(0u, scale.ColorAt(500.0f));
}

TEST(ColorScale, SettersKeepBothFormsAndTheModes) {
    ColorScale scale;
    EXPECT_EQ(0xFF0000u, scale.SetLowColor(0x000000));
    EXPECT_EQ(0, scale.LowHsv.Value);
    EXPECT_EQ(0x0000FFu, scale.SetHighColor(0xFFFFFF));
    EXPECT_EQ(255, scale.HighHsv.Value);
    scale.Mode = 2;
    EXPECT_EQ(0x808080u, scale.ColorAt(500.0f)) << "value only: grey halfway";
    EXPECT_EQ(0x00FF00u, scale.SetHighHsv(120.0f, 1.0f, 255));
    EXPECT_EQ(0x00FF00u, scale.HighColor);
    scale.SetLowHsv(0.0f, 0.0f, 255);
    scale.Mode = 3;
    EXPECT_EQ(0x8080FFu, scale.ColorAt(500.0f)) << "saturation only, hue of the low end";
    scale.SetLow(0.0f, 0x0000FF);
    scale.SetHigh(100.0f, 0x00FF00);
    scale.Mode = 4;
    EXPECT_EQ(0x00FFFFu, scale.ColorAt(50.0f)) << "hue only: red to green through yellow";

    ColorScale flat;
    flat.SetLow(10.0f, 0xFF0000);
    flat.SetHigh(10.0f, 0x00FFFF);
    for (int mode : {0, 2, 3, 4}) {
        flat.Mode = mode;
        for (float x : {-100.0f, 10.0f, 100.0f}) {
            HsvColor expected;
            switch (mode) {
                case 0:
                    expected = flat.HighHsv;
                    break;
                case 2:
                    expected = {flat.LowHsv.Hue, flat.LowHsv.Saturation, flat.HighHsv.Value};
                    break;
                case 3:
                    expected = {flat.LowHsv.Hue, flat.HighHsv.Saturation, flat.LowHsv.Value};
                    break;
                default:
                    expected = {flat.HighHsv.Hue, flat.LowHsv.Saturation, flat.LowHsv.Value};
            }
            EXPECT_EQ(HsvToRgb(&expected), flat.ColorAt(x)) << mode << " " << x;
        }
    }
    flat.Mode = 0;
    EXPECT_EQ(0x00FFFFu, flat.ColorAt(3.0f)) << "the high colour itself";
}
