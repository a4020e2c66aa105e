#include "ui/dialogs/RowDialog.h"

#include <algorithm>

#include "ui/dialogkit/MessageBox.h"

namespace kestrow {

int LeadingNumber(std::string_view text) {
    // Blanks, sign and digits are one byte each in UTF-8, and any other character ends the
    // number: the first 8 bytes hold what the first 8 characters would.
    const std::string_view head = text.substr(0, 8);
    size_t i = 0;
    while (i < head.size() && (head[i] == ' ' || head[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < head.size() && (head[i] == '-' || head[i] == '+')) {
        negative = head[i] == '-';
        ++i;
    }
    long value = 0;  // at most 8 digits: no overflow
    while (i < head.size() && head[i] >= '0' && head[i] <= '9') {
        value = value * 10 + (head[i] - '0');
        ++i;
    }
    return static_cast<int>(negative ? -value : value);
}

struct RowDialog::Row {
    const RowLayout* layout = nullptr;
    const SettingInfo* setting = nullptr;
    std::vector<Choice> choices;  // choice rows: fixed at initialisation
    int minimum = 0;              // number and GenLock rows: the trackbar's range
    int maximum = 0;
    std::optional<uint16_t> period;  // GenLock rows: none when the box did not tell it
};

namespace {

// What a GenLock row shows for a value the box did not send.
constexpr std::string_view kNotAvailable = "NA";

}  // namespace

RowDialog::RowDialog(const ui::DialogTemplate& tmpl, const ComPort& port, std::span<uint8_t> group,
                     std::span<const RowLayout> rows, const BoxFacts& box)
    : Dialog(tmpl), link_(port), group_(group), box_(box) {
    rows_.reserve(rows.size());
    for (const RowLayout& layout : rows) {
        Row row;
        row.layout = &layout;
        row.setting = FindSetting(layout.setting);
        rows_.push_back(row);
    }
    for (Row& row : rows_) {
        if (row.setting == nullptr) {
            continue;  // a row table naming an unknown setting: the row does nothing
        }
        Row* r = &row;  // rows_ does not grow after this
        MapCommand(row.layout->apply, [this, r] { Apply(*r); });
        if (row.setting->kind != SettingKind::Choice) {
            const NumberRowIds& ids = row.layout->number;
            MapCommand(ids.down, [this, r] { Step(*r, -1); });
            MapCommand(ids.up, [this, r] { Step(*r, +1); });
            // The edit box follows the trackbar whenever its position changes (dragging, keys,
            // the dialog moving it); typed text stays until then.
            MapNotification(ids.trackbar, [this, edit = ids.edit](int position) {
                SetItemText(edit, std::to_string(position));
            });
        }
    }
}

RowDialog::~RowDialog() = default;

uint8_t* RowDialog::CachedByte(const Row& row) {
    if (row.setting->kind == SettingKind::Genlock) {
        return nullptr;
    }
    const int index = row.layout->cacheIndex >= 0 ? row.layout->cacheIndex : row.setting->item - 1;
    return index >= 0 && static_cast<size_t>(index) < group_.size()
               ? &group_[static_cast<size_t>(index)]
               : nullptr;
}

bool RowDialog::OnInitDialog() {
    CenterOnParent();
    for (Row& row : rows_) {
        if (row.setting == nullptr) {
            continue;
        }
        const SettingInfo& s = *row.setting;
        const uint8_t* byte = CachedByte(row);
        const uint8_t stored = byte != nullptr ? *byte : 0;
        switch (s.kind) {
            case SettingKind::Choice: {
                row.choices = ChoicesFor(s, box_);
                const int list = row.layout->list;
                ResetList(list);
                for (const Choice& c : row.choices) {
                    AddListEntry(list, c.text);
                }
                SetListSelection(list, SelectedChoice(s, box_, stored).value_or(-1));
                break;
            }
            case SettingKind::Number:
                SetUpNumber(row, s.minimum, s.maximum, ShownValue(s, stored));
                break;
            case SettingKind::Genlock: {
                // The period first, then the delay. A value that did not arrive shows "NA";
                // without its period the row cannot place a delay, so it stays out of use
                // until the dialog opens again (a guess of 0 would move a genlocked picture).
                const Result<uint16_t> period = Link().ReadGenlockValue(s.periodItem);
                row.period = period ? std::optional<uint16_t>(*period) : std::nullopt;
                const Result<uint16_t> delay = Link().ReadGenlockValue(s.readItem);
                const GenlockRange range = GenlockRangeFor(row.period.value_or(0));
                SetUpNumber(row, range.minimum, range.maximum,
                            row.period && delay ? GenlockShown(*delay, *row.period) : 0);
                if (!row.period || !delay) {
                    SetItemText(row.layout->number.edit, kNotAvailable);
                }
                const NumberRowIds& ids = row.layout->number;
                for (int id : {ids.down, ids.trackbar, ids.up, ids.edit, row.layout->apply}) {
                    EnableItem(id, row.period.has_value());
                }
                break;
            }
        }
        if (s.availability != Availability::Always) {
            const bool shown = Available(s, box_);
            for (int id : {row.layout->list, row.layout->label, row.layout->apply}) {
                ShowItem(id, shown);
            }
        }
    }
    return true;
}

void RowDialog::SetUpNumber(Row& row, int minimum, int maximum, int value) {
    row.minimum = minimum;
    row.maximum = maximum;
    SetTrackbarRange(row.layout->number.trackbar, minimum, maximum);
    ShowNumber(row, value);
}

void RowDialog::ShowNumber(const Row& row, int value) {
    SetTrackbarPos(row.layout->number.trackbar, value);
    SetItemText(row.layout->number.edit, std::to_string(value));
}

void RowDialog::Step(Row& row, int delta) {
    if (row.setting->kind == SettingKind::Genlock && !row.period) {
        return;
    }
    // Each button tests only its own limit, so a value beyond the other end moves by one.
    int v = LeadingNumber(ItemText(row.layout->number.edit));
    if (delta < 0 && v > row.minimum) {
        --v;
    } else if (delta > 0 && v < row.maximum) {
        ++v;
    }
    ShowNumber(row, v);
}

void RowDialog::Apply(Row& row) {
    if (row.setting->kind == SettingKind::Choice) {
        ApplyChoice(row);
    } else {
        ApplyNumber(row);
    }
}

void RowDialog::ApplyNumber(Row& row) {
    const SettingInfo& s = *row.setting;
    const std::string text = ItemText(row.layout->number.edit);
    // The typed number, held to the range the label states; once written, the edit box and
    // the trackbar show what was sent. A failed write leaves the typed text as it was.
    const int value = std::clamp(LeadingNumber(text), row.minimum, row.maximum);
    if (s.kind == SettingKind::Genlock) {
        // Without the period, or with a delay still "NA", there is nothing to send.
        if (!row.period || text == kNotAvailable) {
            return;
        }
        if (CheckWritten(WriteSettingValue(Link(), s, GenlockRegisterFor(value, *row.period)))) {
            ShowNumber(row, value);
        }
        return;
    }
    const uint8_t byte = ByteForShown(s, value);
    if (CheckWritten(WriteSettingValue(Link(), s, byte))) {
        if (uint8_t* cached = CachedByte(row)) {
            *cached = byte;
        }
        ShowNumber(row, ShownValue(s, byte));
    }
}

std::optional<int> RowDialog::ChosenEntry(const Row& row) const {
    const int list = row.layout->list;
    // The selected entry while the field shows its text; else an entry whose text was typed.
    const std::string shown = ItemText(list);
    const int selected = ListSelection(list);
    const int index =
        selected >= 0 && ListEntry(list, selected) == shown ? selected : FindListEntry(list, shown);
    if (index < 0 || static_cast<size_t>(index) >= row.choices.size()) {
        return std::nullopt;
    }
    return index;
}

void RowDialog::ApplyChoice(Row& row) {
    // With no entry chosen nothing is sent and nothing changes.
    const std::optional<int> entry = ChosenEntry(row);
    if (!entry) {
        return;
    }
    const Choice& c = row.choices[static_cast<size_t>(*entry)];
    if (!CheckWritten(WriteSettingValue(Link(), *row.setting, c.sent))) {
        return;
    }
    if (uint8_t* cached = CachedByte(row)) {
        *cached = c.stored;
    }
    ChoiceApplied(*row.layout, *entry);
}

bool RowDialog::CheckWritten(const Result<void>& written) {
    if (!written) {
        (void)ui::ShowMessage(this, "Fail", "");
    }
    return written.ok();
}

}  // namespace kestrow
