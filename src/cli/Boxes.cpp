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

int RunOnBoxes(const CommonOptions& options, const std::vector<ComPort>& ports,
               const BoxWork& work) {
    if (ports.size() == 1) {
        const BoxResult result = work(ports.front());
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
    std::vector<BoxResult> results(ports.size());
    {
        std::vector<std::jthread> threads;
        for (size_t i = 0; i < ports.size(); ++i) {
            threads.emplace_back([&, i] {
                const BoxTag tag(ports[i].Name());
                results[i] = work(ports[i]);
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
    for (size_t i = 0; i < ports.size(); ++i) {
        const BoxResult& r = results[i];
        Json json{{"port", PortJson(ports[i])}};
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
        summaries += ports[i].Name() + ": " + summary + "\n";
    }
    Say(options.json ? JsonText(all) : summaries);
    return worst;
}

}  // namespace kestrow::cli
