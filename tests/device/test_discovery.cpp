// Port naming and discovery on fake /dev, /sys/class/tty and ports trees.
#include <unistd.h>

#include <QtTest>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "PortNaming.h"
#include "TestBox.h"

using namespace kestrow;
namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
}

void Link(const fs::path& target, const fs::path& link) {
    fs::create_directories(link.parent_path());
    fs::create_symlink(target, link);
}

// A machine with: an FTDI adapter (ttyUSB0, product text), a second USB adapter whose product
// contains "COM" (ttyUSB5), a CDC-ACM device without product text (ttyACM0), a real UART
// (ttyS0) behind the serial core's devices, a ttyS1 without a UART and a bare ttyS2 UART; ports
// links COM4 -> ttyACM0 (beating ttyUSB3, which is also COM4), COM200 -> a pseudo-terminal, COM201
// -> nothing, and names that are not port links.
struct FakeMachine {
    QTemporaryDir temp;
    fs::path root{temp.path().toStdString()};
    DiscoveryRoots roots{(root / "ports").string(), (root / "dev").string(),
                         (root / "sys/class/tty").string()};

    FakeMachine() {
        const fs::path dev = roots.devDir;
        const fs::path tty = roots.sysClassTty;
        const fs::path usb = root / "sys/devices/usb1";
        for (const char* name : {"ttyUSB0", "ttyUSB3", "ttyUSB5", "ttyACM0", "ttyS0", "ttyS1"}) {
            WriteFile(dev / name, "");
        }
        WriteFile(dev / "pts/7", "");
        WriteFile(usb / "1-1/product", "FT232R USB UART");
        WriteFile(usb / "1-1/idVendor", "0403");
        fs::create_directories(usb / "1-1/1-1:1.0/ttyUSB0");
        Link(usb / "1-1/1-1:1.0/ttyUSB0", tty / "ttyUSB0/device");
        WriteFile(usb / "1-2/product", "Virtual COM Port");
        fs::create_directories(usb / "1-2/1-2:1.0/ttyUSB5");
        Link(usb / "1-2/1-2:1.0/ttyUSB5", tty / "ttyUSB5/device");
        WriteFile(usb / "1-3/idVendor", "1234");
        fs::create_directories(root / "sys/bus/usb/drivers/cdc_acm");
        Link(root / "sys/bus/usb/drivers/cdc_acm", usb / "1-3/1-3:1.0/driver");
        Link(usb / "1-3/1-3:1.0", tty / "ttyACM0/device");
        WriteFile(tty / "ttyS0/type", "4");
        // The 8250 port sits under the serial core's own devices; the UART's driver is above.
        const fs::path pnp = root / "sys/devices/pnp0/00:00";
        const fs::path drivers = root / "sys/bus";
        fs::create_directories(pnp / "00:00:0/00:00:0.0");
        for (const char* d :
             {"serial-base/drivers/port", "serial-base/drivers/ctrl", "pnp/drivers/serial"}) {
            fs::create_directories(drivers / d);
        }
        Link(drivers / "serial-base/drivers/port", pnp / "00:00:0/00:00:0.0/driver");
        Link(drivers / "serial-base/drivers/ctrl", pnp / "00:00:0/driver");
        Link(drivers / "pnp/drivers/serial", pnp / "driver");
        Link(pnp / "00:00:0/00:00:0.0", tty / "ttyS0/device");
        WriteFile(tty / "ttyS1/type", "0");
        WriteFile(tty / "ttyS2/type", "4");
        WriteFile(dev / "ttyS2", "");
        const fs::path ports = roots.portsDir;
        Link(dev / "ttyACM0", ports / "COM4");
        Link(dev / "pts/7", ports / "COM200");
        Link(dev / "missing", ports / "COM201");
        Link(dev / "ttyS0", ports / "COM256");
        Link(dev / "ttyS0", ports / "COM007");
        WriteFile(ports / "notes.txt", "");
    }
};

}  // namespace

class TestDiscovery : public QObject {
    Q_OBJECT

