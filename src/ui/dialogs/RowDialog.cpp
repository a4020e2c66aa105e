#include "ui/dialogs/RowDialog.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <algorithm>

#include "ui/dialogkit/MessageBox.h"
#include "ui/dialogkit/QtSupport.h"

namespace kestrow {

int LeadingNumber(const QString& text) {
    const QString head = text.left(8);
    qsizetype i = 0;
    while (i < head.size() && (head[i] == u' ' || head[i] == u'\t')) {
        ++i;
    }
    bool negative = false;
    if (i < head.size() && (head[i] == u'-' || head[i] == u'+')) {
        negative = head[i] == u'-';
        ++i;
    }
    long value = 0;  // at most 8 digits: no overflow
    while (i < head.size() && head[i].isDigit() && head[i].unicode() < 128) {
        value = value * 10 + (head[i].unicode() - u'0');
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
const QString kNotAvailable = QStringLiteral("NA");

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
            MapCommand(row.layout->number.down, [this, r] { Step(*r, -1); });
            MapCommand(row.layout->number.up, [this, r] { Step(*r, +1); });
        }
    }
}

RowDialog::~RowDialog() = default;

std::vector<std::string_view> RowDialog::RowSettings() const {
    std::vector<std::string_view> names;
    for (const Row& row : rows_) {
        names.push_back(row.layout->setting);
    }
    return names;
}

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
                if (auto* list = ControlAs<QComboBox>(row.layout->list)) {
                    list->clear();
                    for (const Choice& c : row.choices) {
                        list->addItem(ui::Utf8(c.text));
                    }
                    list->setCurrentIndex(SelectedChoice(s, box_, stored).value_or(-1));
                }
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
                    SetControlText(row.layout->number.edit, kNotAvailable);
                }
                const NumberRowIds& ids = row.layout->number;
                for (int id : {ids.down, ids.trackbar, ids.up, ids.edit, row.layout->apply}) {
                    if (QWidget* w = Control(id)) {
                        w->setEnabled(row.period.has_value());
                    }
                }
                break;
            }
        }
        if (s.availability != Availability::Always) {
            const bool shown = Available(s, box_);
            for (int id : {row.layout->list, row.layout->label, row.layout->apply}) {
                if (QWidget* w = id > 0 ? Control(id) : nullptr) {
                    w->setVisible(shown);
                }
            }
        }
    }
    return true;
}

void RowDialog::SetUpNumber(Row& row, int minimum, int maximum, int value) {
    row.minimum = minimum;
    row.maximum = maximum;
    auto* bar = ControlAs<QSlider>(row.layout->number.trackbar);
    auto* edit = ControlAs<QLineEdit>(row.layout->number.edit);
    if (bar != nullptr && edit != nullptr) {
        // The edit box follows the trackbar whenever its position changes (dragging, keys,
        // the dialog moving it); typed text stays until then.
        connect(bar, &QSlider::valueChanged, edit,
                [edit](int position) { edit->setText(QString::number(position)); });
        bar->setRange(minimum, maximum);
    }
    ShowNumber(row, value);
}

void RowDialog::ShowNumber(const Row& row, int value) {
    if (auto* bar = ControlAs<QSlider>(row.layout->number.trackbar)) {
        bar->setValue(value);
    }
    SetControlText(row.layout->number.edit, QString::number(value));
}

void RowDialog::Step(Row& row, int delta) {
    if (row.setting->kind == SettingKind::Genlock && !row.period) {
        return;
    }
    // Each button tests only its own limit, so a value beyond the other end moves by one.
    int v = LeadingNumber(ControlText(row.layout->number.edit));
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
    const QString text = ControlText(row.layout->number.edit);
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
    const auto* list = ControlAs<QComboBox>(row.layout->list);
    if (list == nullptr) {
        return std::nullopt;
    }
    // The selected entry while the field shows its text; else an entry whose text was typed.
    const QString shown = list->currentText();
    const int index = list->currentIndex() >= 0 && list->itemText(list->currentIndex()) == shown
                          ? list->currentIndex()
                          : list->findText(shown, Qt::MatchExactly);
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
        (void)ui::ShowMessage(this, QStringLiteral("Fail"), QString());
    }
    return written.ok();
}

}  // namespace kestrow
