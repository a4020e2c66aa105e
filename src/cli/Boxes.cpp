#include "cli/Boxes.h"

#include <algorithm>
#include <thread>

#include "cli/Console.h"

namespace kestrow::cli {
namespace {

Json ErrorJson(const Failure& failure, const Json& extra) {
    Json json{{"error", failure.message}, {"exit", static_cast<int>(failure.code)}};
    for (const auto& [key, value] : extra.items()) {
        json[key] = value;
    }
    return json;
}

}  // namespace

Json PortJson(const ComPort& port) {
    return {{"number", port.number}, {"name", port.Name()}, {"path", port.path}};
}

int Fail(const CommonOptions& options, const Failure& failure, const Json& extra) {
    if (options.json) {
        Say(JsonText(ErrorJson(failure, extra)));
    }
    return Report(failure);
}

int RunOnBoxes(const CommonOptions& options, std::vector<Box>& boxes, const BoxWork& work) {
    // Each box's port closes (a network port once its writes reached the line) before the
    // results are said.
    const auto serve = [&work](Box& box) {
        BoxResult result = work(box);
        box.link->Close();
        return result;
    };
    if (boxes.size() == 1) {
        const BoxResult result = serve(boxes.front());
        if (result.failure && result.told) {
            if (options.json) {
                Say(JsonText(ErrorJson(*result.failure, result.json)));
            }
            return static_cast<int>(result.failure->code);
        }
        if (result.failure) {
            return Fail(options, *result.failure, result.json);
        }
        if (options.json) {
            Say(JsonText(result.json));
        } else if (!result.line.empty()) {
            Say(result.line);
        }
        return 0;
    }
    std::vector<BoxResult> results(boxes.size());
    {
        std::vector<std::jthread> threads;
        for (size_t i = 0; i < boxes.size(); ++i) {
            threads.emplace_back([&, i] {
                const BoxTag tag(boxes[i].port.Name());
                results[i] = serve(boxes[i]);
                if (results[i].failure && !results[i].told &&
                    !results[i].failure->message.empty()) {
                    PrintError(results[i].failure->message);
                }
            });
        }
    }
    int worst = 0;
    Json all = Json::array();
    std::string summaries;
    for (size_t i = 0; i < boxes.size(); ++i) {
        const BoxResult& r = results[i];
        const ComPort& port = boxes[i].port;
        Json json{{"port", PortJson(port)}};
        std::string summary;
        if (r.failure) {
            const int code = static_cast<int>(r.failure->code);
            worst = std::max(worst, code);
            json.update(ErrorJson(*r.failure, r.json));
            summary = "failed, exit " + std::to_string(code) +
                      (r.failure->message.empty() ? "" : ": " + r.failure->message);
        } else {
            json.update(r.json);
            summary = r.line.empty() ? r.summary : r.line;
        }
        all.push_back(json);
        summaries += port.Name() + ": " + summary + "\n";
    }
    Say(options.json ? JsonText(all) : summaries);
    return worst;
}

}  // namespace kestrow::cli
