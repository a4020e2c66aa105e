// kestrowctl: the Kestrow box from the command line. The commands and their options; the work
// is in the Run* functions of Commands.h.
#include <CLI/CLI.hpp>
#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Console.h"

#ifndef KESTROWCTL_VERSION
#define KESTROWCTL_VERSION "0"
#endif

namespace kestrow::cli {

std::string ProgramVersion() {
    return std::string("kestrowctl ") + KESTROWCTL_VERSION;
}

namespace {

constexpr const char* kPortHelp =
    "the box's port: \"COM 5\", \"COM5\", \"5\" or a device path such as /dev/ttyUSB0; "
    "without it the first port that answers the probe";

CLI::App* AddCommand(CLI::App& app, const char* name, const char* description,
                     CommonOptions& options, bool json, std::vector<CLI::Option*>& ports) {
    CLI::App* command = app.add_subcommand(name, description);
    ports.push_back(command->add_option("--port,-p", options.port, kPortHelp));
    command->add_flag("--trace", options.trace,
                      "print every frame sent and received, with times, on stderr");
    if (json) {
        command->add_flag("--json", options.json, "print JSON for scripts");
    }
    command->footer(kExitCodesHelp);
    return command;
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
    return "unknown command \"" + std::string(argv[1]) + "\"; the commands are " + known;
}

}  // namespace

int Main(int argc, char** argv) {
    CLI::App app{"The Kestrow video scaler box from the command line.", "kestrowctl"};
    app.set_version_flag("--version", ProgramVersion());
    app.require_subcommand(1);
    app.footer(kExitCodesHelp);
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

    auto* detect =
        AddCommand(app, "detect", "list the COM ports and which of them a box answers on", options,
                   true, ports);
    auto* status =
        AddCommand(app, "status", "read the box's state the way the panel's Refresh does", options,
                   true, ports);
    auto* get = AddCommand(app, "get", "read one setting: NAME, or G.I for the raw byte", options,
                           true, ports);
    get->add_option("name", name, "setting name (see \"kestrowctl settings\") or G.I")->required();
    auto* set = AddCommand(app, "set", "write one setting with the frame its dialog's Apply sends",
                           options, false, ports);
    set->add_option("name", name, "setting name or G.I")->required();
    set->add_option("value", value, "number, choice text (\"5 min\", 1080p60) or raw byte")
        ->required()
        ->expected(1, -1);
    set->add_flag("--force", force,
                  "write a raw G.I that no dialog writes, or a byte outside its setting's range");
    auto* dump = AddCommand(app, "dump", "save every setting a dialog can write as JSON", options,
                            false, ports);
    dump->add_option("file", file, "file to write; standard output without it or with -");
    auto* load =
        AddCommand(app, "load", "check a settings file against the box, write it, read it back",
                   options, false, ports);
    load->add_option("file", file, "settings file written by dump; - for standard input")
        ->required();
    auto* reset =
        AddCommand(app, "reset", "reset the box to its factory settings", options, false, ports);
    reset->add_flag("--yes,-y", yes, "do not ask");
    auto* flash = AddCommand(app, "flash",
                             "write firmware (.BIN or Intel .HEX) through the box's boot loader",
                             options, false, ports);
    flash->add_option("file", file, "firmware file")->required();
    std::string root;
    auto* doctor = app.add_subcommand(
        "doctor", "check what on this machine keeps a port from opening or answering");
    doctor->add_option("--root", root, "a made-up machine's root (tests)")->group("");
    doctor->footer(kExitCodesHelp);
    auto* settings = app.add_subcommand("settings", "list the setting names, items and values");
    settings->add_flag("--json", options.json, "print JSON for scripts");
    settings->add_flag("--names", namesOnly, "names only, one a line");
    settings->footer(kExitCodesHelp);

    if (const auto unknown = UnknownCommand(app, argc, argv)) {
        return Report({Exit::Usage, *unknown});
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : static_cast<int>(Exit::Usage);
    }
    for (const CLI::Option* port : ports) {
        if (port->count() > 0 && options.port.empty()) {
            return Report({Exit::Usage,
                           "--port: an empty name names no port; give \"COM 5\", \"COM5\", \"5\" "
                           "or a device path, or leave --port out to search"});
        }
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
        return RunDetect(options);
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
    if (*doctor) {
        return RunDoctor(options, root);
    }
    return RunSettings(options, namesOnly);
}

}  // namespace kestrow::cli

int main(int argc, char** argv) {
    // Output that cannot be written (a reader that went away, a file past its size limit) makes
    // the write fail instead of ending the process: a flash in progress must run to its end.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    return kestrow::cli::Main(argc, argv);
}
