// The Win32 realisation's data, checked on any platform: the styles and classes each kind of
// control gets, the dialog's own style, which WM_COMMAND is a command, accelerators and menu
// texts, message box flags and texts, file dialog filters, the skin's scales, and the in-memory
// DLGTEMPLATEEX of every window of the panel read back field by field.
#include <QString>
#include <QtTest>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "ui/dialogkit/DialogTemplateEx.h"
#include "ui/dialogkit/WindowsMapping.h"
#include "ui/dialogs/AdjustmentDialogTemplate.h"
#include "ui/dialogs/EngineerMenuDialogTemplate.h"
#include "ui/dialogs/FirmwareUpdateDialogTemplate.h"
#include "ui/dialogs/GenlockDialogTemplate.h"
#include "ui/dialogs/ImageDialogTemplate.h"
#include "ui/dialogs/InOutDialogTemplate.h"
#include "ui/dialogs/OutputSetupDialogTemplate.h"
#include "ui/dialogs/SystemClockDialogTemplate.h"
#include "ui/dialogs/SystemVersionDialogTemplate.h"
#include "ui/main/MainWindowTemplate.h"

using namespace kestrow::ui;
using namespace kestrow::ui::win;

namespace {

std::u16string Utf16(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toStdU16String();
}

// The Windows SDK's values, written out here a second time on purpose.
constexpr uint32_t WS_CHILD = 0x40000000, WS_VISIBLE = 0x10000000, WS_DISABLED = 0x08000000,
                   WS_GROUP = 0x00020000, WS_TABSTOP = 0x00010000, WS_BORDER = 0x00800000,
                   WS_VSCROLL = 0x00200000, WS_POPUP = 0x80000000, WS_CAPTION = 0x00C00000,
                   WS_SYSMENU = 0x00080000, WS_MINIMIZEBOX = 0x00020000, DS_MODALFRAME = 0x80,
                   DS_SETFONT = 0x40, DS_FIXEDSYS = 0x08, WS_EX_CLIENTEDGE = 0x200;

// A control kind with flags, after a control of `previous` kind (none: the first), and the
// class and style bits it must get (`on`) and must not get (`off`); the low word's control
// style is compared whole.
struct StyleRow {
    const char* name;
    ControlKind kind;
    uint32_t flags;
    bool afterRadio;
    uint16_t atom;
    const char16_t* className;
    uint32_t controlStyle;  // the low 16 bits
    uint32_t on;
    uint32_t off;
    uint32_t exStyle;
};

const StyleRow kStyleRows[] = {
    {"push button", ControlKind::PushButton, kNoFlags, false, 0x80, nullptr, 0x0,
     WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP, WS_DISABLED, 0},
    {"default push button", ControlKind::PushButton, kDefault, false, 0x80, nullptr, 0x1,
     WS_TABSTOP, 0, 0},
    {"hidden default OK never shows", ControlKind::PushButton, kDefault | kHidden, false, 0x80,
     nullptr, 0x1, WS_CHILD, WS_VISIBLE, 0},
    {"disabled button", ControlKind::PushButton, kDisabled, false, 0x80, nullptr, 0x0,
     WS_DISABLED | WS_VISIBLE, 0, 0},
    {"first radio button starts a group", ControlKind::RadioButton, kNoFlags, false, 0x80, nullptr,
     0x9, WS_GROUP | WS_TABSTOP, 0, 0},
    {"next radio button stays in it", ControlKind::RadioButton, kNoFlags, true, 0x80, nullptr, 0x9,
     WS_VISIBLE, WS_GROUP | WS_TABSTOP, 0},
    {"push button after radios starts a group", ControlKind::PushButton, kNoFlags, true, 0x80,
     nullptr, 0x0, WS_GROUP | WS_TABSTOP, 0, 0},
    {"check box", ControlKind::CheckBox, kNoFlags, false, 0x80, nullptr, 0x3, WS_TABSTOP, 0, 0},
    {"group box takes no focus", ControlKind::GroupBox, kNoFlags, false, 0x80, nullptr, 0x7, 0,
     WS_TABSTOP, 0},
    {"static text shows its ampersands", ControlKind::StaticText, kNoFlags, false, 0x82, nullptr,
     0x80, 0, WS_TABSTOP | WS_BORDER, 0},
    {"framed static text", ControlKind::StaticText, kBorder, false, 0x82, nullptr, 0x80, WS_BORDER,
     0, 0},
    {"picture: drawn by the dialog, clicks told", ControlKind::Picture, kNoFlags, false, 0x82,
     nullptr, 0x10D, WS_VISIBLE, WS_TABSTOP, 0},
    {"one-line edit scrolls sideways", ControlKind::Edit, kBorder, false, 0x81, nullptr, 0x80,
     WS_TABSTOP, WS_VSCROLL, WS_EX_CLIENTEDGE},
    {"digits-only edit", ControlKind::Edit, kDigitsOnly | kBorder, false, 0x81, nullptr, 0x2080,
     WS_TABSTOP, 0, WS_EX_CLIENTEDGE},
    {"edit without frame", ControlKind::Edit, kNoFlags, false, 0x81, nullptr, 0x80, WS_TABSTOP, 0,
     0},
    {"instructions: multi-line, read-only, scroll bar", ControlKind::Edit,
     kMultiLine | kReadOnly | kVScroll | kBorder, false, 0x81, nullptr, 0x844, WS_VSCROLL, 0,
     WS_EX_CLIENTEDGE},
    {"drop-down combo box", ControlKind::ComboDropDown, kVScroll, false, 0x85, nullptr, 0x42,
     WS_TABSTOP | WS_VSCROLL, 0, 0},
    {"drop-down list", ControlKind::ComboList, kNoFlags, false, 0x85, nullptr, 0x43, WS_TABSTOP,
     WS_VSCROLL, 0},
    {"trackbar without ticks", ControlKind::Trackbar, kNoTicks, false, 0, u"msctls_trackbar32",
     0x10, WS_TABSTOP, 0, 0},
    {"vertical trackbar with ticks", ControlKind::Trackbar, kVertical, false, 0,
     u"msctls_trackbar32", 0x3, WS_TABSTOP, 0, 0},
    {"framed progress bar", ControlKind::ProgressBar, kBorder, false, 0, u"msctls_progress32", 0x0,
     WS_BORDER, WS_TABSTOP, 0},
};

// A DLGTEMPLATEEX read back, as the dialog manager reads it.
struct ParsedItem {
    uint32_t exStyle = 0;
    uint32_t style = 0;
    int x = 0, y = 0, w = 0, h = 0;
    uint32_t id = 0;
    uint16_t atom = 0;
    std::u16string className;
    std::u16string text;
    size_t offset = 0;  // of the item, from the template's start
};

struct ParsedTemplate {
    uint16_t version = 0;
    uint16_t signature = 0;
    uint32_t style = 0;
    int count = 0;
    int cx = 0, cy = 0;
    std::u16string caption;
    int pointSize = 0;
    int weight = 0;
    std::u16string face;
    std::vector<ParsedItem> items;
    bool ok = false;
};

class Reader {
  public:
    explicit Reader(const std::vector<uint32_t>& words)
        : bytes_(reinterpret_cast<const uint8_t*>(words.data())), size_(words.size() * 4) {}
    uint16_t Word() {
        if (at_ + 2 > size_) {
            failed_ = true;
            return 0;
        }
        const auto v = static_cast<uint16_t>(bytes_[at_] | (bytes_[at_ + 1] << 8));
        at_ += 2;
        return v;
    }
    int Short() { return static_cast<int16_t>(Word()); }
    uint32_t Dword() {
        const uint32_t low = Word();
        return low | (static_cast<uint32_t>(Word()) << 16);
    }
    uint8_t Byte() {
        if (at_ >= size_) {
            failed_ = true;
            return 0;
        }
        return bytes_[at_++];
    }
    std::u16string Text() {
        std::u16string s;
        for (uint16_t c = Word(); c != 0 && !failed_; c = Word()) {
            s += static_cast<char16_t>(c);
        }
        return s;
    }
    void Align() { at_ = (at_ + 3) & ~size_t{3}; }
    [[nodiscard]] size_t At() const { return at_; }
    [[nodiscard]] bool Failed() const { return failed_; }

