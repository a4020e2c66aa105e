// kestrowctl's commands against one simulated box: status, dump, reset and load as a round
// trip, set and get on every kind of setting and every form of --port, flash as the Firmware
// Update dialog runs it, and what they refuse: the exit code, the message, and the exact frames
// the box received (none when refused).
#include <QtTest>

#include "device/DeviceLink.h"
#include "tests/cli/CliTestSupport.h"

using namespace kestrow;
using namespace kestrow::test;
using sim::BoxConfig;

class TestKestrowctlCommands : public CliTest {
    Q_OBJECT

  private slots:
    void cleanup() { boxes_.clear(); }

    // status: the panel's refresh frame for frame and the System dialog's version read, the
    // report naming every value and the version text. Then dump, factory reset (the item the
    // System dialog writes for the model), load, dump again: the same file (through standard
    // input for the newer model). The GenLock delays only where the panel reaches them (model
    // byte 1).
    void statusAndRoundTrip_data() {
        QTest::addColumn<bool>("newer");
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("report");  // parts of the status report, split at '|'
        QTest::addColumn<QByteArray>("reset");
        QTest::addColumn<QByteArray>("versionRead");  // (4,3) older, (4,4) newer, none for 1
        QTest::newRow("older") << false << 0
                               << "system-setting-a      4.2    4  code 4 (no dialog shows this "
                                  "System item)\n|\nfirmware  V2.00.777\n|model     0  older model"
                               << QByteArray("086c9300040401f0") << QByteArray("076c93010403f2");
        QTest::newRow("newer") << true << 0
                               << "auto-sleep            4.2    4  4 min|\nfirmware  V3.10.001\n|"
                                  "model     0  newer model"
                               << QByteArray("086c9300040501ef") << QByteArray("076c93010404f1");
        QTest::newRow("model byte 1, GenLock")
            << false << 1
            << "clock-mode            4.2    2  FrameLock B(Genlock)|\nfirmware  V1.001\n|"
               "model     1  older model"
            << QByteArray("086c9300040401f0") << QByteArray();
    }
    void statusAndRoundTrip() {
        QFETCH(bool, newer);
        QFETCH(int, model);
        sim::BoxSim& box = AddBox({.portByte = 0x05,  // Component in, HDMI out
                                   .modelByte = uint8_t(model),
                                   .newerModel = newer,
                                   .versionText = newer ? "V3.10.001" : "V2.00.777"});
        SetMemory(box, QString("2.1=7 2.3=250 2.7=1 3.5=3 4.2=%1 4.3=1").arg(model == 1 ? 2 : 4));
        box.SetGenlock(2, 2100);
        const Run text = Ctl("status");
        QCOMPARE(text.code, 0);
        QFETCH(QByteArray, versionRead);
        QCOMPARE(test::WireHex(box), test::RefreshWire(newer ? 25 : 24) + versionRead);
        QFETCH(QString, report);
        QVERIFY2(HoldsAll(text.out, report + "|input     Component  HD(1080p)60\noutput    HDMI  "
                                             "HD(1080p)60\n"),
                 qPrintable(text.out));

        const QString a = root_.filePath("a.json");
        QCOMPARE(Ctl("dump " + a).code, 0);
        box.ClearReceived();
        QCOMPARE(Ctl("reset --yes").code, 0);
        QVERIFY(box.WaitForReceived(20, 3000));
        QFETCH(QByteArray, reset);
        QCOMPARE(test::WireHex(box), kIdentify + reset);
        QCOMPARE(box.setting(2, 1), 128);  // the factory contrast again
        // The newer model's file through standard input.
        const Run load = newer ? Ctl("load -", QString::number(kCom), {.shell = "CMD < " + a})
                               : Ctl("load " + a);
        QVERIFY2(load.code == 0, qPrintable(load.err));
        QCOMPARE(box.setting(2, 3), 250);
        QCOMPARE(box.genlock(2), model == 1 ? 2100 : 0);  // the reset left 0
        const Run again = Ctl("dump");
        QCOMPARE(again.out.toUtf8(), ReadAll(a));
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
        // A choice this box offers (HDMI in): refused were its ports not taken into account.
        row("choice on offer", "edid-audio-ch 7.1ch", "210", "086c9300010501f2", "7.1Ch");
        row("genlock, period read first", "genlock-h -1", "210", "066c934904ae086c934900089711",
            "-1", 1);
        row("raw byte outside the setting's range, forced", "2.8 200 --force", "210",
            "086c93000208c827", "200");
    }
    void setAndGet() {
        QFETCH(QString, set);
        QFETCH(QString, port);
        QFETCH(QByteArray, write);
        QFETCH(int, model);
        sim::BoxSim& b = AddBox({.modelByte = uint8_t(model)});
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
    // with a fault: the message (parts split at '|'), and nothing is written
    // unless `effect` names the contrast the box then holds ("contrast=1").
    void refusals_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("port");  // empty: the first box's
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::addColumn<BoxConfig>("box");
        QTest::addColumn<QString>("effect");
        const auto row = [](const char* tag, const char* command, const char* port, int code,
                            const QString& message, const BoxConfig& box = {},
                            const char* effect = "") {
            QTest::newRow(tag) << QString(command) << QString(port) << code << message << box
                               << QString(effect);
        };
        // The panel reaches the GenLock dialog on model byte 1 only. A box without GenLock
        // answers none of its reads; one that answers some lost a reply.
        const BoxConfig noGenlock{.modelByte = 1,
                                  .unanswered = {{0x49, 2}, {0x49, 3}, {0x49, 4}, {0x49, 5}}};
        const BoxConfig genlockLost{.modelByte = 1, .unanswered = {{0x49, 5}}};
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
            "H-Sync Delay takes -1100 to 1100 (the box's period is 2200)", {.modelByte = 1});
        row("genlock off model byte 1", "set genlock-h 5", "", 2,
            "genlock-h: this box does not offer H-Sync Delay (only boxes whose model byte is 1)");
        row("dump: GenLock unanswered", "dump FILE", "", 0,
            "genlock-h: the box does not answer its GenLock reads; left out", noGenlock);
        row("dump: a GenLock reply lost", "dump FILE", "", 4, "does not answer", genlockLost);
        // A newer model whose reply to the model question is lost.
        const BoxConfig modelLost{.newerModel = 6, .unanswered = {{4, 4}}};
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
        row("no device", "get contrast", "COM 77", 3,
            "COM 77 (|) cannot be opened: no such device (its adapter may be unplugged); "
            "\"kestrowctl detect\" lists the ports there are");
        row("busy", "set contrast 1", "busy", 3,
            "Device or resource busy|cannot be opened: another program holds it: process PID "
            "(PROGRAM)");
        // The simulated box keeps its end of the line open: the holder found is this test.
        row("silent", "set contrast 1", "silent", 4,
            "the box on COM 210 does not answer; DEVICE is also open in process PID "
            "(PROGRAM), which may take its replies");
        // A port the user may not open: the device, its group and the remedy.
        row("permission denied", "nobody:get contrast", "device", 3,
            "DEVICE cannot be opened: permission denied; DEVICE belongs to group dialout, which "
            "you are not in: sudo usermod -aG dialout $USER, then log out and in again");
        row("permission denied in a search", "nobody:status", "none", 3,
            "no box answers on any COM port (|COM 210 cannot open|: permission denied; DEVICE "
            "belongs to group dialout");
        row("detect: permission denied", "nobody:detect", "none", 3,
            "no box answers the probe; |COM 210 (|) cannot be opened: permission denied; DEVICE "
            "belongs to group dialout, which you are not in: sudo usermod");
        // Without USB ids doctor has no udev rule to print: none is promised.
        row("permission denied, owner only", "nobody:get contrast", "owner-only", 3,
            "DEVICE cannot be opened: permission denied; DEVICE (mode 0600) opens for its owner "
            "only: sudo chgrp dialout DEVICE && sudo chmod 0660 DEVICE (until the system starts "
            "again)");
        // Switched off after the identify exchange: said once, in words, and what is left.
        row("goes away", "get contrast", "", 4,
            "kestrowctl: Failed in call to read: Input/output error\n"
            "kestrowctl: COM 210 (|/COM210) went away: unplugged or switched off; nothing was "
            "written\n",
            GoneAt(2));
        // At the model question: an older model stays silent there, a device gone says nothing.
        row("goes away at the model question", "dump FILE", "", 4,
            "went away: unplugged or switched off", GoneAt(1), "FILE kept");
        row("status: boot loader", "status", "", 4,
            "the box on COM 210 waits in its boot loader|\"kestrowctl flash FILE\"", kLoader);
        row("get: boot loader", "get 2.1", "", 4, "waits in its boot loader", kLoader);
        row("search: boot loader", "get contrast", "none", 4,
            "the box on COM 210 waits in its boot loader", kLoader);
        row("reset off a terminal", "reset", "", 2, "give --yes");
        row("reset: Ctrl+C at the question", "tty:reset", "", 1, "nothing was sent");
        // A settings file with any fault: its "settings" follow "load" ("model": another model's).
        row("load: not JSON", "load {\"contrast\": 1,}", "", 5, "parse error");
        row("load: a number beyond a double", "load {\"contrast\": 1e99999}", "", 5,
            "number overflow parsing '1e99999'");
        // A value of 20 MiB ("LONG") is quoted short, with its length.
        row("load: a text 20 MiB long", "load {\"contrast\": \"LONG\"}", "", 5,
            "contrast: \"" + QString(60, 'x') +
                "...\" (20971520 bytes) is not a number; Contrast (0~255) takes");
        row("load: a text 20 MiB long, not closed", "load {\"contrast\": \"LONG}", "", 5,
            "missing closing quote; last read: '\"" + QString(59, 'x') + "...' (20971523 bytes)");
        row("load: unknown", "load {\"contrast\": 1, \"factory-reset\": 1}", "", 5,
            "unknown setting \"factory-reset\"");
        row("load: model", "load:1 {}", "", 5, "the file is for model byte 1");
        row("load: a name twice", "load {\"contrast\": 1, \"contrast\": 2}", "", 5,
            "\"contrast\" is named twice in one object");
        // The setting checks that need no box are listed beside a faulty header.
        row("load: header and settings", "load:-1 {\"contrast\": 256, \"color-tone\": \"Blue\"}",
            "", 5,
            "\"model\" must be the model byte|contrast: 256 is out of range|no choice \"Blue\"");
        row("load: the read-back unanswered", "load {\"contrast\": 1}", "", 4,
            "1 setting written to COM 210, but the read-back did not answer: the box on COM 210 "
            "does not answer",
            {.unanswered = {{4, 1}}}, "contrast=1");  // the refresh's first query
    }
    void refusals() {
        QFETCH(QString, port);
        QFETCH(BoxConfig, box);
        box.silent = port == "silent";
        sim::BoxSim& b = AddBox(box);
        SerialPort holder;
        if (port == "busy") {
            QVERIFY(OpenBoxPort(holder, ResolvePort(kCom, PortsDir().toStdString())));
        }
        QFETCH(QString, command);
        const How how{.shell = command.startsWith("ulimit:") ? "ulimit -f 0; CMD" : "",
                      .tty = command.startsWith("tty:"),
                      .nobody = command.startsWith("nobody:"),
                      .steps = {{"Are you sure", Send(SIGINT)}}};  // asked on a terminal only
        command = command.section(':', how.tty || how.nobody || !how.shell.isEmpty() ? 1 : 0);
        QFETCH(QString, message);
        const QString device = QString::fromStdString(b.slavePath());
        message.replace("DEVICE", device)
            .replace("PID", QString::number(getpid()))  // this test holds the port, its name cut
            .replace("PROGRAM", QCoreApplication::applicationName().left(15));  // as in comm
        if (how.nobody) {  // a device of group dialout that the user may not open
            if (::geteuid() != 0) {
                QSKIP("changing the user needs root");
            }
            QVERIFY(GiveToDialout(qPrintable(device), port == "owner-only" ? 0600 : 0660));
            for (const QString& dir : {root_.path(), root_.path() + "/kestrow", PortsDir()}) {
                QVERIFY(::chmod(qPrintable(dir), 0755) == 0);  // the links are seen
            }
        }
        const QByteArray kept = "{\"kept\": true}\n";  // what FILE held before
        command.replace("FILE", WriteFile("dump.json", kept));
        const bool load = command.startsWith("load");
        if (load) {  // "load SETTINGS" for model byte 0, "load:M SETTINGS" for M
            const int model =
                command.startsWith("load:") ? command.section(' ', 0, 0).mid(5).toInt() : 0;
            command =
                "load " + WriteFile("broken.json", SettingsFile(model, command.section(' ', 1))
                                                       .replace("LONG", QByteArray(20 << 20, 'x')));
        }
        const QString given = port == "none"                             ? QString()
                              : port == "device" || port == "owner-only" ? device
                              : port.startsWith("COM") || port == "\"\"" ? port
                                                                         : QString::number(kCom);
        const Run run = Ctl(command, given, how);
        QTEST(run.code, "code");
        QVERIFY2(HoldsAll(run.err, message), qPrintable(run.err.left(4000)));  // not 20 MiB
        for (const QString& line : run.err.split('\n', Qt::SkipEmptyParts)) {
            QVERIFY2(line.startsWith("kestrowctl: "), qPrintable(line));
        }
        QVERIFY2(run.err.count("Failed in call to") <= 1, qPrintable(run.err));
        QVERIFY(!load || run.code != 5 || run.err.contains("refused; nothing was written"));
        QVERIFY(run.out.isEmpty() || how.tty || command == "detect");  // detect lists the ports
        QFETCH(QString, effect);
        if (effect == "FILE kept") {
            QCOMPARE(ReadAll(root_.filePath("dump.json")), kept);
            QCOMPARE(QDir(root_.path()).entryList({".dump.json*"}, QDir::Hidden), QStringList());
        } else if (effect.isEmpty()) {
            QVERIFY(!test::Q(b.received()).contains("\x08\x6c\x93"));  // no write of any kind
        } else {
            QCOMPARE("contrast=" + QString::number(b.setting(2, 1)), effect);
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
        const QByteArray hex = ReadAll(bin + ".hex");
        const QByteArray big = test::Image('4', test::Program(20000));
        const BoxConfig silent{.silent = true};
        const BoxConfig vanishing{.startInBootLoader = true, .vanishAtBlock = 3};
        QList<QByteArray> lines = hex.split('\n');  // the checksum of line 3 made wrong
        const qsizetype sum = lines[2].size() - (lines[2].endsWith('\r') ? 2 : 1);
        lines[2][sum] = lines[2][sum] == '0' ? '1' : '0';
        const auto row = [](const char* tag, const QByteArray& file, const BoxConfig& box,
                            const char* stopAt, int code, bool download, const char* message) {
            QTest::newRow(tag) << file << box << QString(stopAt) << code << download
                               << QString(message);
        };
        row("BIN", image, kLoader, "", 0, true, "");
        row("stdout read by head -1", image, kLoader, "| head -1", 0, true, "");
        row("HEX with a bad checksum on line 3", lines.join('\n'), kLoader, "", 5, false,
            "Fail to convert the input from hex to bin!\n|firmware.bin: line 3: checksum ");
        row("silent box", image, silent, "", 4, false,
            "Failed,check your device version!\n|does not answer");
        row("box goes away at block 3", image, vanishing, "", 6, true,
            "Fail to write flash!\n|COM 210 (|) went away: unplugged or switched off; the box "
            "waits in its boot loader|run \"kestrowctl flash ");
        row("box goes away after the boot request", image, GoneAt(0), "", 4, false,
            "Failed,check your device version!\n|COM 210 (|) went away: unplugged or switched "
            "off; the box waits in its boot loader|run \"kestrowctl flash ");
        row("not correct", "CPUM5FW" + image.mid(7), kLoader, "", 5, false,
            "Firmware file is not correct!\n|target digit (byte 5) is '5', not '3' or '4'");
        row("no file", QByteArray(), kLoader, "", 5, false, "Please load file first!");
        row("Ctrl+C before Download", big, {.paced = true}, "COM port Connected!", 1, false,
            "nothing was written to the flash");
        row("Ctrl+C during the write", big, {.paced = true, .startInBootLoader = true},
            "Writing flash: 10 %", 1, true, "boot loader");
        row("hang-up during the write", big, {.paced = true, .startInBootLoader = true},
            "HUP:Writing flash: 10 %", 1, true,
            "Stopped on request|the box waits in its boot loader");
    }
    void flash() {
        QFETCH(QByteArray, file);
        QFETCH(BoxConfig, box);
        QFETCH(QString, stopAt);
        QFETCH(QString, message);
        sim::BoxSim& b = AddBox(box);
        const bool hangUp = stopAt.startsWith("HUP:");
        const bool piped = stopAt.startsWith('|');
        How how{.shell = piped ? "CMD " + stopAt : QString()};
        if (!stopAt.isEmpty() && !piped) {
            how.steps = {{stopAt.mid(hangUp ? 4 : 0), Send(hangUp ? SIGHUP : SIGINT)}};
        }
        const Run run = Ctl("flash " + WriteFile("firmware.bin", file), QString::number(kCom), how);
        QTEST(run.code, "code");
        QTEST(b.downloadSize() != 0, "download");
        if (message.isEmpty()) {
            QVERIFY2(piped ? run.out == "File Size: 3013 byte.\n"
                           : run.out.endsWith("Writing flash: 100 %\nFirmware Updated!\n"),
                     qPrintable(run.out));
            QCOMPARE(test::Q(b.flash()), test::Program(3000));
        } else {
            QVERIFY2(HoldsAll(run.err, message), qPrintable(run.err));
            QCOMPARE(b.resetCount(), 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestKestrowctlCommands)
#include "test_kestrowctl_commands.moc"
