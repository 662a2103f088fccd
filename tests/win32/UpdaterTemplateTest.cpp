// The updater's dialog resource and the template table the Qt dialog is
// built from must describe the same dialog: read resource 129 back from the
// module (the tests link the same resource script as brevik-updater.exe)
// and compare it with the table, control by control.
#include <windows.h>

// After <windows.h>:
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/logic/DialogTemplate.h"
#include "app/win32/Win32UpdaterDialog.h"
#include "tests/win32/WindowWaits.h"

namespace {

// A reader over a DLGTEMPLATEEX: words, double words, and the "string or
// ordinal" fields, which are a 0 word (none), 0xFFFF and an ordinal, or a
// NUL-terminated UTF-16 string.
class TemplateReader {
  public:
    explicit TemplateReader(const uint8_t* data) : data_(data) {}
    uint16_t Word() {
        uint16_t value;
        std::memcpy(&value, data_ + offset_, 2);
        offset_ += 2;
        return value;
    }
    uint32_t DoubleWord() { return Word() | static_cast<uint32_t>(Word()) << 16; }
    int16_t Short() { return static_cast<int16_t>(Word()); }
    // An ordinal as "#n", a string as its characters (all ASCII here).
    std::string StringOrOrdinal() {
        const uint16_t first = Word();
        if (first == 0xFFFF)
            return "#" + std::to_string(Word());
        std::string text;
        for (uint16_t c = first; c != 0; c = Word())
            text += static_cast<char>(c);
        return text;
    }
    void AlignToDoubleWord() { offset_ = (offset_ + 3) & ~size_t{3}; }
    void Skip(size_t bytes) { offset_ += bytes; }

  private:
    const uint8_t* data_;
    size_t offset_ = 0;
};

struct ItemTemplate {
    uint32_t exStyle;
    uint32_t style;
    int x, y, width, height;
    int32_t id;
    std::string className;
    std::string text;
};

// The class a control of this kind must have ("#0x80" and so on are the
// predefined Button, Edit and Static classes).
std::string ClassFor(ControlKind kind) {
    switch (kind) {
        case ControlKind::PushButton:
        case ControlKind::DefaultPushButton:
        case ControlKind::GroupBox:
            return "#128";
        case ControlKind::PathField:
            return "#129";
        case ControlKind::Label:
        case ControlKind::FramedLabel:
            return "#130";
        case ControlKind::ProgressBar:
            return PROGRESS_CLASSA;
    }
    return "";
}

// The style bits that make a control of this kind look and act as the
// table says.
void ExpectStyleOf(const ControlTemplate& c, uint32_t style) {
    const uint32_t buttonType = style & BS_TYPEMASK;
    const uint32_t staticType = style & SS_TYPEMASK;
    switch (c.kind) {
        case ControlKind::PushButton:
            EXPECT_EQ(static_cast<uint32_t>(BS_PUSHBUTTON), buttonType);
            break;
        case ControlKind::DefaultPushButton:
            EXPECT_EQ(static_cast<uint32_t>(BS_DEFPUSHBUTTON), buttonType);
            break;
        case ControlKind::GroupBox:
            EXPECT_EQ(static_cast<uint32_t>(BS_GROUPBOX), buttonType);
            EXPECT_EQ(static_cast<uint32_t>(BS_CENTER), style & BS_CENTER) << "title centred";
            break;
        case ControlKind::PathField:
            EXPECT_FALSE(style & ES_READONLY) << "a path is typed or pasted";
            EXPECT_TRUE(style & ES_AUTOHSCROLL);
            EXPECT_TRUE(style & WS_BORDER);
            break;
        case ControlKind::ProgressBar:
            EXPECT_TRUE(style & PBS_SMOOTH);
            EXPECT_TRUE(style & WS_BORDER);
            break;
        case ControlKind::Label:
        case ControlKind::FramedLabel:
            EXPECT_EQ(static_cast<uint32_t>(c.align == TextAlign::Left    ? SS_LEFT
                                            : c.align == TextAlign::Right ? SS_RIGHT
                                                                          : SS_CENTER),
                      staticType);
            EXPECT_EQ(c.kind == ControlKind::FramedLabel, (style & SS_SUNKEN) != 0);
            EXPECT_EQ(c.align == TextAlign::CenterBoth, (style & SS_CENTERIMAGE) != 0);
            break;
    }
    EXPECT_EQ(c.tabStop, (style & WS_TABSTOP) != 0);
    EXPECT_EQ(c.id == 1, (style & WS_DISABLED) != 0) << "only Update! starts disabled";
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_TRUE(style & WS_CHILD);
}

}  // namespace