  private slots:
    void parseComNumber_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("number");  // -1: no value
        QTest::newRow("USB serial") << "USB Serial Device (COM7)" << 7;
        QTest::newRow("mixed-case Com does not match") << "Communications Port (COM1)" << 1;
        QTest::newRow("no digits") << "Odd device (COM)" << 0;
        QTest::newRow("no COM at all") << "Printer Port (LPT1)" << -1;
        QTest::newRow("blanks before the digits") << "COM \t 12x" << 12;
        QTest::newRow("first COM counts") << "COMx (COM3)" << 0;
        QTest::newRow("huge number saturates") << "COM99999999999" << INT_MAX;
    }
    void parseComNumber() {
        QFETCH(QString, name);
        QFETCH(int, number);
        const std::optional<int> parsed = ParseComNumber(name.toStdString());
        QCOMPARE(parsed.value_or(-1), number);
    }

    void resolvePortPath_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("path");  // relative to the ports folder when it starts "COM"
        QTest::newRow("0 without a link") << 0 << "";
        QTest::newRow("1") << 1 << "/dev/ttyUSB0";
        QTest::newRow("64") << 64 << "/dev/ttyUSB63";
        QTest::newRow("65") << 65 << "/dev/ttyACM0";
        QTest::newRow("129") << 129 << "/dev/ttyS0";
        QTest::newRow("160") << 160 << "/dev/ttyS31";
        QTest::newRow("161") << 161 << "";
        QTest::newRow("link beats the family") << 4 << "COM4";
        QTest::newRow("255 by link") << 255 << "COM255";
        QTest::newRow("dangling link is no port") << 200 << "";
        QTest::newRow("256") << 256 << "";
    }
    void resolvePortPath() {
        QFETCH(int, port);
        QFETCH(QString, path);
        test::PortsDir ports;
        const fs::path dir = ports.path();
        fs::create_symlink("/dev/null", dir / "COM4");
        fs::create_symlink("/dev/null", dir / "COM255");
        fs::create_symlink(dir / "nothing", dir / "COM200");
        const std::string expected =
            path.startsWith("COM") ? (dir / path.toStdString()).string() : path.toStdString();
        QCOMPARE(ResolvePortPath(port).value_or(""), expected);
    }

    void portsDirectoryDefault() {
        SetPortsDirectoryOverride({});
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", "/nonexistent/run");
        QCOMPARE(PortsDirectory(), std::string("/nonexistent/run/kestrow/ports"));
        QVERIFY(!fs::exists("/nonexistent/run"));  // looking it up creates nothing
        qunsetenv("XDG_RUNTIME_DIR");
        QCOMPARE(PortsDirectory(), "/tmp/kestrow-" + std::to_string(::getuid()) + "/ports");
        SetPortsDirectoryOverride("/elsewhere");
        QCOMPARE(PortsDirectory(), std::string("/elsewhere"));
        SetPortsDirectoryOverride({});
        if (!saved.isNull()) {
            qputenv("XDG_RUNTIME_DIR", saved);
        }
    }

    void findComPortsOnAFakeMachine() {
        FakeMachine machine;
        QVERIFY(machine.temp.isValid());
        QStringList found;  // number, path below the root, friendly name
        for (const ComPortInfo& port : FindComPorts(machine.roots)) {
            found << QString("%1 %2 %3")
                         .arg(port.number)
                         .arg(fs::path(port.path).lexically_relative(machine.root).c_str())
                         .arg(port.friendlyName.c_str());
            QCOMPARE(ParseComNumber(port.friendlyName).value_or(-1), port.number);
        }
        const QStringList expected{
            "1 dev/ttyUSB0 FT232R USB UART (COM1)",  "4 ports/COM4 cdc_acm (COM4)",
            "6 dev/ttyUSB5 Virtual Com Port (COM6)", "65 dev/ttyACM0 cdc_acm (COM65)",
            "129 dev/ttyS0 serial (COM129)",         "131 dev/ttyS2 ttyS2 (COM131)",
            "200 ports/COM200 Kestrow link (COM200)"};
        QCOMPARE(found, expected);
        QCOMPARE(FindComPorts(machine.roots)[2].product, std::string("Virtual COM Port"));
    }

    void findComPortsWithNothingPresent() {
        QTemporaryDir empty;
        const std::string root = empty.path().toStdString();
        QVERIFY(FindComPorts({root + "/ports", root + "/dev", root + "/sys"}).empty());
    }
};

QTEST_GUILESS_MAIN(TestDiscovery)
#include "test_discovery.moc"
