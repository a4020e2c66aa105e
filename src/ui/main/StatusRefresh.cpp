// Status refresh (button 1025) and port search (button 1032) of the main window.
#include <QComboBox>
#include <array>

#include "CMainDlg.h"
#include "Cursors.h"
#include "Frames.h"
#include "NameTables.h"
#include "QtSupport.h"
#include "SerialTypes.h"

namespace kestrow {

namespace {

constexpr int kRefreshButton = 1025;
constexpr int kRefreshPicture = 150;
constexpr int kRefreshRunningPicture = 161;
constexpr int kInputPortText = 1028;
constexpr int kInputTimingText = 1026;
constexpr int kOutputPortText = 1029;
constexpr int kOutputResolutionText = 1027;
constexpr uint32_t kSettleMs = 500;

// The settings the refresh reads after the probe, in this order; the first that gets no
// answer ends the refresh. (4,1) and (1,1) also show their names in the information panel.
struct SettingQuery {
    uint8_t group;
    uint8_t item;
    int textControl = 0;  // 0: not shown
    const NameTable* names = nullptr;
};
// clang-format off
constexpr std::array<SettingQuery, 21> kSettingQueries{{
    {4, 1, kInputTimingText, &InputTimingNames},
    {1, 1, kOutputResolutionText, &OutputResolutionNames},
    {1, 2}, {1, 3}, {1, 4}, {1, 5},
    {2, 1}, {2, 2}, {2, 3}, {2, 4}, {2, 5}, {2, 6}, {2, 7}, {2, 8},
    {3, 1}, {3, 2}, {3, 3}, {3, 4}, {3, 5}, {3, 6},
    {4, 2},
}};
// clang-format on

QString Name(NameTable table, unsigned code) {
    return ui::Utf8(LookupName(table, code));
}

}  // namespace

uint8_t* CMainDlg::CacheByte(uint8_t group, uint8_t item) {
    const size_t k = static_cast<size_t>(item) - 1;
    switch (group) {
        case 1:
            return k < statusCache.output.size() ? &statusCache.output[k] : nullptr;
        case 2:
            return k < statusCache.image.size() ? &statusCache.image[k] : nullptr;
        case 3:
            return k < statusCache.adjustment.size() ? &statusCache.adjustment[k] : nullptr;
        case 4:
            // (4,1) input timing; (4,2) system setting A of an older model.
            return item == 1 ? &statusCache.system[0]
                             : (item == 2 ? &statusCache.system[1] : nullptr);
        default:
            return nullptr;
    }
}

void CMainDlg::EndRefresh(bool completed) {
    statusLink.Close();
    if (completed) {
        refreshed = 1;
    }
    ui::ShowArrowCursor();
    SetButtonPicture(kRefreshButton, kRefreshPicture, false);
}

void CMainDlg::OnRefresh() {
    const std::optional<int> port = SelectedPort();
    if (!port) {
        ReportNoPort();
        return;
    }
    const BusyScope busy(*this);
    statusLink.SetPort(*port);
    if (!statusLink.OpenForRefresh()) {
        return;  // the serial layer has reported it; nothing on screen changes
    }
    ui::ShowWaitCursor();
    SetButtonPicture(kRefreshButton, kRefreshRunningPicture, true);
    SleepMs(kSettleMs);

    const auto probe = statusLink.Exchange(ProbeFrame());
    if (!probe) {
        EndRefresh(false);
        return;
    }
    const uint8_t portByte = (*probe)[3];
    SetControlText(kOutputPortText, Name(VideoPortNames, portByte % 16u));
    SetControlText(kInputPortText, Name(VideoPortNames, portByte / 16u));
    statusCache.system[2] = portByte;
    statusCache.system[3] = (*probe)[4];
    probePortByte = portByte;

    for (const SettingQuery& query : kSettingQueries) {
        const auto reply = statusLink.Exchange(ReadSettingFrame(query.group, query.item));
        if (!reply) {
            EndRefresh(false);
            return;
        }
        if (query.names != nullptr) {
            SetControlText(query.textControl, Name(*query.names, (*reply)[3]));
        }
        if (uint8_t* byte = CacheByte(query.group, query.item)) {
            *byte = (*reply)[3];
        }
    }

    // (4,4): an older model answers with a reply of length 05, a newer one with another length.
    const auto value = [this](uint8_t item) -> uint8_t {
        const auto reply = statusLink.Exchange(ReadSettingFrame(4, item));
        return reply ? (*reply)[3] : 0;
    };
    const auto model = statusLink.Exchange(ReadSettingFrame(4, 4));
    if (!model) {
        isNewModel = 0;
    } else if ((*model)[0] == 0x05) {
        isNewModel = 0;
        statusCache.system[1] = value(2);
    } else {
        isNewModel = 1;
        statusCache.system[2] = value(2);
        statusCache.system[1] = value(3);
    }

    EndRefresh(true);
}

void CMainDlg::OnSearchPorts() {
    const BusyScope busy(*this);
    ui::ShowWaitCursor();
    FillPortList();
    auto* combo = ControlAs<QComboBox>(kPortCombo);
    for (size_t i = 0; i < comPorts.size(); ++i) {
        if (statusLink.ProbeForSearch(comPorts[i].number)) {
            if (combo != nullptr) {
                combo->setCurrentIndex(static_cast<int>(i));
            }
            break;
        }
    }
    ui::ShowArrowCursor();
}

}  // namespace kestrow
