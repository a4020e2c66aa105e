// Dialog template 208: the GenLock Sync Delay dialog (GenlockDialog).
#pragma once

#include "ui/dialogkit/DialogTemplate.h"
#include "ui/dialogkit/MessageBox.h"

namespace kestrow::ui {

// The controls' ids by role; OK and Cancel are kIdOk and kIdCancel (MessageBox.h).
struct GenlockIds {
    static constexpr int kHDelayDown = 1026;
    static constexpr int kHDelayTrackbar = 1028;
    static constexpr int kHDelayUp = 1018;
    static constexpr int kHDelayEdit = 1021;
    static constexpr int kHDelayApply = 1003;
    static constexpr int kVDelayDown = 1027;
    static constexpr int kVDelayTrackbar = 1029;
    static constexpr int kVDelayUp = 1019;
    static constexpr int kVDelayEdit = 1022;
    static constexpr int kVDelayApply = 1004;
};

inline constexpr ControlTemplate kGenlockDialogControls[] = {
    {-1, ControlKind::StaticText, "H-Sync Delay", 13, 12, 48, 9},
    {GenlockIds::kHDelayDown, ControlKind::PushButton, "<", 61, 9, 13, 14},
    {GenlockIds::kHDelayTrackbar, ControlKind::Trackbar, "", 74, 8, 59, 15, kNoTicks},
    {GenlockIds::kHDelayUp, ControlKind::PushButton, ">", 134, 9, 13, 14},
    {GenlockIds::kHDelayEdit, ControlKind::Edit, "", 149, 10, 35, 12, kDigitsOnly | kBorder},
    {GenlockIds::kHDelayApply, ControlKind::PushButton, "Apply", 190, 9, 36, 14},
    {-1, ControlKind::StaticText, "V-Sync Delay", 13, 30, 48, 9},
    {GenlockIds::kVDelayDown, ControlKind::PushButton, "<", 61, 27, 13, 14},
    {GenlockIds::kVDelayTrackbar, ControlKind::Trackbar, "", 74, 26, 59, 15, kNoTicks},
    {GenlockIds::kVDelayUp, ControlKind::PushButton, ">", 134, 27, 13, 14},
    {GenlockIds::kVDelayEdit, ControlKind::Edit, "", 149, 28, 35, 12, kDigitsOnly | kBorder},
    {GenlockIds::kVDelayApply, ControlKind::PushButton, "Apply", 190, 27, 36, 14},
    {kIdOk, ControlKind::PushButton, "OK", 11, 0, 50, 14, kDefault | kHidden},
    {kIdCancel, ControlKind::PushButton, "Cancel", 96, 0, 50, 14, kHidden},
};

inline constexpr DialogTemplate kGenlockDialogTemplate{
    208, "GenLock Sync Delay", 233, 50, "MS Shell Dlg", 8, kGenlockDialogControls};

}  // namespace kestrow::ui
