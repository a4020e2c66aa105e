// Dialog template 202: the In/Out mode dialog (InOutDialog).
#pragma once

#include "ui/dialogkit/DialogTemplate.h"

namespace kestrow::ui {

inline constexpr ControlTemplate kInOutDialogControls[] = {
    {1, ControlKind::PushButton, "OK", 23, 43, 50, 14, kDefault | kHidden},
    {2, ControlKind::PushButton, "Cancel", 77, 43, 50, 14, kHidden},
    {-1, ControlKind::StaticText, "Under/Over Scan (-50~50)", 20, 12, 98, 9},
    {1008, ControlKind::Edit, "", 124, 9, 40, 14, kBorder},
    {-1, ControlKind::StaticText, "Aspect Ratio", 20, 29, 51, 9},
    {1005, ControlKind::RadioButton, "16:9", 77, 28, 31, 10},
    {1006, ControlKind::RadioButton, "4:3", 116, 28, 27, 10},
};

inline constexpr DialogTemplate kInOutDialogTemplate{
    202, "In/Out mode", 176, 65, "MS Shell Dlg", 8, kInOutDialogControls};

}  // namespace kestrow::ui
