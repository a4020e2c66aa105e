// kestrowctl from a shell or a script: detect, one command on several boxes (--port given more
// than once, --all, KESTROW_PORT) with the worst exit, watch following a box, --json (one JSON
// document on stdout for each command, success or failure), --help against the documentation,
// the bash completion, and doctor on a made-up machine.
#include <QtTest>
#include <filesystem>

#include "tests/cli/CliTestSupport.h"

using namespace kestrow;
using namespace kestrow::test;
using sim::BoxConfig;

class TestKestrowctlShell : public CliTest {
    Q_OBJECT

  private slots:
    void cleanup() { boxes_.clear(); }

    // Only the ports of this test's folder count; the machine's own may be listed too. A box
    // whose device has a link in the by-id folder shows it (the last box here), and --names
    // lists what --port takes without a frame sent. A box answers: the exit of a run without one
    // would depend on the machine's own ports, which another run may hold at that moment (the
    // JSON table has a silent box's).
    void detect() {
        for (const BoxConfig& c : {BoxConfig{}, kLoader, BoxConfig{.silent = true}, BoxConfig{}}) {
            AddBox(c);
        }
        QTemporaryDir byId;
        const QString link = byId.filePath("usb-Kestrow_Scaler_K1234-if00-port0");
        QVERIFY(QFile::link(QString::fromStdString(boxes_.back()->slavePath()), link));
        const QString folder = " --by-id-dir " + byId.path();
        const Run names = Ctl("detect --names" + folder, "");
        QCOMPARE(names.code, 0);
        for (int i = 0; i < int(boxes_.size()); ++i) {
            QVERIFY2(names.out.contains(QString("COM%1\n").arg(kCom + i)), qPrintable(names.out));
            QVERIFY(boxes_[size_t(i)]->received().empty());
        }
        QVERIFY(names.out.contains(link + "\n"));
        const Run run = Ctl("detect --json" + folder, "");
        QCOMPARE(run.code, 0);
        QStringList states;
        for (const QJsonValue v : QJsonDocument::fromJson(run.out.toUtf8()).array()) {
            if (v["path"].toString().startsWith(PortsDir())) {
                QCOMPARE(v["name"].toString(), QString("COM %1").arg(kCom + states.size()));
                const bool last = states.size() == int(boxes_.size()) - 1;
                QCOMPARE(v["byId"].toString(), last ? link : QString());
                states << v["state"].toString();
            }
        }
        QCOMPARE(states, QStringList({"answers", "boot loader", "no answer", "answers"}));
    }