  private:
    const uint8_t* bytes_;
    size_t size_;
    size_t at_ = 0;
    bool failed_ = false;
};

ParsedTemplate Parse(const std::vector<uint32_t>& words) {
    Reader r(words);
    ParsedTemplate t;
    t.version = r.Word();
    t.signature = r.Word();
    (void)r.Dword();  // helpID
    (void)r.Dword();  // exStyle
    t.style = r.Dword();
    t.count = r.Word();
    (void)r.Short();
    (void)r.Short();
    t.cx = r.Short();
    t.cy = r.Short();
    if (r.Word() != 0 || r.Word() != 0) {  // menu, class: none
        return t;
    }
    t.caption = r.Text();
    t.pointSize = r.Word();
    t.weight = r.Word();
    (void)r.Byte();
    (void)r.Byte();
    t.face = r.Text();
    for (int i = 0; i < t.count && !r.Failed(); ++i) {
        r.Align();
        ParsedItem item;
        item.offset = r.At();
        (void)r.Dword();  // helpID
        item.exStyle = r.Dword();
        item.style = r.Dword();
        item.x = r.Short();
        item.y = r.Short();
        item.w = r.Short();
        item.h = r.Short();
        item.id = r.Dword();
        const uint16_t first = r.Word();
        if (first == 0xFFFF) {
            item.atom = r.Word();
        } else {
            item.className = std::u16string(1, static_cast<char16_t>(first)) + r.Text();
        }
        item.text = r.Text();
        if (r.Word() != 0) {  // creation data: none
            return t;
        }
        t.items.push_back(item);
    }
    t.ok = !r.Failed();
    return t;
}

const DialogTemplate* const kPanelTemplates[] = {
    &kMainWindowTemplate,       &kSystemVersionDialogTemplate, &kSystemClockDialogTemplate,
    &kInOutDialogTemplate,      &kImageDialogTemplate,         &kOutputSetupDialogTemplate,
    &kAdjustmentDialogTemplate, &kEngineerMenuDialogTemplate,  &kFirmwareUpdateDialogTemplate,
    &kGenlockDialogTemplate,
};

}  // namespace

