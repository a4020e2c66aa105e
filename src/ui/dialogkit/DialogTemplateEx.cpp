#include "ui/dialogkit/DialogTemplateEx.h"

#include <cstring>

#include "ui/dialogkit/WindowsMapping.h"

namespace kestrow::ui::win {

namespace {

// Little-endian writer of the template's fields.
class Writer {
  public:
    void Word(uint16_t v) {
        bytes_.push_back(static_cast<uint8_t>(v & 0xFF));
        bytes_.push_back(static_cast<uint8_t>(v >> 8));
    }
    void Short(int v) { Word(static_cast<uint16_t>(static_cast<int16_t>(v))); }
    void Dword(uint32_t v) {
        Word(static_cast<uint16_t>(v & 0xFFFF));
        Word(static_cast<uint16_t>(v >> 16));
    }
    void Byte(uint8_t v) { bytes_.push_back(v); }
    // A NUL-terminated UTF-16 string (sz_Or_Ord as a string).
    void Text(std::u16string_view text) {
        for (const char16_t ch : text) {
            Word(static_cast<uint16_t>(ch));
        }
        Word(0);
    }
    void AlignToDword() {
        while (bytes_.size() % 4 != 0) {
            bytes_.push_back(0);
        }
    }
    [[nodiscard]] const std::vector<uint8_t>& Bytes() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
};

constexpr uint16_t kFwNormal = 400;
constexpr uint8_t kDefaultCharset = 1;

}  // namespace

uint32_t TemplateItemId(int id) {
    return id > 0 ? static_cast<uint32_t>(id) : 0xFFFFu;
}

std::vector<uint32_t> BuildDialogTemplateEx(const DialogTemplate& t, Utf16Converter utf16) {
    Writer w;
    w.Word(1);       // dlgVer
    w.Word(0xFFFF);  // signature: the extended template
    w.Dword(0);      // helpID
    w.Dword(0);      // exStyle
    w.Dword(DialogStyleOf(t));
    w.Word(static_cast<uint16_t>(t.controls.size()));
    w.Short(0);  // x, y: the kit places the window itself
    w.Short(0);
    w.Short(t.width);
    w.Short(t.height);
    w.Word(0);  // no menu
    w.Word(0);  // the dialog class
    w.Text(utf16(t.caption));
    w.Word(static_cast<uint16_t>(t.fontPointSize > 0 ? t.fontPointSize : 8));
    w.Word(kFwNormal);
    w.Byte(0);  // not italic
    w.Byte(kDefaultCharset);
    w.Text(utf16(t.fontFamily));

    const ControlTemplate* previous = nullptr;
    for (const ControlTemplate& c : t.controls) {
        w.AlignToDword();
        const ItemStyle s = ItemStyleOf(c, previous);
        w.Dword(0);  // helpID
        w.Dword(s.exStyle);
        w.Dword(s.style);
        w.Short(c.x);
        w.Short(c.y);
        w.Short(c.w);
        w.Short(c.h);
        w.Dword(TemplateItemId(c.id));
        if (s.atom != 0) {
            w.Word(0xFFFF);
            w.Word(s.atom);
        } else {
            w.Text(s.className);
        }
        w.Text(utf16(c.text));
        w.Word(0);  // no creation data
        previous = &c;
    }

    const std::vector<uint8_t>& bytes = w.Bytes();
    std::vector<uint32_t> words((bytes.size() + 3) / 4, 0);
    std::memcpy(words.data(), bytes.data(), bytes.size());
    return words;
}

}  // namespace kestrow::ui::win