    // Several boxes: --port once per box, --all, the default port KESTROW_PORT, and a writing
    // command's search that finds more than one box. Every box's contrast starts at 1;
    // `effect` gives what each box then holds ("210:99 211:1"), "DIR" a dump file per box,
    // "flashed" the program on every box. Lines of several boxes each carry a port name.
    void severalBoxes_data() {
        QTest::addColumn<QList<BoxConfig>>("boxes");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("env");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("output");  // parts of stdout and stderr, split at '|'
        QTest::addColumn<QString>("effect");
        const QList<BoxConfig> two{BoxConfig{}, BoxConfig{}};
        const auto row = [](const char* tag, const QList<BoxConfig>& boxes, const char* command,
                            const char* env, int code, const char* output, const char* effect) {
            QTest::newRow(tag) << boxes << QString(command) << QString(env) << code
                               << QString(output) << QString(effect);
        };
        row("set on the boxes named", {{}, {}, {}}, "set contrast 99 --port 210 --port COM211", "",
            0, "COM 210: contrast set to 99\nCOM 211: contrast set to 99\n", "210:99 211:99 212:1");
        row("a write's search finds two", two, "set contrast 99", "", 2,
            "more than one box answers (COM 210, COM 211); a write goes only to boxes named",
            "210:1 211:1");
        row("KESTROW_PORT names the box", two, "set contrast 99", "KESTROW_PORT=211", 0, "",
            "210:1 211:99");
        row("an empty KESTROW_PORT is not set", two, "set contrast 99", "KESTROW_PORT=", 2,
            "more than one box answers", "210:1 211:1");
        row("--port before KESTROW_PORT", two, "set contrast 99 --port 210", "KESTROW_PORT=211", 0,
            "", "210:99 211:1");
        row("KESTROW_PORT names no port", two, "get contrast", "KESTROW_PORT=COMX", 2,
            "KESTROW_PORT: \"COMX\" names no port", "210:1 211:1");
        // The exit is the worst box's, not the last one's: COM 210 refuses the file (exit 5),
        // COM 212 does not answer (exit 4).
        row("the worst exit", {{.modelByte = 1}, {}, {.silent = true}},
            "load SETTINGS --port 210 --port 211 --port 212", "", 5,
            "COM 210: failed, exit 5: |kestrowctl: COM 210: |: the file is for model byte 0, "
            "this box reports 1\n|\nCOM 211: 1 setting written to COM 211 and read back\n"
            "COM 212: failed, exit 4: the box on COM 212 does not answer|kestrowctl: COM 212: "
            "the box on COM 212 does not answer",
            "210:1 211:77 212:1");
        row("load --all", two, "load SETTINGS --all", "", 0,
            "COM 210: 1 setting written to COM 210 and read back\nCOM 211: 1 setting written to "
            "COM 211 and read back\n",
            "210:77 211:77");
        row("reset --all", two, "reset --yes --all --trace", "", 0,
            "COM 210: factory reset sent to COM 210 (4.4 = 1)\nCOM 211: factory reset sent to "
            "COM 211 (4.4 = 1)\n| ms  ->  08 6C 93 00 04 04 01 F0",
            "210:128 211:128");
        row("status --all", two, "status --all", "", 0,
            "COM 210: port      COM 210|COM 211: firmware  V1.23.456|COM 211: contrast      "
            "        2.1    1  1|COM 210: HDMI HD(1080p)60 in, VGA HD(1080p)60 out, model 0 (older "
            "model), firmware V1.23.456\n",
            "210:1 211:1");
        row("dump into a folder", two, "dump DIR --all", "", 0,
            "COM 210: settings written to DIR/COM210.json\nCOM 211: settings written to "
            "DIR/COM211.json\n",
            "DIR");
        row("dump of two boxes to standard output", two, "dump --all", "", 2,
            "dump of 2 boxes writes a file for each: give a folder", "210:1 211:1");
        row("flash --all", {kLoader, kLoader}, "flash FIRMWARE --all", "", 0,
            "COM 210: Writing flash: 50 %|COM 211: Writing flash: 50 %|"
            "\nCOM 210: Firmware Updated!\nCOM 211: Firmware Updated!\n",
            "flashed");
        row("a port named twice", two, "set contrast 99 --port 210 --port COM210", "", 2,
            "COM 210 is named twice", "210:1 211:1");
        row("get takes one box", two, "get contrast --port 210 --port 211", "", 2,
            "this command works on one box; --port is given 2 times", "210:1 211:1");
    }
    void severalBoxes() {
        QFETCH(QList<BoxConfig>, boxes);
        QFETCH(QString, command);
        QFETCH(QString, env);
        QFETCH(QString, output);
        for (const BoxConfig& c : boxes) {
            AddBox(c).SetSetting(2, 1, 1);
        }
        const QString dir = root_.filePath("dumps");
        QDir(dir).removeRecursively();
        const QByteArray program = test::Program(3000);
        command.replace("DIR", dir)
            .replace("SETTINGS", WriteFile("several.json", SettingsFile(0, R"({"contrast": 77})")))
            .replace("FIRMWARE", WriteFile("several.bin", test::Image('4', program)));
        const Run run = Ctl(command, "", {.env = env.isEmpty() ? QStringList{} : QStringList{env}});
        QTEST(run.code, "code");
        QVERIFY2(HoldsAll(run.out + QChar() + run.err, output.replace("DIR", dir)),
                 qPrintable(run.out + run.err));
        const bool several = command.count("--port") > 1 || command.contains("--all");
        const QRegularExpression tagged(R"(^(kestrowctl: )?COM \d+: )");
        for (const QString& line : (run.out + run.err).split('\n', Qt::SkipEmptyParts)) {
            QVERIFY2(!several || run.code == 2 || tagged.match(line).hasMatch(), qPrintable(line));
        }
        QFETCH(QString, effect);
        for (size_t i = 0; i < boxes_.size(); ++i) {
            const sim::BoxSim& b = *boxes_[i];
            QVERIFY(b.WaitForQuiet(3000));  // the box takes in the last frame after the exit
            const QString file = QString("%1/COM%2.json").arg(dir).arg(kCom + int(i));
            if (effect == "DIR") {
                QVERIFY2(ReadAll(file).contains("\"contrast\": 1,"), qPrintable(file));
            } else if (effect == "flashed") {
                QCOMPARE(test::Q(b.flash()), program);
            } else {
                const QString held = QString("%1:%2").arg(kCom + int(i)).arg(b.setting(2, 1));
                QVERIFY2(effect.split(' ').contains(held), qPrintable(held));
            }
        }
    }