TEST(UpdaterTemplate, TheResourceAndTheQtTableDescribeTheSameDialog) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(kUpdaterDialogResource), RT_DIALOG);
    ASSERT_NE(nullptr, resource);
    ASSERT_EQ(129, kUpdaterDialogResource);
    const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, resource)));
    ASSERT_NE(nullptr, data);

    TemplateReader in(data);
    ASSERT_EQ(1, in.Word()) << "an extended template";
    ASSERT_EQ(0xFFFF, in.Word());
    in.DoubleWord();  // help identifier
    EXPECT_EQ(static_cast<uint32_t>(WS_EX_APPWINDOW | WS_EX_TOOLWINDOW), in.DoubleWord());
    EXPECT_EQ(static_cast<uint32_t>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_SETFONT |
                                    DS_FIXEDSYS),
              in.DoubleWord());
    const uint16_t count = in.Word();
    in.Short();
    in.Short();
    EXPECT_EQ(kDialogWidthDlu, in.Short());
    EXPECT_EQ(kDialogHeightDlu, in.Short());
    EXPECT_EQ("", in.StringOrOrdinal()) << "no menu";
    EXPECT_EQ("", in.StringOrOrdinal()) << "the dialog class";
    EXPECT_EQ(kDialogCaption, in.StringOrOrdinal());
    EXPECT_EQ(kDialogFontPoints, in.Word());
    in.Word();   // weight
    in.Skip(2);  // italic, character set
    EXPECT_EQ("MS Shell Dlg", in.StringOrOrdinal());

    ASSERT_EQ(std::size(kDialogControls), count);
    for (const ControlTemplate& c : kDialogControls) {
        in.AlignToDoubleWord();
        ItemTemplate item;
        in.DoubleWord();  // help identifier
        item.exStyle = in.DoubleWord();
        item.style = in.DoubleWord();
        item.x = in.Short();
        item.y = in.Short();
        item.width = in.Short();
        item.height = in.Short();
        item.id = static_cast<int32_t>(in.DoubleWord());
        item.className = in.StringOrOrdinal();
        item.text = in.StringOrOrdinal();
        in.Skip(in.Word());  // creation data
        SCOPED_TRACE(std::string("control \"") + c.text + "\" (" + std::to_string(c.id) + ")");
        EXPECT_EQ(c.id, item.id);
        EXPECT_EQ(c.x, item.x);
        EXPECT_EQ(c.y, item.y);
        EXPECT_EQ(c.width, item.width);
        EXPECT_EQ(c.height, item.height);
        EXPECT_EQ(c.text, item.text);
        // Class names are case-insensitive (the resource compiler writes
        // them in capitals).
        EXPECT_EQ(0, lstrcmpiA(ClassFor(c.kind).c_str(), item.className.c_str())) << item.className;
        ExpectStyleOf(c, item.style);
    }
}

namespace {

// The dialog's font as a template with DS_SETFONT | DS_FIXEDSYS gets it at
// a screen of dpi dots per inch, and its dialog base units as Windows takes
// them (the average width of the alphabet, rounded; the font's height).
struct DialogMetrics {
    HFONT font;
    int baseX;
    int baseY;
};

DialogMetrics MetricsAt(HDC dc, int dpi) {
    DialogMetrics m;
    m.font = CreateFontA(-MulDiv(kDialogFontPoints, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                         FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                         DEFAULT_QUALITY, DEFAULT_PITCH, "MS Shell Dlg");
    SelectObject(dc, m.font);
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE size = {};
    GetTextExtentPoint32A(dc, kAlphabet, 52, &size);
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    m.baseX = (size.cx / 26 + 1) / 2;
    m.baseY = metrics.tmHeight;
    return m;
}

}  // namespace

// Every one-line caption and button text fits its control, measured with
// the dialog's font at 96, 120 and 144 dpi (the text widens with the font,
// and so do dialog units, but not in step).
TEST(UpdaterTemplate, EveryCaptionFitsItsControlAt96To144Dpi) {
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(nullptr, dc);
    for (int dpi : {96, 120, 144}) {
        const DialogMetrics m = MetricsAt(dc, dpi);
        ASSERT_GT(m.baseX, 0);
        for (const ControlTemplate& c : kDialogControls) {
            const std::string text = WithoutMnemonic(c.text);
            if (text.empty() || c.wraps || c.kind == ControlKind::GroupBox)
                continue;
            SIZE size = {};
            GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
            // A button's face and a sunken frame take a few pixels of each side.
            const int margins = c.kind == ControlKind::Label ? 0 : 6;
            const int room = MulDiv(c.width, m.baseX, 4) - margins;
            EXPECT_LE(size.cx, room) << "\"" << text << "\" at " << dpi << " dpi";
        }
        DeleteObject(m.font);
    }
    DeleteDC(dc);
}
