#include "Dlg8.h"

#include "Template208.h"

namespace kestrow {

namespace {

// H row first: its period and delay are read before the V row's.
constexpr RowSpec kRows[] = {
    {"genlock-h", {1026, 1028, 1018, 1021}, 1003},
    {"genlock-v", {1027, 1029, 1019, 1022}, 1004},
};

}  // namespace

Dlg8::Dlg8(uint8_t port) : RowDialog(ui::kTemplate208, port, {}, kRows) {}

}  // namespace kestrow
