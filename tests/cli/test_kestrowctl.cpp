// kestrowctl as a script runs it: exit codes, stdout, stderr, and the exact frames the
// simulated box received.
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "device/DeviceLink.h"
#include "tests/common/TestBox.h"
#include "tests/firmware/FirmwareTestSupport.h"

using namespace kestrow;
using sim::BoxConfig;

Q_DECLARE_METATYPE(kestrow::sim::BoxConfig)

namespace {

constexpr int kCom = 210;  // the first box's number; others follow
// The probe and the model question (4,4) that every named get and set starts with.
const QByteArray kIdentify = "056c9305f7076c93010404f1";
// A settings file for model byte %1 of an older model, with the settings %2.
const char* const kSettingsFile = R"({"format": "kestrow-settings", "version": 1, "model": %1, )"
                                  R"("newerModel": false, "settings": %2})";

struct Run {
    int code = -1;
    QString out;
    QString err;
};

// How a run is set up beyond its command line.
struct How {
    QString whenOut;  // once stdout holds it, `signal` goes to the process
    int signal = SIGINT;
    // A bash line around the run, CMD standing for kestrowctl with its arguments
    // ("CMD | head -1", "ulimit -f 0; CMD"); the code is still kestrowctl's.
    QString shell;
    bool tty = false;     // stdin is a terminal
    bool nobody = false;  // runs as user and group 65534, without other groups (as root)
    QByteArray input;     // what stdin holds
    QStringList env;      // "NAME=value" added to the environment (KESTROW_PORT is not kept)
    // In order: once stdout holds a step's text (after the previous step's), its action runs.
    QList<std::pair<QString, std::function<void()>>> steps;
};

// A box in its boot loader (or running its firmware) that refuses Send Data block `nak`,
// answers 41 to a Get Status after block `status41After`, or paces its bytes at the line rate.
BoxConfig Loader(bool inLoader = true, int nak = -1, int status41After = -1, bool paced = false) {
    BoxConfig c;
    c.startInBootLoader = inLoader;
    c.nakBlock = nak;
    c.status = status41After >= 0 ? 0x41 : 0x40;
    c.statusAfterBlock = status41After;
    c.paced = paced;
    return c;
}

}  // namespace

class TestKestrowctl : public QObject {
    Q_OBJECT

    QTemporaryDir root_;
    std::vector<std::unique_ptr<sim::BoxSim>> boxes_;

    [[nodiscard]] QString PortsDir() const { return root_.path() + "/kestrow/ports"; }

    sim::BoxSim& AddBox(const BoxConfig& config = {}) {
        auto box = sim::BoxSim::Start(config);
        if (!box || !box->LinkAs(PortsDir().toStdString(), kCom + int(boxes_.size()))) {
            qFatal("no simulated box");
        }
        boxes_.push_back(std::move(box));
        return *boxes_.back();
    }
    QString WriteFile(const QString& name, const QByteArray& content) {
        QFile f(root_.filePath(name));
        QFile::remove(f.fileName());
        if (!content.isEmpty() && (!f.open(QIODevice::WriteOnly) || f.write(content) < 0)) {
            qFatal("cannot write %s", qPrintable(f.fileName()));
        }
        return f.fileName();
    }

    // Runs kestrowctl with `command` and --port `port` (none when empty).
    Run Ctl(const QString& command, const QString& port = QString::number(kCom),
            const How& how = {}) {
        QStringList args = QProcess::splitCommand(command);
        if (!port.isEmpty()) {
            args << "--port" << (port == "\"\"" ? QString() : port);  // "" as the shell passes it
        }
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", root_.path());
        env.remove("KESTROW_PORT");
        for (const QString& e : how.env) {
            env.insert(e.section('=', 0, 0), e.section('=', 1));
        }
        p.setProcessEnvironment(env);
        const int master = how.tty ? ::posix_openpt(O_RDWR | O_NOCTTY) : -1;
        if (how.tty && (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)) {
            qFatal("no pseudo-terminal");
        }
        p.setChildProcessModifier([slave = std::string(how.tty ? ::ptsname(master) : ""),
                                   nobody = how.nobody] {
            if (!slave.empty()) {
                ::dup2(::open(slave.c_str(), O_RDWR | O_NOCTTY), STDIN_FILENO);
            }
            if (nobody &&
                (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
                ::_exit(99);
            }
        });
        if (how.shell.isEmpty()) {
            p.start(KESTROWCTL, args);
        } else {
            const QString line = QString(how.shell).replace("CMD", "\"$0\" \"$@\"");
            p.start("bash", QStringList{"-c", line + "; exit ${PIPESTATUS[0]}", KESTROWCTL} + args);
        }
        p.write(how.input);
        p.closeWriteChannel();
        QByteArray out;
        auto steps = how.steps;
        if (!how.whenOut.isEmpty()) {
            steps.append({how.whenOut,
                          [&p, &how] { ::kill(static_cast<pid_t>(p.processId()), how.signal); }});
        }
        qsizetype seen = 0;
        for (const auto& [text, action] : steps) {
            while (p.state() != QProcess::NotRunning && out.indexOf(text.toUtf8(), seen) < 0) {
                p.waitForReadyRead(100);
                out += p.readAllStandardOutput();
            }
            if (out.indexOf(text.toUtf8(), seen) >= 0) {
                seen = out.indexOf(text.toUtf8(), seen) + text.toUtf8().size();
                action();
            }
        }
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
        }
        out += p.readAllStandardOutput();
        if (master >= 0) {
            ::close(master);
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(out),
                QString::fromUtf8(p.readAllStandardError())};
    }

