// The Win32 realisation's data, checked on any platform: the styles and classes each kind of
// control gets, the dialog's own style, the main window's menu texts, message box flags and
// texts, file dialog filters, the skin's scales, and the in-memory DLGTEMPLATEEX of every window
// of the panel read back field by field. (Which WM_COMMAND is a command, and the accelerators,
// are checked through the dialog manager itself, in DialogkitChecksWin32.cpp.)
#include <QString>
#include <QtTest>
#include <cstring>
#include <span>
#include <string>
#include <tuple>
#include <utility>
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
// style is compared whole. The kinds and flags the panel's windows use.
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
    {"hidden default OK never shows", ControlKind::PushButton, kDefault | kHidden, false, 0x80,
     nullptr, 0x1, WS_CHILD, WS_VISIBLE, 0},
    {"first radio button starts a group", ControlKind::RadioButton, kNoFlags, false, 0x80, nullptr,
     0x9, WS_GROUP | WS_TABSTOP, 0, 0},
    {"next radio button stays in it", ControlKind::RadioButton, kNoFlags, true, 0x80, nullptr, 0x9,
     WS_VISIBLE, WS_GROUP | WS_TABSTOP, 0},
    {"push button after radios starts a group", ControlKind::PushButton, kNoFlags, true, 0x80,
     nullptr, 0x0, WS_GROUP | WS_TABSTOP, 0, 0},
    {"group box takes no focus", ControlKind::GroupBox, kNoFlags, false, 0x80, nullptr, 0x7, 0,
     WS_TABSTOP, 0},
    {"static text shows its ampersands", ControlKind::StaticText, kNoFlags, false, 0x82, nullptr,
     0x80, 0, WS_TABSTOP | WS_BORDER, 0},
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
    {"trackbar without ticks", ControlKind::Trackbar, kNoTicks, false, 0, u"msctls_trackbar32",
     0x10, WS_TABSTOP, 0, 0},
    {"framed progress bar", ControlKind::ProgressBar, kBorder, false, 0, u"msctls_progress32", 0x0,
     WS_BORDER, WS_TABSTOP, 0},
};

