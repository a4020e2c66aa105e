#include "ui/dialogs/EngineerMenuDialog.h"

#include "settings/NameTables.h"
#include "ui/dialogs/EngineerMenuDialogTemplate.h"

namespace kestrow {

namespace {

struct EngineerList {
    int id;
    const NameTable* entries;
};

using Ids = ui::EngineerMenuIds;

// In the order the dialog fills them.
constexpr EngineerList kLists[] = {
    {Ids::k3dnrSetList, &NoiseLevelList},
    {Ids::kMosquitoNrList, &OnOffList},
    {Ids::kVd3dCombList, &OnOffList},
    {Ids::kCrossColorList, &OnOffList},
    {Ids::kDeintModeList, &DeinterlaceModeList},
    {Ids::kEdgeAngleList, &EdgeAngleList},
    {Ids::kMotionBorderList, &OnOffList},
    {Ids::kFastMotionList, &OnOffList},
    {Ids::kSlowMotionList, &OnOffList},
    {Ids::kZoomArtifactList, &OnOffList},
    {Ids::kNoiseRobustList, &OnOffList},
    {Ids::kFilmModeList, &FilmModeList},
    {Ids::kFilmBadEditList, &OnOffList},
    {Ids::kInterAreaSetList, &InterAreaList},
};

}  // namespace

EngineerMenuDialog::EngineerMenuDialog(const ComPort& port)
    : Dialog(ui::kEngineerMenuDialogTemplate), link_(port) {}

bool EngineerMenuDialog::OnInitDialog() {
    CenterOnParent();
    for (const EngineerList& list : kLists) {
        for (std::string_view entry : *list.entries) {
            AddListEntry(list.id, entry);
        }
        SetListSelection(list.id, 0);
    }
    return true;
}

}  // namespace kestrow
