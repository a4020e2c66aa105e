// Where the main window's launchers open the settings dialogs. Each dialog registers one
// launcher under its template number; the main window hands it the selected port and the data
// it lends. A launcher builds its dialog on its own stack and runs it modally.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

class QWidget;

namespace kestrow {

struct LaunchRequest {
    int templateId = 0;               // 200 ... 206
    uint8_t port = 0;                 // selected COM port number
    std::span<uint8_t> group;         // lent StatusCache group (System: from byte [0]); empty: none
    std::optional<uint8_t> portByte;  // Output Setup (204) and System 201: the probe's port byte
    std::optional<uint8_t> isNewModel;  // both System variants
    QWidget* parent = nullptr;          // the active window, owner of the modal dialog
};

using DialogLauncher = std::function<void(const LaunchRequest&)>;

// Registers (or with an empty function removes) the launcher of one template.
void RegisterDialogLauncher(int templateId, DialogLauncher launcher);
// Runs the launcher of request.templateId; false when none is registered.
bool LaunchDialog(const LaunchRequest& request);

}  // namespace kestrow
