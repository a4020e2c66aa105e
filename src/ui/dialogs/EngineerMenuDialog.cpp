#include "ui/dialogs/EngineerMenuDialog.h"

#include <QComboBox>

#include "settings/NameTables.h"
#include "ui/dialogkit/QtSupport.h"
#include "ui/dialogs/EngineerMenuDialogTemplate.h"

namespace kestrow {

namespace {

struct EngineerList {
    int id;
    const NameTable* entries;
};

// In the order the dialog fills them.
constexpr EngineerList kLists[] = {
    {1005, &NoiseLevelList},      {1006, &OnOffList},     {1007, &OnOffList}, {1008, &OnOffList},
    {1009, &DeinterlaceModeList}, {1010, &EdgeAngleList}, {1011, &OnOffList}, {1012, &OnOffList},
    {1014, &OnOffList},           {1015, &OnOffList},     {1016, &OnOffList}, {1017, &FilmModeList},
    {1018, &OnOffList},           {1019, &InterAreaList},
};

}  // namespace

EngineerMenuDialog::EngineerMenuDialog(const ComPort& port)
    : Dialog(ui::kEngineerMenuDialogTemplate), link_(port) {}

bool EngineerMenuDialog::OnInitDialog() {
    CenterOnParent();
    for (const EngineerList& list : kLists) {
        if (auto* combo = ControlAs<QComboBox>(list.id)) {
            for (std::string_view entry : *list.entries) {
                combo->addItem(ui::Utf8(entry));
            }
            combo->setCurrentIndex(0);
        }
    }
    return true;
}

}  // namespace kestrow
