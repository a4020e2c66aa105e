// kestrowctl flash: the Firmware Update dialog's run from a script, judged by the simulated
// box's flash.
#include <QtTest>

#include "sim/FaultOptions.h"
#include "tests/cli/CliTestSupport.h"
#include "tests/firmware/FirmwareTestSupport.h"

using namespace kestrow;
using namespace kestrow::test;
using sim::BoxConfig;

class TestKestrowctlFlash : public CliTest {
    Q_OBJECT

  private slots:
    void initTestCase() { Start(); }
    void cleanup() { boxes_.clear(); }

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
        BoxConfig asked = Loader(false);  // goes away once asked into its boot loader
        QVERIFY(sim::ParseFaultOption("--fault", "close@0", asked.faults) &&
                sim::ParseFaultOption("--back-after", "-1", asked.faults));
        QList<QByteArray> lines = hex.split('\n');  // the checksum of line 3 made wrong
        const qsizetype sum = lines[2].size() - (lines[2].endsWith('\r') ? 2 : 1);
        lines[2][sum] = lines[2][sum] == '0' ? '1' : '0';
        const auto row = [](const char* tag, const QByteArray& file, const BoxConfig& box,
                            const char* stopAt, int code, bool download, const char* message) {
            QTest::newRow(tag) << file << box << QString(stopAt) << code << download
                               << QString(message);
        };
        row("BIN", image, Loader(), "", 0, true, "");
        row("HEX", hex, Loader(), "", 0, true, "");
        row("stdout read by head -1", image, Loader(), "| head -1", 0, true, "");
        row("HEX with a bad checksum on line 3", lines.join('\n'), Loader(), "", 5, false,
            "Fail to convert the input from hex to bin!\n|firmware.bin: line 3: checksum ");
        row("silent box", image, silent, "", 4, false,
            "Failed,check your device version!\n|does not answer");
        row("box goes away at block 3", image, vanishing, "", 6, true,
            "Fail to write flash!\n|COM 210 (|) went away: unplugged or switched off; the box "
            "waits in its boot loader|run \"kestrowctl flash ");
        row("box goes away after the boot request", image, asked, "", 4, false,
            "Failed,check your device version!\n|COM 210 (|) went away: unplugged or switched "
            "off; the box waits in its boot loader|run \"kestrowctl flash ");
        row("NAK at block 0", image, Loader(true, 0), "", 6, true, "Fail to write flash!");
        row("not correct", "CPUM5FW" + image.mid(7), Loader(), "", 5, false,
            "Firmware file is not correct!\n|target digit (byte 5) is '5', not '3' or '4'");
        row("no file", QByteArray(), Loader(), "", 5, false, "Please load file first!");
        row("Ctrl+C before Download", big, Loader(false, -1, true), "COM port Connected!", 1, false,
            "nothing was written to the flash");
        row("Ctrl+C during the write", big, Loader(true, -1, true), "Writing flash: 10 %", 1, true,
            "boot loader");
        row("hang-up during the write", big, Loader(true, -1, true), "HUP:Writing flash: 10 %", 1,
            true, "Stopped on request|the box waits in its boot loader");
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
};

QTEST_GUILESS_MAIN(TestKestrowctlFlash)
#include "test_kestrowctl_flash.moc"
