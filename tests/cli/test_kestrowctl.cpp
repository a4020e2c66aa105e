// kestrowctl as a script runs it: exit codes, stdout, stderr, and the exact frames the
// simulated box received.
#include <signal.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "DeviceLink.h"
#include "FirmwareTestSupport.h"
#include "Frames.h"
#include "TestBox.h"

using namespace kestrow;
using sim::BoxConfig;
using test::HexBytes;

Q_DECLARE_METATYPE(kestrow::sim::BoxConfig)

namespace {

constexpr int kCom = 210;  // the first box's number; others follow

struct Run {
    int code = -1;
    QString out;
    QString err;
};

BoxConfig Box(uint8_t portByte = 0x59, uint8_t model = 0, bool newer = false) {
    BoxConfig c;
    c.portByte = portByte;
    c.modelByte = model;
    c.newerModel = newer;
    return c;
}

QByteArray Hex(const Frame& f) {
    return HexBytes(f.view());
}

// The probe and the model question every named get and set starts with.
const QByteArray kIdentify = Hex(ProbeFrame()) + Hex(ReadSettingFrame(4, 4));

// The status refresh: probe, (4,1), (1,1) ... (3,6), (4,2), (4,4), then (4,2) again, and (4,3)
// for a newer model.
QByteArray RefreshWire(bool newer) {
    QByteArray wire = Hex(ProbeFrame()) + Hex(ReadSettingFrame(4, 1));
    for (uint8_t g = 1; g <= 3; ++g) {
        for (uint8_t i = 1; i <= (g == 1 ? 5 : g == 2 ? 8 : 6); ++i) {
            wire += Hex(ReadSettingFrame(g, i));
        }
    }
    wire += Hex(ReadSettingFrame(4, 2)) + Hex(ReadSettingFrame(4, 4)) + Hex(ReadSettingFrame(4, 2));
    return newer ? wire + Hex(ReadSettingFrame(4, 3)) : wire;
}

// Settings and GenLock writes the box received.
int Writes(const sim::BoxSim& box) {
    int n = 0;
    for (const auto& f : box.frames()) {
        n += f.kind == sim::FrameKind::Settings && f.bytes.size() == 8 ? 1 : 0;
    }
    return n;
}

}  // namespace

class TestKestrowctl : public QObject {
    Q_OBJECT

    QTemporaryDir root_;
    std::vector<std::unique_ptr<sim::BoxSim>> boxes_;

    [[nodiscard]] QString PortsDir() const { return root_.path() + "/kestrow/ports"; }

    sim::BoxSim& AddBox(const BoxConfig& config = Box()) {
        auto box = sim::BoxSim::Start(config);
        if (!box || !box->LinkAs(PortsDir().toStdString(), kCom + int(boxes_.size()))) {
            qFatal("no simulated box");
        }
        boxes_.push_back(std::move(box));
        return *boxes_.back();
    }

