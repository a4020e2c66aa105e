// The Win32 realisation of the file dialogs: the system's own open and save dialogs
// (GetOpenFileNameW, GetSaveFileNameW, Explorer style), names UTF-8 both ways.
// clang-format off
#include "ui/dialogkit/DialogWindowWin32.h"
#include <commdlg.h>
// clang-format on

#include <algorithm>
#include <vector>

#include "ui/dialogkit/FileDialog.h"
#include "ui/dialogkit/WindowsMapping.h"

namespace kestrow::ui {

namespace {

// Room for a long path: the dialog writes the chosen name here.
constexpr size_t kNameRoom = 32768;

}  // namespace

std::optional<std::string> ChooseFile(Dialog& owner, const FileRequest& request) {
    const std::wstring filter = Wide(win::FilterString(request.filters));
    const std::wstring title = Wide(request.title);
    const std::wstring suffix = Wide(request.defaultSuffix);
    std::vector<wchar_t> name(kNameRoom, L'\0');
    const std::wstring start = Wide(request.startFile);
    if (start.size() < kNameRoom) {
        std::copy(start.begin(), start.end(), name.begin());
    }

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner.Window().Handle();
    dialog.lpstrFilter = filter.size() > 1 ? filter.c_str() : nullptr;
    dialog.nFilterIndex = 1;  // the first filter
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
    dialog.lpstrDefExt = suffix.empty() ? nullptr : suffix.c_str();
    // The program's current folder stays where it was.
    dialog.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    dialog.Flags |= request.save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST;
    const BOOL chosen = request.save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (chosen == 0) {
        return std::nullopt;  // cancelled, or the dialog failed
    }
    return Utf8(std::wstring_view(name.data()));
}

}  // namespace kestrow::ui