    // watch: a time-stamped line (JSON Lines with --json) for the first state and each change
    // of the input timing (4,1) or the output resolution (1,1); a box that stops answering is
    // said once, and when it is back; Ctrl+C and SIGTERM end it with 0. Each look is the probe,
    // (4,1) and (1,1), nothing else. `script`: "TEXT>ACTION|...", each action once stdout
    // holds its text: "4.1=5" the box's memory, "silent"/"answer", "INT"/"TERM".
    void watch_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("lines");  // what each line holds, in order
        QTest::newRow("a change, Ctrl+C")
            << "watch --interval 0.1"
            << "output VGA HD(1080p)60\n>4.1=5|HD(720p)50>INT"
            << QStringList{"COM 210  input HDMI HD(1080p)60, output VGA HD(1080p)60",
                           "COM 210  input HDMI HD(720p)50, output VGA HD(1080p)60"};
        QTest::newRow("gone once and back, SIGTERM")
            << "watch --interval 0.1"
            << "HD(1080p)60\n>silent|still looking\n>answer|back\n>1.1=24|1280x1024p60\n>TERM"
            << QStringList{"COM 210  input HDMI HD(1080p)60, output VGA HD(1080p)60",
                           "COM 210  gone: the box on COM 210 does not answer; still looking",
                           "COM 210  back",
                           "COM 210  input HDMI HD(1080p)60, output VGA HD(1080p)60",
                           "COM 210  input HDMI HD(1080p)60, output VGA 1280x1024p60"};
        QTest::newRow("JSON Lines")
            << "watch --json -i 0.1"
            << "}\n>1.1=24|1280x1024p60>silent|gone>INT"
            << QStringList{
                   "\"port\":\"COM 210\",\"event\":\"state\",\"inputPort\":\"HDMI\","
                   "\"inputTiming\":\"HD(1080p)60\",\"outputPort\":\"VGA\","
                   "\"outputResolution\":\"HD(1080p)60\",\"portByte\":89,"
                   "\"inputTimingByte\":8,\"outputResolutionByte\":12}",
                   "\"outputResolution\":\"1280x1024p60\"",
                   "\"event\":\"gone\",\"reason\":\"the box on COM 210 does not answer\"}"};
    }
    void watch() {
        QFETCH(QString, command);
        QFETCH(QString, script);
        QFETCH(QStringList, lines);
        sim::BoxSim& b = AddBox();
        How how;
        for (const QString& step : script.split('|')) {
            const QString action = step.section('>', 1);
            how.steps.append({step.section('>', 0, 0), [&b, action](QProcess& p) {
                                  if (action == "silent" || action == "answer") {
                                      b.SetConfig({.silent = action == "silent"});
                                  } else if (action == "INT" || action == "TERM") {
                                      Send(action == "INT" ? SIGINT : SIGTERM)(p);
                                  } else {
                                      SetMemory(b, action);
                                  }
                              }});
        }
        const Run run = Ctl(command, QString::number(kCom), how);
        QCOMPARE(run.code, 0);
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        const QStringList out = run.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(out.size(), lines.size());
        const QRegularExpression stamp(
            command.contains("--json")
                ? R"(^\{"time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d",)"
                : R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}  )");
        for (qsizetype i = 0; i < out.size(); ++i) {
            QVERIFY2(stamp.match(out[i]).hasMatch() && out[i].contains(lines[i]),
                     qPrintable(out[i]));
        }
        // Looks of three frames each, while the box answers.
        const QByteArray look = "056c9305f7076c93010401f4076c93010101f7";
        QVERIFY(test::WireHex(b).startsWith(look));
        for (const sim::ReceivedFrame& f : b.frames()) {
            const QByteArray hex = test::HexBytes(f.bytes);
            QVERIFY2(look.contains(hex) && hex.size() >= 10, hex.constData());
        }
    }

    // --json: one JSON document on stdout, its fields given as "path=JSON" (the value there),
    // "path~text" (a text holding it, never empty), "path#=N" (an array of N), or "path exists"
    // (there, and neither null nor an empty text); a path's parts split at '.' (array indices as
    // numbers). A failure gives "exit" and an "error" text too.
    void json_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("port");  // "none": no --port
        QTest::addColumn<BoxConfig>("box");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("fields");  // split at '|'
        QTest::addColumn<QString>("memory");  // the box's settings before: "1.1=0 2.8=200"
        const BoxConfig silent{.silent = true};
        const BoxConfig newer{.newerModel = 1};
        const auto row = [](const char* tag, const char* command, const char* port,
                            const BoxConfig& box, int code, const char* fields,
                            const char* memory = "") {
            QTest::newRow(tag) << QString(command) << QString(port) << box << code
                               << QString(fields) << QString(memory);
        };
        row("set", "set contrast 140 --json", "", {}, 0,
            "name=\"contrast\"|group=2|item=1|raw=140|value=140|port.name=\"COM 210\"");
        row("set an offset value", "set h-shift -12 --json", "", {}, 0, "raw=88|value=-12");
        row("set a choice", "set output-resolution 1280x1024p60 --json", "", {}, 0,
            "raw=24|value=\"1280x1024p60\"");
        row("set raw", "set 2.1 7 --json", "", {}, 0, "group=2|item=1|raw=7");
        row("reset", "reset --yes --json", "", newer, 0, "group=4|item=5|raw=1");
        row("load", "load SETTINGS --json", "", {}, 0,
            "written.contrast=77|readBack.contrast=77|readBack.h-shift=0|differ#=0|file~.json");
        row("flash", "flash FIRMWARE --json", "", kLoader, 0,
            "outcome=\"Firmware Updated!\"|fileBytes=3013|programBytes=3000");
        row("status", "status --json", "", newer, 0,
            "versionText=\"V1.23.456\"|newerModel=true|values#=22|"
            "values.3.name=\"audio-source\"|values.3.value=\"SPDIF\"");
        // A byte no dialog shows: no value, and a note of what it is (VGA out, older model).
        row("status: bytes without a shown value", "status --json", "", {}, 0,
            "values#=21|values.0.name=\"output-resolution\"|values.0.value=null|"
            "values.0.note=\"code 0 (SD(480i)60, not in this output port's list)\"|"
            "values.20.name=\"system-setting-a\"|values.20.value=null|"
            "values.20.note=\"code 1 (no dialog shows this System item)\"",
            "1.1=0");
        row("settings: every list by port", "settings --json", "none", {}, 0,
            "0.name=\"output-resolution\"|0.choicesByOutputPort#=6|"
            "0.choicesByOutputPort.5.port=\"VGA\"|0.choicesByOutputPort.5.choices#=22|"
            "1.choicesByOutputPort.0.choices#=3|19.name=\"clock-mode\"|"
            "19.choicesByInputPort.3.port=\"HDMI\"|"
            "19.choicesByInputPort.3.choices.1=\"Lock To HDMI\"|5.minimum=0|5.maximum=255");
        row("settings: this box's lists", "settings --json", "", {}, 0,
            "0.choices#=22|0.choices.1=\"HD(1080p)60\"|19.choices#=3|19.offered=false|"
            "4.offered=true|3.offered=false");
        row("get: unknown setting", "get brightnes --json", "", {}, 2,
            "error~unknown setting \"brightnes\"");
        row("get: a silent box", "get contrast --json", "", silent, 4,
            "error~the box on COM 210 does not answer");
        row("detect: no box answers", "detect --json", "none", silent, 4,
            "error=\"no box answers the probe\"|ports.0.state exists");
        row("load: refused", "load BROKEN --json", "", {}, 5,
            "error~refused; nothing was written|faults.0~contrast: 256 is out of range");
        // A byte that is no UTF-8 is quoted as \xFF: the JSON stays JSON.
        row("load: a name that is no UTF-8", "load NOUTF8 --json", "", {}, 5,
            "faults.0~ill-formed UTF-8 byte; last read: '\"\\xFF'");
        row("flash: a silent box", "flash FIRMWARE --json", "", silent, 4,
            "outcome~Failed,check your device version!|error~check your device version");
        row("watch: interval too short", "watch --interval 0.05 --json", "", {}, 2,
            "error~--interval: 0.05 is not a number of seconds from 0.1 to 86400");
        row("a command line CLI11 refuses", "set --json", "none", {}, 2, "error~name is required");
    }
    void json() {
        QFETCH(QString, command);
        QFETCH(QString, port);
        QFETCH(BoxConfig, box);
        sim::BoxSim& b = AddBox(box);
        QFETCH(QString, memory);
        SetMemory(b, memory);
        command.replace("SETTINGS", WriteFile("json.json", SettingsFile(0, R"({"contrast": 77})")))
            .replace("BROKEN", WriteFile("broken.json", SettingsFile(0, R"({"contrast": 256})")))
            .replace(
                "NOUTF8",
                WriteFile("noutf8.json",
                          SettingsFile(0, R"({"contrast": 1, "KEY": 2})").replace("KEY", "\xff")))
            .replace("FIRMWARE", WriteFile("json.bin", test::Image('4', test::Program(3000))));
        const Run run = Ctl(command, port == "none" ? QString() : QString::number(kCom));
        QTEST(run.code, "code");
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(run.out.toUtf8(), &error);
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(run.out));
        QJsonValue root = doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
        QFETCH(QString, fields);
        if (run.code != 0) {
            fields += QString("|exit=%1").arg(run.code);
            QVERIFY(!run.err.isEmpty() && !root["error"].toString().isEmpty());
        }
        // A check that holds for any value ("~" and nothing) is a fault of the row, not a pass.
        const QRegularExpression form(R"(^([\w.-]+)(#=|=|~(?=.)| exists$)(.*)$)");
        for (const QString& field : fields.split('|')) {
            const QRegularExpressionMatch m = form.match(field);
            QVERIFY2(m.hasMatch(), qPrintable("not a field check: " + field));
            const QString how = m.captured(2);
            const QString want = m.captured(3);
            QJsonValue v = root;
            for (const QString& part : m.captured(1).split('.')) {
                bool index = false;
                const int n = part.toInt(&index);
                v = index ? v[n] : v[part];
            }
            QVERIFY2(!v.isUndefined(), qPrintable(field + " in " + run.out));
            if (how == " exists") {
                QVERIFY2(!v.isNull() && v != QJsonValue(""), qPrintable(field + " in " + run.out));
            } else if (how == "~") {
                QVERIFY2(v.isString() && v.toString().contains(want), qPrintable(field));
            } else {  // the value, or the array's length, as compact JSON
                const QJsonValue got =
                    how == "#=" ? QJsonValue(v.isArray() ? v.toArray().size() : -1) : v;
                QVERIFY2(QJsonDocument(QJsonArray{got}).toJson(QJsonDocument::Compact) ==
                             ("[" + want + "]").toUtf8(),
                         qPrintable(field + " in " + run.out));
            }
        }
        QVERIFY(!command.startsWith("set contrast 140") ||
                (b.WaitForQuiet(3000) && b.setting(2, 1) == 140));
    }

    // Every command and option "kestrowctl --help" lists is in the man page, the README and
    // each completion file.
    void helpAgreesWithDocs_data() {
        QTest::addColumn<QString>("file");
        for (const char* file : {"docs/man/kestrowctl.1", "README.md", "src/cli/kestrowctl.bash",
                                 "src/cli/_kestrowctl", "src/cli/kestrowctl.fish"}) {
            QTest::newRow(file) << QString(file);
        }
    }
    void helpAgreesWithDocs() {
        QFETCH(QString, file);
        // roff writes "\-" for a minus, fish "-l port -s p" for --port and -p.
        const QString text = QString::fromUtf8(ReadAll(QString(KESTROW_SOURCE_DIR) + "/" + file))
                                 .replace("\\-", "-")
                                 .replace(QRegularExpression(R"(-l (\w[\w-]*))"), "--\\1")
                                 .replace(QRegularExpression(R"(-s (\w)\b)"), "-\\1");
        const Run top = Ctl("--help", "");
        QCOMPARE(top.code, 0);
        const QString subcommands = top.out.section("Subcommands:", 1).section("\n\n", 0, 0);
        QStringList commands;
        for (const QString& line : subcommands.split('\n', Qt::SkipEmptyParts)) {
            commands << line.trimmed().section(' ', 0, 0);
        }
        QCOMPARE(commands.size(), 11);
        QStringList missing;
        int checked = 0;
        for (const QString& command : commands) {
            if (!text.contains(QRegularExpression("\\b" + command + "\\b"))) {
                missing << command;
            }
            const Run help = Ctl(command + " --help", "");
            const QRegularExpression option(R"(^\s+(?:(-\w),)?(--[\w-]+))");
            for (const QString& line : help.out.section("Options:", 1).split('\n')) {
                const QRegularExpressionMatch m = option.match(line);
                for (int k = 1; m.hasMatch() && k <= 2; ++k) {
                    const QString name = m.captured(k);
                    checked += name.isEmpty() ? 0 : 1;
                    if (!name.isEmpty() &&
                        !text.contains(QRegularExpression(name + "(?![\\w-])"))) {
                        missing << command + " " + name;
                    }
                }
            }
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(", ")));
        QVERIFY(checked > 60);  // -h and --help alone are 22
    }

    // The bash completion: commands, options, the choices a setting takes (any box's, or the
    // box's that --port names), the COM names detect finds.
    void bashCompletion_data() {
        QTest::addColumn<QString>("line");  // up to the cursor
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("command") << "kestrowctl wa" << QStringList{"watch"};
        QTest::newRow("option") << "kestrowctl set --a" << QStringList{"--all"};
        QTest::newRow("setting") << "kestrowctl set color-t" << QStringList{"color-tone"};
        QTest::newRow("choices") << "kestrowctl set color-tone "
                                 << QStringList{"Off", "Skin", "Green"};
        QTest::newRow("a choice with a blank")
            << "kestrowctl set auto-sleep 5" << QStringList{"5\\ min"};
        QTest::newRow("any box's lock entries")
            << "kestrowctl set clock-mode Lock\\ To\\ H" << QStringList{"Lock\\ To\\ HDMI"};
        QTest::newRow("the named box's list")
            << "kestrowctl set --port 210 clock-mode "
            << QStringList{"Free-Run", "Lock\\ To\\ HDMI", "FrameLock\\ B\\(Genlock\\)"};
        QTest::newRow("ports") << "kestrowctl get --port COM21" << QStringList{"COM210"};
    }
    void bashCompletion() {
        QFETCH(QString, line);
        AddBox();  // HDMI in, VGA out
        // The words as bash gives them to a completion: as typed, escapes kept.
        const QStringList words = line.split(QRegularExpression(R"((?<!\\) )"));
        const QString script =
            QString(
                "source '%1/src/cli/kestrowctl.bash'; COMP_WORDS=('%2'); COMP_CWORD=%3; "
                "_kestrowctl; printf '%s\\n' \"${COMPREPLY[@]}\"")
                .arg(KESTROW_SOURCE_DIR, words.join("' '"))
                .arg(words.size() - 1);
        // Completion asks kestrowctl for the ports.
        const QString path = "PATH=" + QFileInfo(KESTROWCTL).path() + ":" + qgetenv("PATH");
        const Run run = Ctl("", "", {.shell = script, .env = {path}});
        QCOMPARE(run.code, 0);
        QTEST(run.out.split('\n', Qt::SkipEmptyParts), "offered");
    }

    // doctor on a made-up machine (--root; MakeTree's entries), its devices of group dialout,
    // mode 0660. Each finding with its fix; exit 3 when there is something to fix.
    void doctor_data() {
        QTest::addColumn<QStringList>("machine");
        QTest::addColumn<bool>("nobody");  // run as a user outside group dialout
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("report");  // parts of stdout, split at '|'
        const QStringList adapter{
            "dev/ttyUSB0=",
            "sys/devices/usb1/1-1/idVendor=0403",
            "sys/devices/usb1/1-1/idProduct=6001",
            "sys/devices/usb1/1-1/1-1:1.0/ttyUSB0/",
            "sys/class/tty/ttyUSB0/device>sys/devices/usb1/1-1/1-1:1.0/ttyUSB0",
            "sys/class/tty/ttyUSB0/dev=188:0"};
        const QStringList modemManager = adapter + QStringList{"proc/77/comm=ModemManager"};
        const auto row = [](const char* tag, const QStringList& machine, bool nobody, int code,
                            const char* report) {
            QTest::newRow(tag) << machine << nobody << code << QString(report);
        };
        row("all well", adapter, false, 0,
            "COM 1 (|/dev/ttyUSB0): |/dev/ttyUSB0, group dialout, mode 0660, USB 0403:6001\n|"
            "nothing wrong found");
        row("not in the device's group", adapter, true, 3,
            "problem: COM 1 (|you may not open it; |/dev/ttyUSB0 belongs to group dialout, which "
            "you are not in\n    fix: sudo usermod -aG dialout $USER, then log out and in again");
        row("ModemManager may probe the adapter",
            modemManager + QStringList{"run/udev/data/c188:0=E:ID_VENDOR_ID=0403"}, false, 3,
            "ModemManager runs|problem: COM 1 (|ModemManager may probe it|fix: printf|"
            "ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\"|"
            "ENV{ID_MM_DEVICE_IGNORE}=\"1\"|sudo tee /etc/udev/rules.d/99-kestrow.rules");
        row("ModemManager leaves it alone",
            modemManager + QStringList{"run/udev/data/c188:0=E:ID_MM_DEVICE_IGNORE=1"}, false, 0,
            "ModemManager runs|nothing wrong found");
        row("brltty and no USB adapter", {"dev/ttyACM0=", "usr/lib/udev/rules.d/85-brltty.rules="},
            false, 3, "COM 65 (|problem: brltty is installed|fix: sudo apt-get remove brltty");
        row("a program holds the port",
            adapter + QStringList{"proc/55/comm=minicom", "proc/55/fd/3>dev/ttyUSB0"}, false, 3,
            "problem: COM 1 (|open in process 55 (minicom)|fix: close that program, or: kill 55");
        row("FTDI latency timer",
            adapter + QStringList{"sys/bus/usb-serial/devices/ttyUSB0/latency_timer=16"}, false, 0,
            "latency timer 16 ms|fix: to keep 1 ms: echo 1 | sudo tee |nothing wrong found");
        row("no port at all", {"dev/"}, false, 3, "problem: no serial port found");
    }
    void doctor() {
        QFETCH(QStringList, machine);
        QFETCH(bool, nobody);
        QTemporaryDir temp;
        const std::filesystem::path root = temp.path().toStdString();
        std::vector<std::string> entries;
        for (const QString& line : machine) {
            entries.push_back(line.toStdString());
        }
        test::MakeTree(root, entries);
        for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
            if (e.path().parent_path() == root / "dev" && !e.is_directory()) {
                QVERIFY(GiveToDialout(e.path().c_str(), 0660) || ::geteuid() != 0);
            } else if (!e.is_symlink()) {
                QVERIFY(::chmod(e.path().c_str(), e.is_directory() ? 0755 : 0644) == 0);
            }
        }
        QVERIFY(::chmod(root.c_str(), 0755) == 0);
        if (nobody && ::geteuid() != 0) {
            QSKIP("changing the user needs root");
        }
        const Run run = Ctl("doctor --root " + temp.path(), "", {.nobody = nobody});
        QTEST(run.code, "code");
        QFETCH(QString, report);
        QVERIFY2(HoldsAll(run.out, report), qPrintable(run.out));
        QCOMPARE(run.err.isEmpty(), run.code == 0);
    }
};

QTEST_GUILESS_MAIN(TestKestrowctlShell)
#include "test_kestrowctl_shell.moc"