    // Runs kestrowctl; `whenOut`: once stdout holds that text, send SIGINT.
    Run Ctl(QStringList args, const QString& whenOut = {}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", root_.path());
        p.setProcessEnvironment(env);
        p.start(KESTROWCTL, args);
        p.closeWriteChannel();
        QByteArray out;
        while (!whenOut.isEmpty() && p.state() != QProcess::NotRunning &&
               !out.contains(whenOut.toUtf8())) {
            p.waitForReadyRead(100);
            out += p.readAllStandardOutput();
        }
        if (!whenOut.isEmpty()) {
            ::kill(static_cast<pid_t>(p.processId()), SIGINT);
        }
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
        }
        out += p.readAllStandardOutput();
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(out),
                QString::fromUtf8(p.readAllStandardError())};
    }
    Run Ctl(const QString& command, const QString& port = QString::number(kCom)) {
        return Ctl(QProcess::splitCommand(command) << "--port" << port);
    }

  private slots:
    void initTestCase() {
        QVERIFY(root_.isValid());
        QVERIFY(QDir().mkpath(PortsDir()));
    }
    void cleanup() { boxes_.clear(); }

    // Only the ports of this test's folder count; the machine's own may be listed too.
    void detect_data() {
        QTest::addColumn<QList<BoxConfig>>("boxes");
        QTest::addColumn<QStringList>("states");
        QTest::addColumn<int>("code");
        BoxConfig loader = Box();
        loader.startInBootLoader = true;
        BoxConfig silent = Box();
        silent.silent = true;
        QTest::newRow("none") << QList<BoxConfig>{} << QStringList{} << 4;
        QTest::newRow("one") << QList<BoxConfig>{Box()} << QStringList{"answers"} << 0;
        QTest::newRow("two and a silent port")
            << QList<BoxConfig>{Box(), loader, silent}
            << QStringList{"answers", "boot loader", "no answer"} << 0;
    }
    void detect() {
        QFETCH(QList<BoxConfig>, boxes);
        for (const BoxConfig& c : boxes) {
            AddBox(c);
        }
        const Run run = Ctl({"detect", "--json"});
        QTEST(run.code, "code");
        QStringList states;
        for (const QJsonValue v : QJsonDocument::fromJson(run.out.toUtf8()).array()) {
            if (v["path"].toString().startsWith(PortsDir())) {
                QCOMPARE(v["name"].toString(), QString("COM %1").arg(kCom + states.size()));
                states << v["state"].toString();
            }
        }
        QTEST(states, "states");
    }

    // The panel's refresh, frame for frame; the report names every value.
    void status_data() {
        QTest::addColumn<bool>("newer");
        QTest::addColumn<QString>("line");  // a line of the text report
        QTest::newRow("older") << false << "system-setting-a      4.2    2";
        QTest::newRow("newer") << true << "auto-sleep            4.2    2  2 min";
    }
    void status() {
        QFETCH(bool, newer);
        sim::BoxSim& box = AddBox(Box(0x05, 0, newer));
        box.SetSetting(4, 2, 2);
        box.SetSetting(4, 3, 1);
        const Run text = Ctl("status");
        QCOMPARE(text.code, 0);
        QCOMPARE(test::WireHex(box), RefreshWire(newer));
        QVERIFY2(text.out.contains(QTest::currentDataTag() + QString(" model")),
                 qPrintable(text.out));
        QVERIFY(
            text.out.contains("input     Component  HD(1080p)60\noutput    HDMI  HD(1080p)60\n"));
        QFETCH(QString, line);
        QVERIFY2(text.out.contains(line), qPrintable(text.out));
        const QJsonObject json =
            QJsonDocument::fromJson(Ctl("status --json").out.toUtf8()).object();
        QCOMPARE(json["newerModel"].toBool(), newer);
        QCOMPARE(json["values"].toArray().size(), newer ? 22 : 21);
        QCOMPARE(json["values"][3]["name"].toString(), "audio-source");
        QCOMPARE(json["values"][3]["value"].toString(), "SPDIF");
    }

    // set sends the dialog's frame after the identify exchange; get then shows the value.
    void setAndGet_data() {
        QTest::addColumn<BoxConfig>("box");
        QTest::addColumn<QString>("set");
        QTest::addColumn<QByteArray>("write");  // the frames after the identify exchange
        QTest::addColumn<QString>("shown");     // what get prints afterwards
        const QByteArray hPeriod = Hex(ReadGenlockFrame(4));
        QTest::newRow("number") << Box() << "contrast 128" << QByteArray("086c930002018076")
                                << "128";
        QTest::newRow("offset") << Box() << "v-shift -7" << QByteArray("086c930003062bc5") << "-7";
        QTest::newRow("choice") << Box() << "edge-enhance off" << Hex(WriteSettingFrame(2, 7, 3))
                                << "Off";
        QTest::newRow("short form") << Box(0x50) << "output-resolution 1080p60"
                                    << Hex(WriteSettingFrame(1, 1, 12)) << "HD(1080p)60";
        QTest::newRow("VGA list") << Box() << "output-resolution 1440x900p60"
                                  << QByteArray("086c930001011ed9") << "1440x900p60";
        QTest::newRow("VGA mode") << Box() << "output-mode YCbCr422"
                                  << Hex(WriteSettingFrame(1, 2, 2)) << "YCbCr422";
        QTest::newRow("auto-sleep") << Box(0x59, 0, true) << "auto-sleep 5 min"
                                    << Hex(WriteSettingFrame(4, 2, 5)) << "5 min";
        QTest::newRow("clock mode") << Box(0x95, 1) << "clock-mode FrameLock B(Genlock)"
                                    << Hex(WriteSettingFrame(4, 2, 2)) << "FrameLock B(Genlock)";
        QTest::newRow("genlock") << Box() << "genlock-h -1"
                                 << hPeriod +
                                        "086c9349000897"
                                        "11"
                                 << "-1";
        QTest::newRow("genlock v")
            << Box() << "genlock-v 524" << Hex(ReadGenlockFrame(5)) + "086c934901020ca1"
            << "524";
        QTest::newRow("raw") << Box() << "2.1 77" << Hex(WriteSettingFrame(2, 1, 77)) << "77";
    }
    void setAndGet() {
        QFETCH(BoxConfig, box);
        QFETCH(QString, set);
        sim::BoxSim& b = AddBox(box);
        const Run run = Ctl("set " + set);
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QFETCH(QByteArray, write);
        const QByteArray wire = set.startsWith("2.1") ? write : kIdentify + write;
        QVERIFY(b.WaitForReceived(size_t(wire.size() / 2), 3000));  // the box reads after exit
        QCOMPARE(test::WireHex(b), wire);
        const Run get = Ctl("get " + set.section(' ', 0, 0));
        QCOMPARE(get.code, 0);
        QTEST(get.out.trimmed(), "shown");
    }

    // What the dialogs refuse, and ports and boxes that are not there: nothing is written.
    void refusals_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("port");  // empty: the first box's
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("usage") << "frobnicate"
                               << "" << 2 << "subcommand";
        QTest::newRow("unknown") << "set brightnes 5"
                                 << "" << 2 << "unknown setting \"brightnes\"";
        QTest::newRow("range") << "set contrast 256"
                               << "" << 2
                               << "contrast: 256 is out of range; Contrast (0~255) takes 0 to 255";
        QTest::newRow("offset range") << "set h-shift -101"
                                      << "" << 2 << "takes -100 to 100";
        QTest::newRow("not a number") << "set sharpness 5x"
                                      << "" << 2 << "\"5x\" is not a number";
        QTest::newRow("choice") << "set color-tone Purple"
                                << "" << 2
                                << "no choice \"Purple\"; this box offers Off, Skin, Green";
        QTest::newRow("not offered") << "set audio-source SPDIF"
                                     << "" << 2 << "this box does not offer Audio Source";
        QTest::newRow("genlock") << "set genlock-h 1101"
                                 << "" << 2
                                 << "H-Sync Delay takes -1100 to 1100 (the box's period is 2200)";
        QTest::newRow("raw byte") << "set 2.1 256"
                                  << "" << 2 << "a raw value is a byte";
        QTest::newRow("port text") << "get contrast"
                                   << "COMX" << 2 << "names no port";
        QTest::newRow("no device") << "get contrast"
                                   << "COM 77" << 3 << "cannot be opened";
        QTest::newRow("busy") << "set contrast 1"
                              << "busy" << 3 << "Device or resource busy";
        QTest::newRow("silent") << "set contrast 1"
                                << "silent" << 4 << "does not answer";
        QTest::newRow("reset off a terminal") << "reset"
                                              << "" << 2 << "give --yes";
    }
    void refusals() {
        QFETCH(QString, port);
        BoxConfig config = Box();
        config.silent = port == "silent";
        sim::BoxSim& box = AddBox(config);
        SerialPort holder;
        if (port == "busy") {
            SetPortsDirectoryOverride(PortsDir().toStdString());
            QVERIFY(OpenBoxPort(holder, kCom));
        }
        QFETCH(QString, command);
        const bool named = port.isEmpty() || port == "busy" || port == "silent";
        const Run run = Ctl(command, named ? QString::number(kCom) : port);
        SetPortsDirectoryOverride({});
        QTEST(run.code, "code");
        QFETCH(QString, message);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
        QCOMPARE(Writes(box), 0);
    }

    // dump, factory reset, load, dump again: the same file; the reset writes the item the System
    // dialog writes for the model.
    void roundTrip_data() {
        QTest::addColumn<bool>("newer");
        QTest::newRow("older") << false;
        QTest::newRow("newer") << true;
    }
    void roundTrip() {
        QFETCH(bool, newer);
        sim::BoxSim& box = AddBox(Box(0x95, 0, newer));
        const std::pair<int, int> tuned[] = {{21, 7}, {23, 250}, {27, 1}, {35, 3}, {42, 4}};
        for (auto [at, value] : tuned) {
            box.SetSetting(uint8_t(at / 10), uint8_t(at % 10), uint8_t(value));
        }
        box.SetGenlock(2, 2100);
        const QString a = root_.filePath("a.json");
        QCOMPARE(Ctl("dump " + a).code, 0);
        box.ClearReceived();
        QCOMPARE(Ctl("reset --yes").code, 0);
        QVERIFY(box.WaitForReceived(20, 3000));
        QCOMPARE(test::WireHex(box), kIdentify + Hex(WriteSettingFrame(4, newer ? 5 : 4, 1)));
        QCOMPARE(box.setting(2, 1), 128);  // the factory contrast again
        const Run load = Ctl("load " + a);
        QVERIFY2(load.code == 0, qPrintable(load.err));
        QCOMPARE(box.setting(2, 3), 250);
        QCOMPARE(box.genlock(2), 2100);
        const Run again = Ctl("dump");
        QFile file(a);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(again.out.toUtf8(), file.readAll());
        QVERIFY(again.out.contains(newer ? "\"auto-sleep\": \"4 min\"" : "\"newerModel\": false"));
    }

    // A file with any fault is refused before anything is written.
    void brokenLoad_data() {
        QTest::addColumn<QByteArray>("settings");  // the "settings" object, or a whole file
        QTest::addColumn<QString>("message");
        QTest::newRow("not JSON") << QByteArray("{\"contrast\": 1,}") << "parse error";
        QTest::newRow("unknown") << QByteArray("{\"contrast\": 1, \"factory-reset\": 1}")
                                 << "unknown setting \"factory-reset\"";
        QTest::newRow("range") << QByteArray("{\"contrast\": 1, \"v-shift\": 51}")
                               << "v-shift: 51 is out of range";
        QTest::newRow("type") << QByteArray("{\"contrast\": \"1\"}")
                              << "contrast: \"1\" is not a number";
        QTest::newRow("not offered") << QByteArray("{\"contrast\": 1, \"edid-audio-ch\": \"2Ch\"}")
                                     << "does not offer EDID Audio Ch#";
        QTest::newRow("model") << QByteArray("model") << "the file is for model byte 1";
    }
    void brokenLoad() {
        QFETCH(QByteArray, settings);
        sim::BoxSim& box = AddBox(Box(0x95));
        QByteArray text = "{\"format\": \"kestrow-settings\", \"version\": 1, \"model\": " +
                          QByteArray(settings == "model" ? "1" : "0") +
                          ", \"newerModel\": false, \"settings\": " +
                          (settings == "model" ? QByteArray("{}") : settings) + "}";
        QFile file(root_.filePath("broken.json"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();
        const Run run = Ctl("load " + file.fileName());
        QCOMPARE(run.code, 5);
        QFETCH(QString, message);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QVERIFY(run.err.contains("refused; nothing was written"));
        QCOMPARE(Writes(box), 0);
    }

    // The Firmware Update dialog's run: file checks, the boot loader, its messages.
    void flash_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("nakBlock");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");  // on stderr; empty: "Firmware Updated!" on stdout
        const QByteArray image = test::Image('4', test::Program(3000));
        QByteArray hex;
        for (int at = 0; at < image.size(); at += 32) {
            const QByteArray chunk = image.mid(at, 32);
            QByteArray record =
                char(chunk.size()) + QByteArray(1, char(at >> 8)) + char(at) + '\0' + chunk;
            char sum = 0;
            for (char c : record) {
                sum = char(sum - c);
            }
            hex += ":" + (record + sum).toHex().toUpper() + "\r\n";
        }
        hex += ":00000001FF\r\n";
        QTest::newRow("BIN") << image << -1 << 0 << "";
        QTest::newRow("HEX") << hex << -1 << 0 << "";
        QTest::newRow("NAK") << image << 5 << 6 << "Fail to write flash!";
        QTest::newRow("not correct")
            << "CPUM5FW" + image.mid(7) << -1 << 5 << "Firmware file is not correct!";
        QTest::newRow("no file") << QByteArray() << -1 << 5 << "Please load file first!";
    }
    void flash() {
        QFETCH(QByteArray, file);
        QFETCH(int, nakBlock);
        BoxConfig config = Box();
        config.startInBootLoader = true;
        config.nakBlock = nakBlock;
        sim::BoxSim& box = AddBox(config);
        const QString path = root_.filePath("firmware.bin");
        QFile::remove(path);
        if (!file.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(file);
        }
        const Run run = Ctl("flash " + path);
        QTEST(run.code, "code");
        QFETCH(QString, message);
        if (message.isEmpty()) {
            QVERIFY(run.out.endsWith("Writing flash: 100 %\nFirmware Updated!\n"));
            QCOMPARE(test::Q(box.flash()), test::Program(3000));
        } else {
            QVERIFY2(run.err.contains(message), qPrintable(run.err));
            QCOMPARE(box.resetCount(), 0);
        }
    }

    // Ctrl+C before the flash is touched ends at once; during the write (no terminal to ask) it
    // stops between blocks and says the box waits in its boot loader.
    void interrupt_data() {
        QTest::addColumn<bool>("inBootLoader");
        QTest::addColumn<QString>("when");
        QTest::addColumn<QString>("message");
        QTest::newRow("before Download") << false << "COM port Connected!"
                                         << "nothing was written to the flash";
        QTest::newRow("during the write") << true << "Writing flash: 10 %"
                                          << "boot loader";
    }
    void interrupt() {
        QFETCH(bool, inBootLoader);
        BoxConfig config = Box();
        config.startInBootLoader = inBootLoader;
        config.paced = true;
        sim::BoxSim& box = AddBox(config);
        const QString path = root_.filePath("paced.bin");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(test::Image('4', test::Program(20000)));
        f.close();
        QFETCH(QString, when);
        const Run run = Ctl(QStringList{"flash", path, "--port", QString::number(kCom)}, when);
        QCOMPARE(run.code, 1);
        QFETCH(QString, message);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QCOMPARE(box.resetCount(), 0);
        QCOMPARE(box.downloadSize() != 0, inBootLoader);
        QVERIFY(box.flash().size() < 20000);
    }

    // --port in every form; --trace shows the frames.
    void portForms_data() {
        QTest::addColumn<QString>("port");
        QTest::newRow("COM n") << QString("COM %1").arg(kCom);
        QTest::newRow("COMn") << QString("com%1").arg(kCom);
        QTest::newRow("link path") << "link";
        QTest::newRow("device path") << "slave";
    }
    void portForms() {
        QFETCH(QString, port);
        sim::BoxSim& box = AddBox();
        if (port == "link") {
            port = PortsDir() + QString("/COM%1").arg(kCom);
        } else if (port == "slave") {
            port = QString::fromStdString(box.slavePath());
        }
        const Run run = Ctl(QStringList{"set", "contrast", "9", "--trace", "--port", port});
        QCOMPARE(run.code, 0);
        QVERIFY(box.WaitForReceived(20, 3000));
        QCOMPARE(box.setting(2, 1), 9);
        QVERIFY2(run.err.contains("<-  05 6C 93 59 00\n"), qPrintable(run.err));
        QVERIFY(run.err.contains("->  08 6C 93 00 02 01 09 ED\n"));
    }
};

QTEST_GUILESS_MAIN(TestKestrowctl)
#include "test_kestrowctl.moc"