class TestWindowsMapping : public QObject {
    Q_OBJECT

  private slots:
    void controlStyles() {
        const ControlTemplate radio{1, ControlKind::RadioButton, "", 0, 0, 10, 10};
        for (const StyleRow& row : kStyleRows) {
            const ControlTemplate c{1005, row.kind, "x", 0, 0, 10, 10, row.flags};
            const ItemStyle s = ItemStyleOf(c, row.afterRadio ? &radio : nullptr);
            QVERIFY2(s.atom == row.atom, row.name);
            const std::u16string_view expectedClass =
                row.className != nullptr ? std::u16string_view(row.className) : u"";
            QVERIFY2(s.className == expectedClass, row.name);
            QVERIFY2((s.style & 0xFFFF) == row.controlStyle,
                     qPrintable(QStringLiteral("%1: control style %2")
                                    .arg(QLatin1String(row.name))
                                    .arg(s.style & 0xFFFF, 0, 16)));
            QVERIFY2((s.style & row.on) == row.on, row.name);
            QVERIFY2((s.style & row.off) == 0, row.name);
            QVERIFY2((s.style & WS_CHILD) != 0, row.name);
            QVERIFY2(s.exStyle == row.exStyle, row.name);
        }
    }

    void dialogStyles() {
        struct Row {
            const char* name;
            DialogTemplate t;
            uint32_t expected;
        };
        const Row rows[] = {
            {"settings dialog: the shell's font",
             DialogTemplate{207, "Firmware Update", 271, 154, "MS Shell Dlg", 8, {}},
             WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS},
            {"main window: its own font, a minimise box", kMainWindowTemplate,
             WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | WS_MINIMIZEBOX},
        };
        for (const Row& row : rows) {
            QVERIFY2(DialogStyleOf(row.t) == row.expected, row.name);
            QVERIFY2((DialogStyleOf(row.t) & WS_VISIBLE) == 0, row.name);  // shown after init
        }
    }

    void commands() {
        struct Row {
            int id;
            int code;
            bool fromControl;
            bool command;
            const char* what;
        };
        const Row rows[] = {
            {1010, 0, true, true, "a button's or a picture's click"},
            {1010, 1, true, false, "a picture's double-click (STN_DBLCLK)"},
            {1005, 1, true, false, "a combo box's CBN_SELCHANGE"},
            {1008, 0x300, true, false, "an edit's EN_CHANGE"},
            {1, 0, true, true, "OK clicked"},
            {1, 5, true, true, "OK with any code"},
            {2, 0xFFFF, true, true, "Cancel with any code"},
            {40001, 0, false, true, "a menu entry"},
            {40002, 1, false, true, "an accelerator"},
            {1, 0, false, true, "Enter without an OK button"},
        };
        for (const Row& row : rows) {
            QVERIFY2(IsCommand(row.id, row.code, row.fromControl) == row.command, row.what);
        }
    }

