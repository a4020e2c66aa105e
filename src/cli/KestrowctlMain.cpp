// kestrowctl: the Kestrow box from the command line. The commands and their options; the work
// is in the Run* functions of Commands.h.
#include <CLI/CLI.hpp>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Quoting.h"
#include "base/Utf8Paths.h"
#include "cli/Boxes.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Platform.h"

#ifndef KESTROWCTL_VERSION
#define KESTROWCTL_VERSION "0"
#endif

namespace kestrow::cli {

std::string ProgramVersion() {
    return std::string("kestrowctl ") + KESTROWCTL_VERSION;
}

namespace {

constexpr double kShortestInterval = 0.1;  // a look takes some 40 ms; less is all looking
constexpr double kLongestInterval = 86400;

constexpr const char* kEnvironmentHelp =
    "Environment:\n"
    "  KESTROW_PORT     the port when --port is not given (not for detect and settings);\n"
    "                   empty counts as not set\n"
    "  XDG_RUNTIME_DIR  the ports directory is $XDG_RUNTIME_DIR/kestrow/ports\n"
    "  KESTROW_NETWORK_PORTS  the file of network ports (one URL a line, a label after it);\n"
    "                   without it $XDG_CONFIG_HOME/kestrow/network-ports\n"
    "                   (~/.config/kestrow/network-ports)\n\n";

const std::string kPortHelp =
    std::string("the box's port: \"COM 5\", \"COM5\", \"5\", ") + kDeviceNameHelp +
    ", or a network port rfc2217://HOST:PORT or socket://HOST:PORT; without "
    "it $KESTROW_PORT, else the first port that answers the "
    "probe";
const std::string kPortsHelp =
    std::string("a box's port: \"COM 5\", \"COM5\", \"5\", ") + kDeviceNameHelp +
    ", or a network port rfc2217://HOST:PORT or socket://HOST:PORT; once per "
    "box, the boxes served at once; without it $KESTROW_PORT, "
    "else a search (a write takes only the one box that answers)";

// What a command takes besides --port and --trace.
struct Takes {
    bool json = false;
    bool several = false;  // --port more than once, and --all
};

CLI::App* AddCommand(CLI::App& app, const char* name, const char* description,
                     CommonOptions& options, Takes takes, std::vector<CLI::Option*>& ports) {
    CLI::App* command = app.add_subcommand(name, description);
    CLI::Option* port =
        command->add_option("--port,-p", options.ports, takes.several ? kPortsHelp : kPortHelp)
            ->type_size(1)
            ->allow_extra_args(false)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    ports.push_back(port);
    if (takes.several) {
        command->add_flag("--all,-a", options.all, "every port that answers the probe, all at once")
            ->excludes(port);
    }
    command->add_flag("--trace", options.trace,
                      "print every frame sent and received, with times, on stderr");
    if (takes.json) {
        command->add_flag("--json", options.json, "print JSON for scripts");
    }
    command->footer(kEnvironmentHelp + std::string(kExitCodesHelp));
    return command;
}

// Whether the command line asks for JSON: a failure to parse it is then told in JSON too.
bool AsksForJson(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--json") {
            return true;
        }
    }
    return false;
}

// The first argument that is no option names a command; one CLI11 does not know would only be
// reported as "A subcommand is required".
std::optional<std::string> UnknownCommand(CLI::App& app, int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-') {
        return std::nullopt;
    }
    std::string known;
    for (const CLI::App* command : app.get_subcommands({})) {
        if (command->get_name() == argv[1]) {
            return std::nullopt;
        }
        known += (known.empty() ? "" : ", ") + command->get_name();
    }
    return "unknown command " + QuotedValue(argv[1]) + "; the commands are " + known;
}

}  // namespace