// A DLGTEMPLATEEX read back word by word, as the dialog manager reads it.
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
    std::u16string Text() {
        std::u16string s;
        for (uint16_t c = Word(); c != 0 && !failed_; c = Word()) {
            s += static_cast<char16_t>(c);
        }
        return s;
    }
    void Align() { at_ = (at_ + 3) & ~size_t{3}; }
    [[nodiscard]] bool Failed() const { return failed_; }

  private:
    const uint8_t* bytes_;
    size_t size_;
    size_t at_ = 0;
    bool failed_ = false;
};

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
            QVERIFY2(s.className == (row.className != nullptr ? row.className : u""), row.name);
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
        // Shown after init: never WS_VISIBLE.
        const std::tuple<const char*, DialogTemplate, uint32_t> rows[] = {
            {"settings dialog: the shell's font",
             DialogTemplate{207, "Firmware Update", 271, 154, "MS Shell Dlg", 8, {}},
             WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS},
            {"main window: its own font, a minimise box", kMainWindowTemplate,
             WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | WS_MINIMIZEBOX},
        };
        for (const auto& [name, t, style] : rows) {
            QVERIFY2(DialogStyleOf(t) == style, name);
        }
    }

    // The main window's context menu: Ctrl and a letter, told in the entry's text (the
    // accelerator itself is checked through the dialog manager: Ctrl+S, and S alone).
    void menuTexts() {
        const char* const texts[] = {"Save settings...\tCtrl+S", "Load settings...\tCtrl+O"};
        for (size_t i = 0; i < std::size(kMainWindowMenu); ++i) {
            QCOMPARE(MenuItemText(kMainWindowMenu[i]), std::string(texts[i]));
        }
    }

    void messageBoxes() {
        // The buttons and icons the panel's boxes have; without owner every window of the
        // program waits for it (MB_TASKMODAL).
        for (const auto& [buttons, icon, owned, style] :
             {std::tuple{MessageButtons::Ok, MessageIcon::None, true, 0x0u},
              {MessageButtons::OkCancel, MessageIcon::Question, true, 0x21u},
              {MessageButtons::Ok, MessageIcon::Warning, true, 0x30u},
              {MessageButtons::Ok, MessageIcon::Information, true, 0x40u},
              {MessageButtons::Ok, MessageIcon::Error, true, 0x10u},
              {MessageButtons::Ok, MessageIcon::None, false, 0x2000u}}) {
            QCOMPARE(MessageBoxStyle(buttons, icon, owned), style);
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
    }

    void skinScales() {
        // A DPI and its skin scale.
        const std::pair<int, int> rows[] = {{72, 100},  {96, 100},  {110, 100}, {120, 150},
                                            {144, 150}, {160, 150}, {168, 200}, {192, 200},
                                            {240, 200}, {288, 200}};
        for (const auto& [dpi, scale] : rows) {
            QVERIFY2(SkinScaleFor(dpi) == scale, qPrintable(QString::number(dpi)));
        }
        QCOMPARE(BitmapResourceId(136, 100), 136);
        QCOMPARE(BitmapResourceId(136, 150), 1136);
        QCOMPARE(BitmapResourceId(162, 200), 2162);
    }

    void gridAndPixels() {
        // The main window's grid: x * 7 / 4, y * 15 / 8 at 96 dpi, scaled with the DPI. Units,
        // base, per, DPI and the pixels.
        const int rows[][5] = {{58, 7, 4, 96, 101},   {29, 15, 8, 96, 54},    {58, 7, 4, 192, 203},
                               {29, 15, 8, 192, 108}, {437, 7, 4, 144, 1147}, {459, 7, 4, 96, 803},
                               {268, 15, 8, 96, 502}, {0, 7, 4, 192, 0}};
        for (const auto& [units, base, per, dpi, pixels] : rows) {
            QCOMPARE(GridPixels(units, base, per, dpi), pixels);
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
            Reader r(words);
            // Version, signature, helpID, exStyle, style, items, x and y, cx, cy, menu and class.
            const std::vector<int64_t> header{r.Word(), r.Word(),  r.Dword(), r.Dword(), r.Dword(),
                                              r.Word(), r.Dword(), r.Short(), r.Short(), r.Dword()};
            QCOMPARE(header, (std::vector<int64_t>{1, 0xFFFF, 0, 0, DialogStyleOf(*t),
                                                   static_cast<int64_t>(t->controls.size()), 0,
                                                   t->width, t->height, 0}));
            QCOMPARE(r.Text(), Utf16(t->caption));
            QCOMPARE(int{r.Word()}, t->fontPointSize);
            QCOMPARE(r.Word(), uint16_t{400});     // weight
            QCOMPARE(r.Word(), uint16_t{0x0100});  // not italic, DEFAULT_CHARSET
            QCOMPARE(r.Text(), Utf16(t->fontFamily));
            const ControlTemplate* previous = nullptr;
            for (const ControlTemplate& c : t->controls) {
                const ItemStyle s = ItemStyleOf(c, std::exchange(previous, &c));
                const std::string at = name + " control " + std::to_string(c.id);
                r.Align();  // each item on a DWORD boundary
                QVERIFY2(r.Dword() == 0 && r.Dword() == s.exStyle && r.Dword() == s.style,
                         at.c_str());
                QVERIFY2(
                    r.Short() == c.x && r.Short() == c.y && r.Short() == c.w && r.Short() == c.h,
                    at.c_str());
                QVERIFY2(r.Dword() == (c.id > 0 ? static_cast<uint32_t>(c.id) : 0xFFFFu),
                         at.c_str());
                // A predefined class by its atom after 0xFFFF, a common control by its name.
                const uint16_t first = r.Word();
                QVERIFY2(first == 0xFFFF ? r.Word() == s.atom && s.className.empty()
                                         : s.atom == 0 && static_cast<char16_t>(first) + r.Text() ==
                                                              s.className,
                         at.c_str());
                QVERIFY2(r.Text() == Utf16(c.text), at.c_str());
                QVERIFY2(r.Word() == 0, at.c_str());  // creation data: none
            }
            QVERIFY2(!r.Failed(), name.c_str());
        }
    }
};

QTEST_APPLESS_MAIN(TestWindowsMapping)
#include "test_windows_mapping.moc"