    void accelerators() {
        struct Row {
            MenuCommand m;
            uint8_t flags;
            uint16_t key;
            const char* text;
        };
        const Row rows[] = {
            {{40001, "Save settings...", 'S', kCtrl}, 0x09, 'S', "Save settings...\tCtrl+S"},
            {{40002, "Load settings...", 'O', kCtrl}, 0x09, 'O', "Load settings...\tCtrl+O"},
            {{40003, "Both", 'B', kCtrl | kShift | kAlt}, 0x1D, 'B', "Both\tCtrl+Shift+Alt+B"},
            {{40004, "No key", 0, kCtrl}, 0, 0, "No key"},
            {{40005, "Not a letter", '1', kCtrl}, 0, 0, "Not a letter"},
        };
        for (const Row& row : rows) {
            const Accelerator a = AcceleratorOf(row.m);
            QVERIFY2(a.flags == row.flags, row.text);
            QVERIFY2(a.flags == 0 || a.key == row.key, row.text);
            QVERIFY2(a.command == row.m.id, row.text);
            QCOMPARE(MenuItemText(row.m), std::string(row.text));
        }
        QCOMPARE(kMainWindowMenu[0].key, 'S');  // the main window's shortcuts are letters
        QCOMPARE(AcceleratorOf(kMainWindowMenu[1]).flags, uint8_t{0x09});
    }

    void messageBoxes() {
        struct Row {
            MessageButtons buttons;
            MessageIcon icon;
            bool owned;
            uint32_t style;
        };
        const Row rows[] = {
            {MessageButtons::Ok, MessageIcon::None, true, 0x0},
            {MessageButtons::OkCancel, MessageIcon::Question, true, 0x21},
            {MessageButtons::YesNo, MessageIcon::Warning, true, 0x34},
            {MessageButtons::YesNoCancel, MessageIcon::Information, true, 0x43},
            {MessageButtons::RetryCancel, MessageIcon::Error, true, 0x15},
            // Without owner: every window of the program waits for it (MB_TASKMODAL).
            {MessageButtons::Ok, MessageIcon::None, false, 0x2000},
            {MessageButtons::OkCancel, MessageIcon::Error, false, 0x2011},
        };
        for (const Row& row : rows) {
            QCOMPARE(MessageBoxStyle(row.buttons, row.icon, row.owned), row.style);
        }
        QCOMPARE(MessageBoxText("Fail", ""), std::string("Fail"));
        QCOMPARE(MessageBoxText("Error text\n", "why"), std::string("Error text\n\nwhy"));
        // The factory reset's text keeps its CR LF and two spaces.
        const std::string reset = "Are you sure you want to do factory-reset command? \r\n  ";
        QCOMPARE(MessageBoxText(reset, ""), reset);
    }

    void fileFilters() {
        const FileFilter firmware[] = {{"BIN", "*.BIN"}, {"HEX", "*.HEX"}, {"All Files", "*.*"}};
        const std::string expected(
            "BIN (*.BIN)\0*.BIN\0HEX (*.HEX)\0*.HEX\0All Files (*.*)\0*.*\0\0", 57);
        QCOMPARE(FilterString(firmware), expected);
        const FileFilter several[] = {{"Settings", "*.json;*.txt"}};
        QCOMPARE(FilterString(several),
                 std::string("Settings (*.json;*.txt)\0*.json;*.txt\0\0", 38));
        QCOMPARE(FilterString({}), std::string(1, '\0'));
    }

    void skinScales() {
        struct Row {
            int dpi;
            int scale;
        };
        const Row rows[] = {{72, 100},  {96, 100},  {110, 100}, {120, 150}, {144, 150},
                            {160, 150}, {168, 200}, {192, 200}, {240, 200}, {288, 200}};
        for (const Row& row : rows) {
            QVERIFY2(SkinScaleFor(row.dpi) == row.scale, qPrintable(QString::number(row.dpi)));
        }
        QCOMPARE(BitmapResourceId(136, 100), 136);
        QCOMPARE(BitmapResourceId(136, 150), 1136);
        QCOMPARE(BitmapResourceId(162, 200), 2162);
    }