  private slots:
    void initTestCase() {
        QVERIFY(root_.isValid());
        QVERIFY(QDir().mkpath(PortsDir()));
    }
    void cleanup() { boxes_.clear(); }

    // Only the ports of this test's folder count; the machine's own may be listed too. A box
    // whose device has a link in the by-id folder shows it (the last box here, "stable"), and
    // --names lists what --port takes without a frame sent.
    void detect_data() {
        QTest::addColumn<QList<BoxConfig>>("boxes");
        QTest::addColumn<QStringList>("states");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("stable");
        BoxConfig silent;
        silent.silent = true;
        QTest::newRow("none") << QList<BoxConfig>{} << QStringList{} << 4 << false;
        QTest::newRow("one") << QList<BoxConfig>{BoxConfig{}} << QStringList{"answers"} << 0
                             << false;
        QTest::newRow("two and a silent port")
            << QList<BoxConfig>{BoxConfig{}, Loader(), silent}
            << QStringList{"answers", "boot loader", "no answer"} << 0 << false;
        QTest::newRow("a stable by-id name") << QList<BoxConfig>{BoxConfig{}, BoxConfig{}}
                                             << QStringList{"answers", "answers"} << 0 << true;
    }
    void detect() {
        QFETCH(QList<BoxConfig>, boxes);
        QFETCH(bool, stable);
        for (const BoxConfig& c : boxes) {
            AddBox(c);
        }
        QTemporaryDir byId;
        const QString link = byId.filePath("usb-Kestrow_Scaler_K1234-if00-port0");
        QVERIFY(!stable || QFile::link(QString::fromStdString(boxes_.back()->slavePath()), link));
        const QString folder = " --by-id-dir " + byId.path();
        const Run run = Ctl("detect --json" + folder, "");
        QTEST(run.code, "code");
        const QJsonDocument json = QJsonDocument::fromJson(run.out.toUtf8());
        QStringList states;
        for (const QJsonValue v : json.isArray() ? json.array() : json["ports"].toArray()) {
            if (v["path"].toString().startsWith(PortsDir())) {
                QCOMPARE(v["name"].toString(), QString("COM %1").arg(kCom + states.size()));
                const bool last = states.size() == boxes.size() - 1;
                QCOMPARE(v["byId"].toString(), stable && last ? link : QString());
                states << v["state"].toString();
            }
        }
        QTEST(states, "states");
        for (auto& box : boxes_) {
            box->ClearReceived();
        }
        const Run names = Ctl("detect --names" + folder, "");
        QCOMPARE(names.code, 0);
        for (int i = 0; i < boxes.size(); ++i) {
            QVERIFY2(names.out.contains(QString("COM%1\n").arg(kCom + i)), qPrintable(names.out));
            QVERIFY(boxes_[size_t(i)]->received().empty());
        }
        QCOMPARE(names.out.contains(link + "\n"), stable);
    }