int Main(int argc, char** argv) {
    CLI::App app{"The Kestrow video scaler box from the command line.", "kestrowctl"};
    app.set_version_flag("--version", ProgramVersion());
    app.require_subcommand(1);
    app.footer(kEnvironmentHelp + std::string(kExitCodesHelp));
    app.failure_message([](const CLI::App*, const CLI::Error& e) {
        return "kestrowctl: " + std::string(e.what()) +
               "; \"kestrowctl --help\" lists the commands and options\n";
    });

    CommonOptions options;
    std::vector<CLI::Option*> ports;
    std::string name;
    std::vector<std::string> value;
    std::string file;
    bool yes = false;
    bool force = false;
    bool namesOnly = false;
    std::string valuesOf;
    std::string byIdDir;
    double interval = 1.0;
    const Takes json{true, false};
    const Takes several{true, true};

    auto* detect =
        AddCommand(app, "detect", "list the COM ports and which of them a box answers on", options,
                   json, ports);
    detect->add_flag("--names", namesOnly,
                     "the names --port takes (COM names, stable by-id names), one a line, "
                     "without asking any box");
    detect->add_option("--by-id-dir", byIdDir, "a made-up by-id folder (tests)")->group("");
    auto* status =
        AddCommand(app, "status", "read the box's state the way the panel's Refresh does", options,
                   several, ports);
    auto* get = AddCommand(app, "get", "read one setting: NAME, or G.I for the raw byte", options,
                           json, ports);
    get->add_option("name", name, "setting name (see \"kestrowctl settings\") or G.I")->required();
    auto* set = AddCommand(app, "set", "write one setting with the frame its dialog's Apply sends",
                           options, several, ports);
    set->add_option("name", name, "setting name or G.I")->required();
    set->add_option("value", value, "number, choice text (\"5 min\", 1080p60) or raw byte")
        ->required()
        ->expected(1, -1);
    set->add_flag("--force", force,
                  "write a raw G.I that no dialog writes, or a byte outside its setting's range");
    auto* dump = AddCommand(app, "dump", "save every setting a dialog can write as JSON", options,
                            Takes{false, true}, ports);
    dump->add_option("file", file,
                     "file to write (standard output without it or with -), or a folder: a "
                     "file per box named by its port, COM200.json");
    auto* load =
        AddCommand(app, "load", "check a settings file against the box, write it, read it back",
                   options, several, ports);
    load->add_option("file", file, "settings file written by dump; - for standard input")
        ->required();
    auto* reset =
        AddCommand(app, "reset", "reset the box to its factory settings", options, several, ports);
    reset->add_flag("--yes,-y", yes, "do not ask");
    auto* flash = AddCommand(app, "flash",
                             "write firmware (.BIN or Intel .HEX) through the box's boot loader",
                             options, several, ports);
    flash->add_option("file", file, "firmware file")->required();
    auto* watch = AddCommand(app, "watch",
                             "print the input and output signals, a line per change, until "
                             "Ctrl+C",
                             options, json, ports);
    watch->add_option("--interval,-i", interval,
                      "seconds between looks, fractions allowed, at least 0.1 (default 1)");
    std::string root;
    auto* doctor = app.add_subcommand(
        "doctor", "check what on this machine keeps a port from opening or answering");
    doctor->add_option("--root", root, "a made-up machine's root (tests)")->group("");
    doctor->footer(kExitCodesHelp);
    auto* settings = AddCommand(app, "settings",
                                "list the setting names, items and values (with --port: the "
                                "lists this box's dialogs show)",
                                options, json, ports);
    settings->add_flag("--names", namesOnly, "names only, one a line");
    settings
        ->add_option("--values", valuesOf,
                     "the choices setting NAME takes, one a line (with --port: this box's)")
        ->option_text("NAME");

    if (const auto unknown = UnknownCommand(app, argc, argv)) {
        return Report({Exit::Usage, *unknown});
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        if (code != 0 && AsksForJson(argc, argv)) {
            Say(JsonText(Json{{"error", e.what()}, {"exit", static_cast<int>(Exit::Usage)}}));
        }
        return code == 0 ? 0 : static_cast<int>(Exit::Usage);
    }
    const auto usage = [&options](const std::string& message) {
        return Fail(options, {Exit::Usage, message});
    };
    for (const std::string& port : options.ports) {
        if (port.empty()) {
            return usage(
                "--port: an empty name names no port; give \"COM 5\", \"COM5\", \"5\" "
                "or a device path, or leave --port out to search");
        }
    }
    // The default port serves the commands that work on a box; detect and settings ask a box
    // only when one is named on the command line.
    const std::string defaultPort = EnvironmentValue(kPortVariable);
    if (options.ports.empty() && !options.all && !*detect && !*settings && !defaultPort.empty()) {
        options.ports.push_back(defaultPort);
        options.portOrigin = kPortVariable;
    }
    if (*watch && !(interval >= kShortestInterval && interval <= kLongestInterval)) {
        return usage("--interval: " + CLI::detail::to_string(interval) +
                     " is not a number of seconds from 0.1 to 86400");
    }

    InstallSerialReporter();
    if (options.trace) {
        options.tracer = StderrTracer();
    }
    std::string joined;
    for (const std::string& part : value) {
        joined += (joined.empty() ? "" : " ") + part;
    }
    if (*detect) {
        return RunDetect(options, namesOnly, byIdDir);
    }
    if (*status) {
        return RunStatus(options);
    }
    if (*get) {
        return RunGet(options, name);
    }
    if (*set) {
        return RunSet(options, name, joined, force);
    }
    if (*dump) {
        return RunDump(options, file);
    }
    if (*load) {
        return RunLoad(options, file);
    }
    if (*reset) {
        return RunReset(options, yes);
    }
    if (*flash) {
        return RunFlash(options, file);
    }
    if (*watch) {
        return RunWatch(options, interval);
    }
    if (*doctor) {
        return RunDoctor(options, root);
    }
    return RunSettings(options, namesOnly, valuesOf);
}

}  // namespace kestrow::cli

int main(int argc, char** argv) {
    kestrow::cli::PrepareProcess();
    // The words in UTF-8 (on Windows from the wide command line), as char* for the parser.
    std::vector<std::string> words = kestrow::cli::CommandLineWords(argc, argv);
    std::vector<char*> pointers;
    for (std::string& word : words) {
        pointers.push_back(word.data());
    }
    pointers.push_back(nullptr);
    return kestrow::cli::Main(static_cast<int>(words.size()), pointers.data());
}
