// reset: the factory reset, asked first on a terminal.
#include <nlohmann/json.hpp>

#include "cli/Boxes.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Ports.h"
#include "cli/Values.h"
#include "device/Protocol.h"

namespace kestrow::cli {

int RunReset(const CommonOptions& options, bool yes) {
    if (!yes && !StdinIsTerminal()) {
        return Fail(options, {Exit::Usage,
                              "reset asks on a terminal; give --yes to reset the box to "
                              "its factory settings"});
    }
    auto boxes = ChooseBoxes(options, Search::Probe, true);
    if (!boxes) {
        return Fail(options, boxes.failure());
    }
    if (!yes) {
        // The System dialog's question, without its trailing line break; the boxes when several.
        std::string question = "Are you sure you want to do factory-reset command?";
        if (boxes->size() > 1) {
            std::string names;
            for (const Box& box : *boxes) {
                names += (names.empty() ? "" : ", ") + box.port.Name();
            }
            question += " (" + std::to_string(boxes->size()) + " boxes: " + names + ")";
        }
        if (AskYesNo(question, options.json) != Answer::Yes) {
            return Fail(options, {Exit::Stopped, "nothing was sent"});
        }
    }
    return RunOnBoxes(options, *boxes, [](Box& box) -> BoxResult {
        const ComPort& port = box.port;
        const auto facts = IdentifyBox(*box.link);
        if (!facts) {
            return {facts.failure()};
        }
        constexpr uint8_t kGroup = protocol::kGroupSystem;
        constexpr uint8_t kValue = protocol::kFactoryResetValue;
        const uint8_t item = FactoryResetItem(*facts);
        if (Result<void> sent = box.link->WriteSetting(kGroup, item, kValue); !sent) {
            return {WriteFailed(port, sent.error(), "the reset may not have reached the box")};
        }
        BoxResult result;
        result.line = "factory reset sent to " + port.Name() + " (" + std::to_string(kGroup) + "." +
                      std::to_string(item) + " = " + std::to_string(kValue) + ")";
        result.json = {
            {"port", PortJson(port)}, {"group", kGroup}, {"item", item}, {"raw", kValue}};
        return result;
    });
}

}  // namespace kestrow::cli