    // status: the panel's refresh frame for frame and the System dialog's version read, the
    // report naming every value and the version text. Then dump,
    // factory reset (the item the System dialog writes for the model), load, dump again: the
    // same file (through standard input for the newer model). The GenLock delays only where
    // the panel reaches them (model byte 1).
    void statusAndRoundTrip_data() {
        QTest::addColumn<bool>("newer");
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("line");  // a line of the status report
        QTest::addColumn<QByteArray>("reset");
        QTest::addColumn<QByteArray>("versionRead");  // (4,3) older, (4,4) newer, none for 1
        QTest::addColumn<QString>("version");
        QTest::newRow("older") << false << 0 << "system-setting-a      4.2    4"
                               << QByteArray("086c9300040401f0") << QByteArray("076c93010403f2")
                               << "V2.00.777";
        QTest::newRow("newer") << true << 0 << "auto-sleep            4.2    4  4 min"
                               << QByteArray("086c9300040501ef") << QByteArray("076c93010404f1")
                               << "V3.10.001";
        QTest::newRow("model byte 1, GenLock")
            << false << 1 << "clock-mode            4.2    2  FrameLock B(Genlock)"
            << QByteArray("086c9300040401f0") << QByteArray() << "V1.001";
    }
    void statusAndRoundTrip() {
        QFETCH(bool, newer);
        QFETCH(int, model);
        BoxConfig config;
        config.portByte = 0x05;  // Component in, HDMI out
        config.newerModel = newer;
        config.modelByte = uint8_t(model);
        config.versionText = "V2.00.777";
        if (newer) {
            config.versionText = "V3.10.001";
        }
        sim::BoxSim& box = AddBox(config);
        const std::pair<int, int> tuned[] = {
            {21, 7}, {23, 250}, {27, 1}, {35, 3}, {42, model == 1 ? 2 : 4}, {43, 1}};
        for (auto [at, value] : tuned) {
            box.SetSetting(uint8_t(at / 10), uint8_t(at % 10), uint8_t(value));
        }
        box.SetGenlock(2, 2100);
        const Run text = Ctl("status");
        QCOMPARE(text.code, 0);
        QFETCH(QByteArray, versionRead);
        QFETCH(QString, version);
        QCOMPARE(test::WireHex(box), test::RefreshWire(newer ? 25 : 24) + versionRead);
        QVERIFY2(text.out.contains("\nfirmware  " + version + "\n"), qPrintable(text.out));
        QVERIFY2(text.out.contains(
                     QString("model     %1  %2 model").arg(model).arg(newer ? "newer" : "older")),
                 qPrintable(text.out));
        QVERIFY(
            text.out.contains("input     Component  HD(1080p)60\noutput    HDMI  HD(1080p)60\n"));
        QFETCH(QString, line);
        QVERIFY2(text.out.contains(line), qPrintable(text.out));
        const QJsonObject json =
            QJsonDocument::fromJson(Ctl("status --json").out.toUtf8()).object();
        QCOMPARE(json["newerModel"].toBool(), newer);
        QCOMPARE(json["versionText"].toString(), version);
        QCOMPARE(json["values"].toArray().size(), newer ? 22 : 21);
        QCOMPARE(json["values"][3]["name"].toString(), "audio-source");
        QCOMPARE(json["values"][3]["value"].toString(), "SPDIF");

        const QString a = root_.filePath("a.json");
        QCOMPARE(Ctl("dump " + a).code, 0);
        box.ClearReceived();
        QCOMPARE(Ctl("reset --yes").code, 0);
        QVERIFY(box.WaitForReceived(20, 3000));
        QFETCH(QByteArray, reset);
        QCOMPARE(test::WireHex(box), kIdentify + reset);
        QCOMPARE(box.setting(2, 1), 128);  // the factory contrast again
        QFile dumped(a);
        QVERIFY(dumped.open(QIODevice::ReadOnly));
        How fromStdin;  // the newer model's file through standard input
        fromStdin.input = dumped.readAll();
        const Run load = newer ? Ctl("load -", QString::number(kCom), fromStdin) : Ctl("load " + a);
        QVERIFY2(load.code == 0, qPrintable(load.err));
        QCOMPARE(box.setting(2, 3), 250);
        QCOMPARE(box.genlock(2), model == 1 ? 2100 : 0);  // the reset left 0
        const Run again = Ctl("dump");
        QFile file(a);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(again.out.toUtf8(), file.readAll());
        QCOMPARE(again.out.contains("\"genlock-h\": -100"), model == 1);
        QVERIFY(again.out.contains(newer ? "\"auto-sleep\": \"4 min\"" : "\"newerModel\": false"));
    }

    // One row per kind of setting, on the forms of --port: set sends the dialog's frame after
    // the identify exchange (a raw item without it) and --trace shows the frames; get then shows
    // the value.
    void setAndGet_data() {
        QTest::addColumn<QString>("set");
        QTest::addColumn<QString>("port");      // "slave": the box's device path; "by-id": a link
        QTest::addColumn<QByteArray>("write");  // the frames after the identify exchange
        QTest::addColumn<QString>("shown");     // what get prints afterwards
        QTest::addColumn<int>("model");
        const auto row = [](const char* tag, const char* set, const char* port, const char* write,
                            const char* shown, int model = 0) {
            QTest::newRow(tag) << QString(set) << QString(port) << QByteArray(write)
                               << QString(shown) << model;
        };
        row("number, COM n", "contrast 128", "COM 210", "086c930002018076", "128");
        row("offset, device path", "v-shift -7", "slave", "086c930003062bc5", "-7");
        row("stable by-id name", "contrast 3", "by-id", "086c9300020103f3", "3");
        // Entry 1 of the VGA list sends 12.
        row("choice by short form, any case", "output-resolution 1080P60", "210",
            "086c930001010ceb", "HD(1080p)60");
        // A choice this box offers (HDMI in): refused were its ports not taken into account.
        row("choice on offer", "edid-audio-ch 7.1ch", "210", "086c9300010501f2", "7.1Ch");
        row("genlock, period read first", "genlock-h -1", "210", "066c934904ae086c934900089711",
            "-1", 1);
        row("raw", "2.1 77", "210", "086c930002014da9", "77");
        row("raw byte outside the setting's range, forced", "2.8 200 --force", "210",
            "086c93000208c827", "200");
    }
    void setAndGet() {
        QFETCH(QString, set);
        QFETCH(QString, port);
        QFETCH(QByteArray, write);
        QFETCH(int, model);
        BoxConfig config;
        config.modelByte = uint8_t(model);
        sim::BoxSim& b = AddBox(config);
        const QString byId = root_.filePath("usb-Kestrow_Scaler_K1234-if00-port0");
        QFile::remove(byId);
        QVERIFY(port != "by-id" || QFile::link(QString::fromStdString(b.slavePath()), byId));
        port = port == "slave"   ? QString::fromStdString(b.slavePath())
               : port == "by-id" ? byId
                                 : port;
        const Run run = Ctl("set " + set + " --trace", port);
        QVERIFY2(run.code == 0, qPrintable(run.err));
        const bool raw = QRegularExpression("^\\d+\\.\\d+ ").match(set).hasMatch();
        const QByteArray wire = raw ? write : kIdentify + write;
        QVERIFY(b.WaitForReceived(size_t(wire.size() / 2), 3000));  // the box reads after exit
        QCOMPARE(test::WireHex(b), wire);
        const QByteArray last = QByteArray::fromHex(write.right(16)).toHex(' ').toUpper();
        QVERIFY2(run.err.contains("->  " + last + "\n"), qPrintable(run.err));
        QVERIFY(raw || run.err.contains(QString("<-  05 6C 93 59 0%1\n").arg(model)));
        const Run get = Ctl("get " + set.section(' ', 0, 0));
        QCOMPARE(get.code, 0);
        QTEST(get.out.trimmed(), "shown");
    }

