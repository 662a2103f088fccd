// The updater dialog's template: size, caption and every control with its
// identifier, initial text and place, in tab order. Positions and sizes are
// dialog units (a quarter of the font's average character width across, an
// eighth of its height down), as Windows dialog templates give them.
#pragma once

#include <cstddef>

enum class ControlKind {
    PushButton,
    DefaultPushButton,
    Label,
    FramedLabel,
    PathField,
    ProgressBar,
    GroupBox
};

// How a label's text sits in its box.
enum class TextAlign { Left, Right, Center, CenterBoth };

struct ControlTemplate {
    int id;  // -1: no identifier
    ControlKind kind;
    const char* text;  // '&' marks the mnemonic
    int x, y, width, height;
    TextAlign align;
    bool tabStop;
    bool wraps;
    // A caption: the control it names (its buddy), which follows it.
    int captionOf = 0;
    // The name a screen reader says for a control with no text of its own
    // (a field, a bar); a value field is named by its text and labelled by
    // its caption.
    const char* accessibleName = nullptr;
};

constexpr const char* kDialogCaption = "Brevik Firmware Update Utility v1.7";
constexpr int kDialogWidthDlu = 278;
constexpr int kDialogHeightDlu = 203;
constexpr int kDialogFontPoints = 8;

// In the order of the screen, top to bottom and left to right: the order Tab
// moves in and a screen reader reads, each caption just before its control.
// Captions end where their fields begin, right-aligned, so that a wider font
// or a higher DPI widens them to the left.
inline constexpr ControlTemplate kDialogControls[] = {
    {-1, ControlKind::Label, "Hardware Description:", 7, 7, 92, 8, TextAlign::Right, false, false,
     1000},
    {1000, ControlKind::FramedLabel, "Not Found!", 101, 7, 120, 10, TextAlign::CenterBoth, false,
     false},
    {1004, ControlKind::PushButton, "&Detect", 224, 7, 47, 12, TextAlign::Center, true, false},
    {-1, ControlKind::Label, "Current Firmware Version:", 7, 18, 92, 8, TextAlign::Right, false,
     false, 2747},
    {2747, ControlKind::FramedLabel, "Not Found!", 101, 18, 120, 10, TextAlign::Center, false,
     false},
    {-1, ControlKind::Label, "Port:", 7, 30, 92, 8, TextAlign::Right, false, false, 1007},
    {1007, ControlKind::FramedLabel, "Not Found!", 101, 29, 170, 10, TextAlign::Center, false,
     false},
    {-1, ControlKind::Label,
     "Use this to update your Brevik Hardware firmware. Only use an image file provided by the "
     "manufacturer. ",
     7, 46, 264, 18, TextAlign::Left, false, true},
    {-1, ControlKind::Label,
     "WARNING: Attempting to update the firmware with an unapproved file may render the device "
     "unusable. Update at your own risk!",
     7, 70, 264, 17, TextAlign::Left, false, true},
    {-1, ControlKind::Label, "&Image File:", 7, 96, 39, 8, TextAlign::Left, false, false, 2745},
    {2745, ControlKind::PathField, "", 48, 94, 181, 12, TextAlign::Left, true, false, 0,
     "Image File"},
    {2746, ControlKind::PushButton, "&Browse", 235, 93, 36, 12, TextAlign::Center, true, false},
    {-1, ControlKind::GroupBox, "Image Details", 7, 110, 264, 42, TextAlign::Center, false, false},
    {-1, ControlKind::Label, "Update Version:", 60, 121, 74, 8, TextAlign::Right, false, false,
     1001},
    {1001, ControlKind::Label, "Unknown", 138, 121, 126, 8, TextAlign::Left, false, false},
    {-1, ControlKind::Label, "Target Hardware:", 60, 130, 74, 8, TextAlign::Right, false, false,
     1002},
    {1002, ControlKind::Label, "Unknown", 138, 130, 126, 8, TextAlign::Left, false, false},
    {-1, ControlKind::Label, "Signature:", 60, 139, 74, 8, TextAlign::Right, false, false, 1003},
    {1003, ControlKind::Label, "Unknown", 138, 139, 126, 8, TextAlign::Left, false, false},
    {1005, ControlKind::Label, "Firmware Update Progress...", 7, 157, 264, 8, TextAlign::Center,
     false, false, 2777},
    {2777, ControlKind::ProgressBar, "", 7, 166, 264, 9, TextAlign::Left, false, false, 0,
     "Firmware update progress"},
    {1006, ControlKind::PushButton, "Dia&gnose", 7, 179, 50, 14, TextAlign::Center, true, false},
    {1, ControlKind::DefaultPushButton, "&Update!", 83, 179, 50, 14, TextAlign::Center, true,
     false},
    {2, ControlKind::PushButton, "Cancel", 140, 179, 50, 14, TextAlign::Center, true, false},
};

// The Update! button's caption, with its mnemonic, when no update runs.
constexpr const char* kUpdateButtonText = "&Update!";

// Dialog units to pixels, as Windows maps them: x * baseX / 4 and
// y * baseY / 8, rounded to nearest (MulDiv). baseX is the font's average
// character width, baseY its height.
constexpr int DluToPixelsX(int dlu, int baseX) {
    return (dlu * baseX + 2) / 4;
}
constexpr int DluToPixelsY(int dlu, int baseY) {
    return (dlu * baseY + 4) / 8;
}
