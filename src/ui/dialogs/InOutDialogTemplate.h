// Dialog template 202: the In/Out mode dialog (InOutDialog).
#pragma once

#include "ui/dialogkit/DialogTemplate.h"
#include "ui/dialogkit/MessageBox.h"

namespace kestrow::ui {

// The controls' ids by role; OK and Cancel are kIdOk and kIdCancel (MessageBox.h).
struct InOutIds {
    static constexpr int kUnderOverScanEdit = 1008;
    static constexpr int kAspect16x9Radio = 1005;
    static constexpr int kAspect4x3Radio = 1006;
};

inline constexpr ControlTemplate kInOutDialogControls[] = {
    {kIdOk, ControlKind::PushButton, "OK", 23, 43, 50, 14, kDefault | kHidden},
    {kIdCancel, ControlKind::PushButton, "Cancel", 77, 43, 50, 14, kHidden},
    {-1, ControlKind::StaticText, "Under/Over Scan (-50~50)", 20, 12, 98, 9},
    {InOutIds::kUnderOverScanEdit, ControlKind::Edit, "", 124, 9, 40, 14, kBorder},
    {-1, ControlKind::StaticText, "Aspect Ratio", 20, 29, 51, 9},
    {InOutIds::kAspect16x9Radio, ControlKind::RadioButton, "16:9", 77, 28, 31, 10},
    {InOutIds::kAspect4x3Radio, ControlKind::RadioButton, "4:3", 116, 28, 27, 10},
};

inline constexpr DialogTemplate kInOutDialogTemplate{
    202, "In/Out mode", 176, 65, "MS Shell Dlg", 8, kInOutDialogControls};

}  // namespace kestrow::ui