    // What the dialogs refuse, ports and boxes that are not there or go away, settings files
    // with a fault: the message (parts split at '|'), and nothing is written unless `effect`
    // names a setting the box then holds ("2.1=1").
    void refusals_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("port");  // empty: the first box's
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::addColumn<BoxConfig>("box");
        QTest::addColumn<QString>("effect");
        const auto row = [](const char* tag, const char* command, const char* port, int code,
                            const char* message, const BoxConfig& box = {},
                            const char* effect = "") {
            QTest::newRow(tag) << QString(command) << QString(port) << code << QString(message)
                               << box << QString(effect);
        };
        BoxConfig readBackUnanswered;
        readBackUnanswered.unanswered = {{4, 1}};  // the refresh's first query
        BoxConfig model1;  // the panel reaches the GenLock dialog on model byte 1 only
        model1.modelByte = 1;
        BoxConfig noGenlock = model1;  // a box without GenLock answers none of its reads
        noGenlock.unanswered = {{0x49, 2}, {0x49, 3}, {0x49, 4}, {0x49, 5}};
        BoxConfig genlockLost = model1;  // one that answers some lost a reply
        genlockLost.unanswered = {{0x49, 5}};
        row("usage", "frobnicate", "", 2, "kestrowctl: unknown command \"frobnicate\"");
        row("argument missing", "get", "none", 2, "kestrowctl: name is required");
        row("empty port", "get contrast", "\"\"", 2, "--port: an empty name names no port");
        row("unknown", "set brightnes 5", "", 2, "unknown setting \"brightnes\"");
        row("range", "set contrast 256", "", 2,
            "contrast: 256 is out of range; Contrast (0~255) takes 0 to 255");
        row("not a number", "set sharpness 5x", "", 2, "\"5x\" is not a number");
        row("choice", "set color-tone Purple", "", 2,
            "no choice \"Purple\"; this box offers Off, Skin, Green");
        row("not offered", "set audio-source SPDIF", "", 2, "this box does not offer Audio Source");
        row("genlock", "set genlock-h 1101", "", 2,
            "H-Sync Delay takes -1100 to 1100 (the box's period is 2200)", model1);
        row("genlock off model byte 1", "set genlock-h 5", "", 2,
            "genlock-h: this box does not offer H-Sync Delay (only boxes whose model byte is 1)");
        row("dump: GenLock unanswered", "dump FILE", "", 0,
            "genlock-h: the box does not answer its GenLock reads; left out", noGenlock);
        row("dump: a GenLock reply lost", "dump FILE", "", 4, "does not answer", genlockLost);
        BoxConfig modelLost;  // a newer model whose reply to the model question is lost
        modelLost.newerModel = 6;
        modelLost.unanswered = {{4, 4}};
        row("dump: the model question unanswered", "dump FILE", "", 0,
            "did not answer the model question (4.4); it counts as an older model", modelLost);
        // A write that fails past the file size limit: the old file stays, the reason is named.
        row("dump: past the file size limit", "ulimit:dump FILE", "", 5,
            "dump.json: cannot be written: File too large; the file is as it was", {}, "FILE kept");
        row("dump: no such folder", "dump /nonexistent/dump.json", "", 5,
            "/nonexistent/dump.json: cannot be written: No such file or directory");
        row("raw byte", "set 2.1 256", "", 2, "a raw value is a byte");
        row("raw item no dialog writes", "set 9.9 1", "", 2,
            "9.9: the box has no item 9.9|--force writes it anyway");
        row("raw byte out of the setting's range", "set 2.8 200", "", 2,
            "2.8: 200 is outside sharpness; Sharpness (0~127) takes bytes 0 to 127");
        row("port text", "get contrast", "COMX", 2, "names no port");
        row("no device", "get contrast", "COM 77", 3, "cannot be opened");
        row("busy", "set contrast 1", "busy", 3,
            "Device or resource busy|cannot be opened: another program holds it: process PID "
            "(test_kestrowctl)");
        // The simulated box keeps its end of the line open: the holder found is this test.
        row("silent", "set contrast 1", "silent", 4,
            "the box on COM 210 does not answer; DEVICE is also open in process PID "
            "(test_kestrowctl), which may take its replies");
        // A port the user may not open: the device, its group and the remedy.
        row("permission denied", "nobody:get contrast", "device", 3,
            "DEVICE cannot be opened: permission denied; DEVICE belongs to group dialout, which "
            "you are not in: sudo usermod -aG dialout $USER, then log out and in again");
        row("permission denied in a search", "nobody:status", "none", 3,
            "no box answers on any COM port (|COM 210 cannot open|: permission denied; DEVICE "
            "belongs to group dialout");
        // Switched off after the identify exchange: said once, in words, and what is left.
        row("goes away", "get contrast", "vanish", 4,
            "kestrowctl: Failed in call to read: Input/output error\n"
            "kestrowctl: COM 210 (|/COM210) went away: unplugged or switched off; nothing was "
            "written\n");
        // At the model question: an older model stays silent there, a device gone says nothing.
        row("goes away at the model question", "dump FILE", "vanish-model", 4,
            "went away: unplugged or switched off", {}, "FILE kept");
        row("status: boot loader", "status", "", 4,
            "the box on COM 210 waits in its boot loader|\"kestrowctl flash FILE\"", Loader());
        row("get: boot loader", "get 2.1", "", 4, "waits in its boot loader", Loader());
        row("search: boot loader", "get contrast", "none", 4,
            "the box on COM 210 waits in its boot loader", Loader());
        row("reset off a terminal", "reset", "", 2, "give --yes");
        row("reset: Ctrl+C at the question", "tty:reset", "", 1, "nothing was sent");
        // A settings file with any fault: its "settings" follow "load" ("model": another model's).
        row("load: not JSON", "load {\"contrast\": 1,}", "", 5, "parse error");
        row("load: a number beyond a double", "load {\"contrast\": 1e99999}", "", 5,
            "number overflow parsing '1e99999'");
        row("load: unknown", "load {\"contrast\": 1, \"factory-reset\": 1}", "", 5,
            "unknown setting \"factory-reset\"");
        row("load: range", "load {\"contrast\": 1, \"v-shift\": 51}", "", 5,  // as set checks it
            "v-shift: 51 is out of range");
        row("load: model", "load model", "", 5, "the file is for model byte 1");
        row("load: a name twice", "load {\"contrast\": 1, \"contrast\": 2}", "", 5,
            "\"contrast\" is named twice in one object");
        // The setting checks that need no box are listed beside a faulty header.
        row("load: header and settings", "load:-1 {\"contrast\": 256, \"color-tone\": \"Blue\"}",
            "", 5,
            "\"model\" must be the model byte|contrast: 256 is out of range|no choice \"Blue\"");
        row("load: the read-back unanswered", "load {\"contrast\": 1}", "", 4,
            "1 setting written to COM 210, but the read-back did not answer: the box on COM 210 "
            "does not answer",
            readBackUnanswered, "2.1=1");
    }
    void refusals() {
        QFETCH(QString, port);
        QFETCH(BoxConfig, box);
        box.silent = port == "silent";
        sim::BoxSim& b = AddBox(box);
        if (port.startsWith("vanish")) {  // at the first read after the probe and the model
            const bool atModel = port == "vanish-model";  // question, or at that question
            b.SetFrameObserver([&b, atModel](const sim::ReceivedFrame& f) {
                const bool read = f.bytes.size() == 7 && f.bytes[3] == 0x01;
                if (read && (atModel ? f.bytes[4] == 4 && f.bytes[5] == 4 : f.bytes[4] != 4)) {
                    b.Vanish();
                }
            });
        }
        SerialPort holder;
        if (port == "busy") {
            QVERIFY(OpenBoxPort(holder, ResolvePort(kCom, PortsDir().toStdString())));
        }
        QFETCH(QString, command);
        How how;
        how.tty = command.startsWith("tty:");  // Ctrl+C once the question is out
        how.whenOut = how.tty ? "Are you sure" : "";
        how.shell = command.startsWith("ulimit:") ? "ulimit -f 0; CMD" : "";
        how.nobody = command.startsWith("nobody:");
        command = command.section(':', how.tty || how.nobody || !how.shell.isEmpty() ? 1 : 0);
        QFETCH(QString, message);
        const QString device = QString::fromStdString(b.slavePath());
        message.replace("DEVICE", device).replace("PID", QString::number(getpid()));
        if (how.nobody) {  // a device of group dialout that the user may not open
            if (::geteuid() != 0) {
                QSKIP("changing the user needs root");
            }
            const group* dialout = ::getgrnam("dialout");
            QVERIFY(dialout && ::chown(qPrintable(device), 0, dialout->gr_gid) == 0 &&
                    ::chmod(qPrintable(device), 0660) == 0);
            for (const QString& dir : {root_.path(), root_.path() + "/kestrow", PortsDir()}) {
                QVERIFY(::chmod(qPrintable(dir), 0755) == 0);  // the links are seen
            }
        }
        const QByteArray kept = "{\"kept\": true}\n";  // what FILE held before
        command.replace("FILE", WriteFile("dump.json", kept));
        const bool load = command.startsWith("load");
        if (load) {  // "load SETTINGS" for model byte 0, "load:M SETTINGS", "load model"
            const QString model = command.startsWith("load:") ? command.section(' ', 0, 0).mid(5)
                                  : command == "load model"   ? "1"
                                                              : "0";
            const QString settings = command == "load model" ? "{}" : command.section(' ', 1);
            command = "load " + WriteFile("broken.json",
                                          QString(kSettingsFile).arg(model, settings).toUtf8());
        }
        const bool named =
            port.isEmpty() || port == "busy" || port == "silent" || port.startsWith("vanish");
        const Run run = Ctl(command,
                            named              ? QString::number(kCom)
                            : port == "none"   ? QString()
                            : port == "device" ? device
                                               : port,
                            how);
        QTEST(run.code, "code");
        for (const QString& part : message.split('|')) {
            QVERIFY2(run.err.contains(part), qPrintable(run.err));
        }
        for (const QString& line : run.err.split('\n', Qt::SkipEmptyParts)) {
            QVERIFY2(line.startsWith("kestrowctl: "), qPrintable(line));
        }
        QVERIFY2(run.err.count("Failed in call to") <= 1, qPrintable(run.err));
        QVERIFY(!load || run.code != 5 || run.err.contains("refused; nothing was written"));
        QVERIFY(run.out.isEmpty() || how.tty);
        QFETCH(QString, effect);
        QFile file(root_.filePath("dump.json"));
        if (effect == "FILE kept") {
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), kept);
            QCOMPARE(QDir(root_.path()).entryList({".dump.json*"}, QDir::Hidden), QStringList());
        } else if (effect.isEmpty()) {
            QVERIFY(!test::Q(b.received()).contains("\x08\x6c\x93"));  // no write of any kind
        } else {
            const int group = effect.section('.', 0, 0).toInt();
            const int item = effect.section('.', 1).section('=', 0, 0).toInt();
            QCOMPARE(int(b.setting(uint8_t(group), uint8_t(item))), effect.section('=', 1).toInt());
        }
    }

    // The Firmware Update dialog's run: file checks and why a file is refused, the boot loader,
    // its messages. Ctrl+C (once stdout shows `stopAt`; "HUP:" a hang-up instead) before the
    // flash is touched ends at once; during the write (no terminal to ask) it stops between
    // blocks and says the box waits in its boot loader. A reader of stdout that goes away
    // ("| head -1") does not stop the run.
    void flash_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<BoxConfig>("box");
        QTest::addColumn<QString>("stopAt");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("download");    // the Download request reached the box
        QTest::addColumn<QString>("message");  // on stderr, parts split at '|'; empty: updated
        const QByteArray image = test::Image('4', test::Program(3000));
        const QString bin = WriteFile("image.bin", image);  // and as HEX by the standard tool
        QCOMPARE(QProcess::execute("objcopy", {"-I", "binary", "-O", "ihex", bin, bin + ".hex"}),
                 0);
        QFile hexFile(bin + ".hex");
        QVERIFY(hexFile.open(QIODevice::ReadOnly));
        const QByteArray hex = hexFile.readAll();
        const QByteArray big = test::Image('4', test::Program(20000));
        BoxConfig silent;
        silent.silent = true;
        BoxConfig vanishing = Loader();
        vanishing.vanishAtBlock = 3;
        QList<QByteArray> lines = hex.split('\n');  // the checksum of line 3 made wrong
        const qsizetype sum = lines[2].size() - (lines[2].endsWith('\r') ? 2 : 1);
        lines[2][sum] = lines[2][sum] == '0' ? '1' : '0';
        QTest::newRow("BIN") << image << Loader() << "" << 0 << true << "";
        QTest::newRow("HEX") << hex << Loader() << "" << 0 << true << "";
        QTest::newRow("stdout read by head -1")
            << image << Loader() << "| head -1" << 0 << true << "";
        QTest::newRow("HEX with a bad checksum on line 3")
            << lines.join('\n') << Loader() << "" << 5 << false
            << "Fail to convert the input from hex to bin!\n|firmware.bin: line 3: checksum ";
        QTest::newRow("silent box") << image << silent << "" << 4 << false
                                    << "Failed,check your device version!\n|does not answer";
        QTest::newRow("box goes away at block 3")
            << image << vanishing << "" << 6 << true
            << "Fail to write flash!\n|COM 210 (|) went away: unplugged or switched off; the box "
               "waits in its boot loader|run \"kestrowctl flash ";
        QTest::newRow("NAK at block 0")
            << image << Loader(true, 0) << "" << 6 << true << "Fail to write flash!";
        QTest::newRow("final status 41")  // after the last of the 40 blocks
            << image << Loader(true, -1, 39) << "" << 6 << true << "Fail to write flash!";
        QTest::newRow("not correct")
            << "CPUM5FW" + image.mid(7) << Loader() << "" << 5 << false
            << "Firmware file is not correct!\n|target digit (byte 5) is '5', not '3' or '4'";
        QTest::newRow("no file") << QByteArray() << Loader() << "" << 5 << false
                                 << "Please load file first!";
        QTest::newRow("Ctrl+C before Download")
            << big << Loader(false, -1, -1, true) << "COM port Connected!" << 1 << false
            << "nothing was written to the flash";
        QTest::newRow("Ctrl+C during the write")
            << big << Loader(true, -1, -1, true) << "Writing flash: 10 %" << 1 << true
            << "boot loader";
        QTest::newRow("hang-up during the write")
            << big << Loader(true, -1, -1, true) << "HUP:Writing flash: 10 %" << 1 << true
            << "Stopped on request|the box waits in its boot loader";
    }
    void flash() {
        QFETCH(QByteArray, file);
        QFETCH(BoxConfig, box);
        QFETCH(QString, stopAt);
        QFETCH(QString, message);
        sim::BoxSim& b = AddBox(box);
        const bool hangUp = stopAt.startsWith("HUP:");
        const bool piped = stopAt.startsWith('|');
        How how;
        how.whenOut = piped ? QString() : stopAt.mid(hangUp ? 4 : 0);
        how.signal = hangUp ? SIGHUP : SIGINT;
        how.shell = piped ? "CMD " + stopAt : QString();
        const Run run = Ctl("flash " + WriteFile("firmware.bin", file), QString::number(kCom), how);
        QTEST(run.code, "code");
        QTEST(b.downloadSize() != 0, "download");
        if (message.isEmpty()) {
            QVERIFY2(piped ? run.out == "File Size: 3013 byte.\n"
                           : run.out.endsWith("Writing flash: 100 %\nFirmware Updated!\n"),
                     qPrintable(run.out));
            QCOMPARE(test::Q(b.flash()), test::Program(3000));
        } else {
            for (const QString& part : message.split('|')) {
                QVERIFY2(run.err.contains(part), qPrintable(run.err));
            }
            QCOMPARE(b.resetCount(), 0);
        }
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
        BoxConfig silent;
        silent.silent = true;
        const QList<BoxConfig> two{BoxConfig{}, BoxConfig{}};
        const QList<BoxConfig> three{BoxConfig{}, BoxConfig{}, BoxConfig{}};
        const auto row = [](const char* tag, const QList<BoxConfig>& boxes, const char* command,
                            const char* env, int code, const char* output, const char* effect) {
            QTest::newRow(tag) << boxes << QString(command) << QString(env) << code
                               << QString(output) << QString(effect);
        };
        row("set on the boxes named", three, "set contrast 99 --port 210 --port COM211", "", 0,
            "COM 210: contrast set to 99\nCOM 211: contrast set to 99\n", "210:99 211:99 212:1");
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
        row("the worst exit", {BoxConfig{}, silent}, "set contrast 99 --port 210 --port 211", "", 4,
            "COM 210: contrast set to 99\nCOM 211: failed, exit 4: the box on COM 211 does not "
            "answer|kestrowctl: COM 211: the box on COM 211 does not answer",
            "210:99 211:1");
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
        row("dump of one box into a folder", {BoxConfig{}}, "dump DIR/ --port 210", "", 0,
            "settings written to DIR/COM210.json\n", "DIR");
        row("dump of two boxes to standard output", two, "dump --all", "", 2,
            "dump of 2 boxes writes a file for each: give a folder", "210:1 211:1");
        row("flash --all", {Loader(), Loader()}, "flash FIRMWARE --all", "", 0,
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
            .replace("SETTINGS",
                     WriteFile("several.json",
                               QString(kSettingsFile).arg(0).arg(R"({"contrast": 77})").toUtf8()))
            .replace("FIRMWARE", WriteFile("several.bin", test::Image('4', program)));
        How how;
        how.env = env.isEmpty() ? QStringList{} : QStringList{env};
        const Run run = Ctl(command, "", how);
        QTEST(run.code, "code");
        for (const QString& part : output.replace("DIR", dir).split('|', Qt::SkipEmptyParts)) {
            QVERIFY2(run.out.contains(part) || run.err.contains(part),
                     qPrintable(run.out + run.err));
        }
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
                QFile dumped(file);
                QVERIFY2(dumped.open(QIODevice::ReadOnly), qPrintable(file));
                QVERIFY(dumped.readAll().contains("\"contrast\": 1,"));
            } else if (effect == "flashed") {
                QCOMPARE(test::Q(b.flash()), program);
            } else {
                const QString held = QString("%1:%2").arg(kCom + int(i)).arg(b.setting(2, 1));
                QVERIFY2(effect.split(' ').contains(held), qPrintable(held));
            }
        }
    }

    // --json: one JSON document on stdout, its fields given as "path=JSON" (the value there)
    // or "path~text" (a text holding it), a path's parts split at '.' (array indices as
    // numbers), "path#=N" an array's size. A failure gives "error" and "exit" too.
    void json_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("port");  // "none": no --port
        QTest::addColumn<BoxConfig>("box");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("fields");  // split at '|'
        BoxConfig silent;
        silent.silent = true;
        BoxConfig newer;
        newer.newerModel = 1;
        const auto row = [](const char* tag, const char* command, const char* port,
                            const BoxConfig& box, int code, const char* fields) {
            QTest::newRow(tag) << QString(command) << QString(port) << box << code
                               << QString(fields);
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
        row("flash", "flash FIRMWARE --json", "", Loader(), 0,
            "outcome=\"Firmware Updated!\"|fileBytes=3013|programBytes=3000");
        row("status", "status --json", "", newer, 0, "versionText=\"V1.23.456\"|newerModel=true");
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
        row("status: a silent box", "status --json", "", silent, 4, "error~does not answer");
        row("detect: no box answers", "detect --json", "none", silent, 4,
            "error=\"no box answers the probe\"|ports.0.state~");
        row("load: refused", "load BROKEN --json", "", {}, 5,
            "error~refused; nothing was written|faults.0~contrast: 256 is out of range");
        row("set: refused", "set contrast 256 --json", "", {}, 2, "error~out of range");
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
        command
            .replace("SETTINGS",
                     WriteFile("json.json",
                               QString(kSettingsFile).arg(0).arg(R"({"contrast": 77})").toUtf8()))
            .replace("BROKEN",
                     WriteFile("broken.json",
                               QString(kSettingsFile).arg(0).arg(R"({"contrast": 256})").toUtf8()))
            .replace("FIRMWARE", WriteFile("json.bin", test::Image('4', test::Program(3000))));
        const Run run = Ctl(command, port == "none" ? QString() : QString::number(kCom));
        QTEST(run.code, "code");
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(run.out.toUtf8(), &error);
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(run.out));
        QJsonValue root = doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
        QFETCH(QString, fields);
        if (run.code != 0) {
            fields += QString("|exit=%1|error~").arg(run.code);
            QVERIFY(!run.err.isEmpty());
        }
        for (const QString& field : fields.split('|')) {
            const qsizetype cut = field.indexOf(QRegularExpression("#=|=|~"));
            QJsonValue v = root;
            for (const QString& part : field.left(cut).split('.')) {
                bool index = false;
                const int n = part.toInt(&index);
                v = index ? v[n] : v[part];
            }
            const QString want = field.mid(cut + (field[cut] == '#' ? 2 : 1));
            if (field[cut] == '#') {
                QCOMPARE(v.toArray().size(), want.toInt());
            } else if (field[cut] == '~') {
                QVERIFY2(v.isString() && v.toString().contains(want), qPrintable(field));
            } else {
                const QJsonValue expected =
                    QJsonDocument::fromJson(("[" + want + "]").toUtf8()).array()[0];
                QVERIFY2(v == expected, qPrintable(field + " in " + run.out));
            }
        }
        if (command.startsWith("set contrast 140")) {
            QVERIFY(b.WaitForQuiet(3000));
            QCOMPARE(int(b.setting(2, 1)), 140);
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
            how.steps.append({step.section('>', 0, 0), [&b, action] {
                                  BoxConfig c = b.config();
                                  c.silent = action == "silent";
                                  if (action == "silent" || action == "answer") {
                                      b.SetConfig(c);
                                  } else if (action.contains('=')) {
                                      b.SetSetting(uint8_t(action[0].digitValue()),
                                                   uint8_t(action[2].digitValue()),
                                                   uint8_t(action.section('=', 1).toInt()));
                                  }
                              }});
        }
        how.whenOut = script.section('>', -2, -2).section('|', -1);  // the last step's text
        how.signal = script.endsWith("TERM") ? SIGTERM : SIGINT;     // its action
        how.steps.removeLast();
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

    // Every command and option "kestrowctl --help" lists is in the man page, the README and
    // each completion file.
    void helpAgreesWithDocs_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("man page") << "docs/man/kestrowctl.1";
        QTest::newRow("README") << "README.md";
        QTest::newRow("bash completion") << "src/cli/kestrowctl.bash";
        QTest::newRow("zsh completion") << "src/cli/_kestrowctl";
        QTest::newRow("fish completion") << "src/cli/kestrowctl.fish";
    }
    void helpAgreesWithDocs() {
        QFETCH(QString, file);
        QFile f(QString(KESTROW_SOURCE_DIR) + "/" + file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        // roff writes "\-" for a minus, fish "-l port -s p" for --port and -p.
        const QString text = QString::fromUtf8(f.readAll())
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
            "source \"$1\"; shift; COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); _kestrowctl; "
            "printf '%s\\n' \"${COMPREPLY[@]}\"";
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", root_.path());
        env.insert("PATH", QFileInfo(KESTROWCTL).path() + ":" + env.value("PATH"));
        env.remove("KESTROW_PORT");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(root_.path());
        p.start("bash", QStringList{"-c", script, "bash",
                                    QString(KESTROW_SOURCE_DIR) + "/src/cli/kestrowctl.bash"} +
                            words);
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        QStringList offered =
            QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QTEST(offered, "offered");
    }

    // doctor on a made-up machine (--root): "path=text" a file, "path>target" a link below the
    // root, "path/" a folder; devices belong to group dialout, mode 0660. Each finding with its
    // fix; exit 3 when there is something to fix.
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
        for (const QString& line : machine) {
            const std::string entry = line.toStdString();
            const size_t cut = entry.find_first_of("=>");
            const std::filesystem::path path = root / entry.substr(0, cut);
            std::filesystem::create_directories(cut == std::string::npos ? path
                                                                         : path.parent_path());
            if (cut != std::string::npos && entry[cut] == '=') {
                std::ofstream(path) << entry.substr(cut + 1) << "\n";
            } else if (cut != std::string::npos) {
                std::filesystem::create_symlink(root / entry.substr(cut + 1), path);
            }
        }
        const group* dialout = ::getgrnam("dialout");
        QVERIFY(dialout);
        for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
            const bool device = e.path().parent_path() == root / "dev" && !e.is_directory();
            if (!e.is_symlink()) {
                QVERIFY(::chmod(e.path().c_str(), e.is_directory() ? 0755
                                                  : device         ? 0660
                                                                   : 0644) == 0);
            }
            QVERIFY(!device || ::lchown(e.path().c_str(), 0, dialout->gr_gid) == 0 ||
                    ::geteuid() != 0);
        }
        QVERIFY(::chmod(root.c_str(), 0755) == 0);
        if (nobody && ::geteuid() != 0) {
            QSKIP("changing the user needs root");
        }
        How how;
        how.nobody = nobody;
        const Run run = Ctl("doctor --root " + temp.path(), "", how);
        QTEST(run.code, "code");
        QFETCH(QString, report);
        for (const QString& part : report.split('|')) {
            QVERIFY2(run.out.contains(part), qPrintable(run.out));
        }
        QCOMPARE(run.err.isEmpty(), run.code == 0);
    }
};

QTEST_GUILESS_MAIN(TestKestrowctl)
#include "test_kestrowctl.moc"