    void gridAndPixels() {
        struct Row {
            int units;
            int base;
            int per;
            int dpi;
            int pixels;
        };
        // The main window's grid: x * 7 / 4, y * 15 / 8 at 96 dpi, scaled with the DPI.
        const Row rows[] = {
            {58, 7, 4, 96, 101},   {29, 15, 8, 96, 54},    {58, 7, 4, 192, 203},
            {29, 15, 8, 192, 108}, {437, 7, 4, 144, 1147}, {459, 7, 4, 96, 803},
            {268, 15, 8, 96, 502}, {0, 7, 4, 192, 0},
        };
        for (const Row& row : rows) {
            QCOMPARE(GridPixels(row.units, row.base, row.per, row.dpi), row.pixels);
        }
        QCOMPARE(ScaledPixels(800, 96), 800);
        QCOMPARE(ScaledPixels(800, 120), 1000);
        QCOMPARE(ScaledPixels(500, 144), 750);
        QCOMPARE(ScaledPixels(500, 192), 1000);
        QCOMPARE(ScaledPixels(801, 120), 1001);  // 1001.25, to the nearest pixel
    }

    void templateBytesOfEveryWindow() {
        for (const DialogTemplate* t : kPanelTemplates) {
            const std::string name = std::to_string(t->id);
            const std::vector<uint32_t> words = BuildDialogTemplateEx(*t, Utf16);
            const ParsedTemplate p = Parse(words);
            QVERIFY2(p.ok, name.c_str());
            QCOMPARE(p.version, uint16_t{1});
            QCOMPARE(p.signature, uint16_t{0xFFFF});
            QCOMPARE(p.style, DialogStyleOf(*t));
            QCOMPARE(p.cx, t->width);
            QCOMPARE(p.cy, t->height);
            QCOMPARE(p.caption, Utf16(t->caption));
            QCOMPARE(p.pointSize, t->fontPointSize);
            QCOMPARE(p.weight, 400);
            QCOMPARE(p.face, Utf16(t->fontFamily));
            QCOMPARE(p.items.size(), t->controls.size());
            const ControlTemplate* previous = nullptr;
            for (size_t i = 0; i < p.items.size(); ++i) {
                const ParsedItem& item = p.items[i];
                const ControlTemplate& c = t->controls[i];
                const ItemStyle s = ItemStyleOf(c, previous);
                const std::string at = name + " control " + std::to_string(i);
                QVERIFY2(item.offset % 4 == 0, at.c_str());
                QVERIFY2(item.id == (c.id > 0 ? static_cast<uint32_t>(c.id) : 0xFFFFu), at.c_str());
                QVERIFY2(item.x == c.x && item.y == c.y && item.w == c.w && item.h == c.h,
                         at.c_str());
                QVERIFY2(item.style == s.style && item.exStyle == s.exStyle, at.c_str());
                QVERIFY2(item.atom == s.atom && item.className == s.className, at.c_str());
                QVERIFY2(item.text == Utf16(c.text), at.c_str());
                previous = &c;
            }
        }
    }

    void templateTextsInUtf16() {
        // Captions and texts beyond ASCII, and an odd-length caption before the font fields.
        constexpr ControlTemplate controls[] = {
            {1001, ControlKind::StaticText, "\xE2\x80\x9CLoad File\xE2\x80\x9D", 1, 2, 3, 4},
            {-1, ControlKind::StaticText,
             "Gr\xC3\xB6\xC3\x9F"
             "e \xE8\xA8\xAD\xE5\xAE\x9A",
             5, 6, 7, 8},
            {1002, ControlKind::Trackbar, "", -3, 9, 10, 11},
        };
        const DialogTemplate t{300, "Einstellungen \xC3\xB1", 100, 50, "MS Shell Dlg", 9, controls};
        const ParsedTemplate p = Parse(BuildDialogTemplateEx(t, Utf16));
        QVERIFY(p.ok);
        QCOMPARE(p.caption, std::u16string(u"Einstellungen \u00F1"));
        QCOMPARE(p.pointSize, 9);
        QCOMPARE(p.items.size(), size_t{3});
        QCOMPARE(p.items[0].text, std::u16string(u"\u201CLoad File\u201D"));
        QCOMPARE(p.items[1].text, std::u16string(u"Gr\u00F6\u00DFe \u8A2D\u5B9A"));
        QCOMPARE(p.items[1].id, 0xFFFFu);
        QCOMPARE(p.items[2].x, -3);  // signed
        QCOMPARE(p.items[2].className, std::u16string(u"msctls_trackbar32"));
        for (const ParsedItem& item : p.items) {
            QCOMPARE(item.offset % 4, size_t{0});
        }
    }
};

QTEST_APPLESS_MAIN(TestWindowsMapping)
#include "test_windows_mapping.moc"
