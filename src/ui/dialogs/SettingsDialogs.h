// The settings dialogs the main window's launchers open, by template number. The main window
// hands over the selected port and what it lends; the dialog is built on this call's stack,
// runs modally and is gone when the call returns.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "ports/PortNaming.h"
#include "settings/BoxFacts.h"
#include "ui/dialogkit/Dialog.h"

namespace kestrow {

struct LaunchRequest {
    int templateId = 0;            // 200 ... 206
    ComPort port;                  // the selected port
    std::span<uint8_t> group;      // lent StatusCache group (System: from byte [0]); empty: none
    BoxFacts box;                  // what the last refresh learnt of the box
    ui::Dialog* parent = nullptr;  // the active window, owner of the modal dialog
};

// Opens the dialog of request.templateId; an unknown template opens nothing.
void RunSettingsDialog(const LaunchRequest& request);

using DialogLauncher = std::function<void(const LaunchRequest&)>;

}  // namespace kestrow
