// The settings dialogs' rows, written once. A row shows one setting of the settings table:
//   number row:  "<" button, trackbar, ">" button, edit box, Apply
//   choice row:  drop-down list, Apply
// A dialog is a template plus a table of rows; RowDialog fills the rows from the cached bytes
// (or, for GenLock rows, from the box), keeps each edit box in step with its trackbar, runs the
// step buttons (screen only) and Apply (one write on the dialog's own link; the cached byte
// changes only when the write succeeded; "Fail" when the port did not open).
//
//   using Ids = ui::ImageIds;
//   constexpr RowLayout kRows[] = {
//       {"contrast",  // number row: <, trackbar, >, edit; then Apply
//        {Ids::kContrastDown, Ids::kContrastTrackbar, Ids::kContrastUp, Ids::kContrastEdit},
//        Ids::kContrastApply},
//       {"color-tone", {}, Ids::kColorToneApply, Ids::kColorToneList},  // choice row: Apply, list
//   };
//   class ImageDialog : public RowDialog {
//     public:
//       ImageDialog(const ComPort& port, std::span<uint8_t> image) :
//       RowDialog(kImageDialogTemplate, port, image, kRows)
//       {}
//   };
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/DeviceLink.h"
#include "settings/Settings.h"
#include "ui/dialogkit/Dialog.h"

namespace kestrow {

// The leading decimal number of an edit box's text, as every dialog reads it: the first 8
// characters at most, optional blanks and one sign, then digits; 0 when there are none.
[[nodiscard]] int LeadingNumber(std::string_view text);

struct NumberRowIds {
    int down = 0;  // "<"
    int trackbar = 0;
    int up = 0;  // ">"
    int edit = 0;
};

struct RowLayout {
    std::string_view setting;  // name in the settings table (Settings.h)
    NumberRowIds number;       // number and GenLock rows
    int apply = 0;             // the row's Apply (or Set) button
    int list = 0;              // choice rows: the drop-down list
    int label = 0;             // the label's id, hidden with the row; 0: no id
    int cacheIndex = -1;       // byte of the lent group; -1: item - 1 (GenLock rows: none)
};

class RowDialog : public ui::Dialog {
  public:
    // `group` is the lent part of StatusCache the rows read and write (may be empty for a
    // dialog of GenLock rows); `box` decides the lists and which rows are shown.
    RowDialog(const ui::DialogTemplate& tmpl, const ComPort& port, std::span<uint8_t> group,
              std::span<const RowLayout> rows, const BoxFacts& box = {});
    ~RowDialog() override;

    [[nodiscard]] const ComPort& Port() const { return link_.port(); }

  protected:
    // Centres the dialog and fills every row. Derived dialogs call it first.
    bool OnInitDialog() override;
    // After a successful Apply of a choice row, with the chosen entry (SystemClockDialog opens
    // GenlockDialog).
    virtual void ChoiceApplied(const RowLayout& /*row*/, int /*entry*/) {}

    // The dialog's own link: every transaction opens and closes the port.
    DeviceLink& Link() { return link_; }
    [[nodiscard]] std::span<uint8_t> Group() const { return group_; }
    [[nodiscard]] const BoxFacts& Box() const { return box_; }
    // Shows "Fail" (empty caption, OK) owned by this dialog unless `written`; returns it.
    bool CheckWritten(const Result<void>& written);

  private:
    struct Row;
    void SetUpNumber(Row& row, int minimum, int maximum, int value);
    void ShowNumber(const Row& row, int value);
    void Step(Row& row, int delta);
    void Apply(Row& row);
    void ApplyNumber(Row& row);
    void ApplyChoice(Row& row);
    [[nodiscard]] std::optional<int> ChosenEntry(const Row& row) const;
    uint8_t* CachedByte(const Row& row);

    DeviceLink link_;
    std::span<uint8_t> group_;
    BoxFacts box_;
    std::vector<Row> rows_;
};

}  // namespace kestrow
