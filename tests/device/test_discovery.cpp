// Port naming and discovery on fake /dev, /sys/class/tty and ports trees.
#include <unistd.h>

#include <QtTest>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "ports/NetworkPorts.h"
#include "ports/PortNaming.h"
#include "tests/common/TestBox.h"

using namespace kestrow;
namespace fs = std::filesystem;

namespace {

// A machine with: an FTDI adapter (ttyUSB0, product text), a second USB adapter whose product
// contains "COM" (ttyUSB5), a CDC-ACM device without product text (ttyACM0), a real UART
// (ttyS0) behind the serial core's devices, a ttyS1 without a UART and a bare ttyS2 UART; ports
// links COM4 -> ttyACM0 (beating ttyUSB3, which is also COM4), COM200 -> a pseudo-terminal,
// COM201 -> nothing, and names that are not port links; udev's stable by-id links to ttyUSB0
// and ttyACM0 (reached by two ports, COM4 and COM65) and one that leads nowhere (MakeTree's
// entries).
constexpr const char* kMachine[] = {
    "dev/ttyUSB0=", "dev/ttyUSB3=", "dev/ttyUSB5=", "dev/ttyACM0=", "dev/ttyS0=", "dev/ttyS1=",
    "dev/ttyS2=", "dev/pts/7=", "sys/devices/usb1/1-1/product=FT232R USB UART",
    "sys/devices/usb1/1-1/idVendor=0403", "sys/devices/usb1/1-1/1-1:1.0/ttyUSB0/",
    "sys/class/tty/ttyUSB0/device>sys/devices/usb1/1-1/1-1:1.0/ttyUSB0",
    "sys/devices/usb1/1-2/product=Virtual COM Port", "sys/devices/usb1/1-2/1-2:1.0/ttyUSB5/",
    "sys/class/tty/ttyUSB5/device>sys/devices/usb1/1-2/1-2:1.0/ttyUSB5",
    "sys/devices/usb1/1-3/idVendor=1234", "sys/bus/usb/drivers/cdc_acm/",
    "sys/devices/usb1/1-3/1-3:1.0/driver>sys/bus/usb/drivers/cdc_acm",
    "sys/class/tty/ttyACM0/device>sys/devices/usb1/1-3/1-3:1.0", "sys/class/tty/ttyS0/type=4",
    // The 8250 port sits under the serial core's own devices; the UART's driver is above.
    "sys/bus/serial-base/drivers/port/", "sys/bus/serial-base/drivers/ctrl/",
    "sys/bus/pnp/drivers/serial/", "sys/devices/pnp0/00:00/00:00:0/00:00:0.0/",
    "sys/devices/pnp0/00:00/00:00:0/00:00:0.0/driver>sys/bus/serial-base/drivers/port",
    "sys/devices/pnp0/00:00/00:00:0/driver>sys/bus/serial-base/drivers/ctrl",
    "sys/devices/pnp0/00:00/driver>sys/bus/pnp/drivers/serial",
    "sys/class/tty/ttyS0/device>sys/devices/pnp0/00:00/00:00:0/00:00:0.0",
    "sys/class/tty/ttyS1/type=0", "sys/class/tty/ttyS2/type=4", "ports/COM4>dev/ttyACM0",
    "ports/COM200>dev/pts/7", "ports/COM201>dev/missing", "ports/COM256>dev/ttyS0",
    "ports/COM007>dev/ttyS0",
    "ports/notes.txt=", "serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0>dev/ttyUSB0",
    "serial/by-id/usb-Acme_Modem_42-if00>dev/ttyACM0", "serial/by-id/usb-Gone_1-if00>dev/ttyUSB9"};

struct FakeMachine {
    QTemporaryDir temp;
    fs::path root{temp.path().toStdString()};
    DiscoveryRoots roots{(root / "ports").string(), (root / "dev").string(),
                         (root / "sys/class/tty").string(), (root / "serial/by-id").string()};

    FakeMachine() { test::MakeTree(root, {std::begin(kMachine), std::end(kMachine)}); }
};

// Every way an operator names a port: the form it takes, how it is shown and filed, or why it
// is refused.
struct PortText {
    const char* tag;
    const char* text;
    int form;  // PortForm; -1: refused
    const char* host;
    int tcpPort;
    const char* fileName;
    const char* why = "";  // part of the refusal
};

constexpr int kRfc = static_cast<int>(PortForm::Rfc2217);
constexpr int kRaw = static_cast<int>(PortForm::Socket);
constexpr int kDev = static_cast<int>(PortForm::Device);
constexpr PortText kPortTexts[] = {
    {"rfc2217 IPv4", "rfc2217://127.0.0.1:7000", kRfc, "127.0.0.1", 7000, "rfc2217_127.0.0.1_7000"},
    {"socket, scheme in capitals, blanks", "  SOCKET://box-3.studio:7001 ", kRaw, "box-3.studio",
     7001, "SOCKET_box-3.studio_7001"},
    {"IPv6 in brackets", "rfc2217://[::1]:7000", kRfc, "::1", 7000, "rfc2217_1_7000"},
    {"trailing slash", "socket://host:65535/", kRaw, "host", 65535, "socket_host_65535"},
    {"COM number, lower case, no blank", "com3", kDev, "", 0, "COM3"},
    {"bare number, blanks around", " 3 ", kDev, "", 0, "COM3"},
    {"bare 0", "0", kDev, "", 0, "COM0"},
    {"COM 255", "COM 255", kDev, "", 0, "COM255"},
    {"device path", "/dev/ttyUSB3", kDev, "", 0, "ttyUSB3"},
    {"Windows name of COM 12", "\\\\.\\com12", kDev, "", 0, "COM12"},
    {"Windows device name", "\\\\.\\CNCA0", kDev, "", 0, "CNCA0"},
    {"IPv6 without brackets", "rfc2217://::1:7000", -1, "", 0, "", "in brackets"},
    {"no port", "rfc2217://host", -1, "", 0, "", "no TCP port"},
    {"port 0", "socket://host:0", -1, "", 0, "", "1 to 65535"},
    {"port 65536", "socket://host:65536", -1, "", 0, "", "1 to 65535"},
    {"no host", "socket://:7000", -1, "", 0, "", "no host"},
    {"unknown scheme", "telnet://host:23", -1, "", 0, "", "rfc2217:// or socket://"},
    {"options after the port", "rfc2217://host:7000?logging=debug", -1, "", 0, "", "no TCP port"},
    {"blank in the host", "socket://my host:7000", -1, "", 0, "", "no host name"},
    {"plain words", "the rack", -1, "", 0, ""},
    {"COM 256", "COM 256", -1, "", 0, ""},
    {"two blanks after COM", "COM  3", -1, "", 0, ""},
    {"negative number", "-1", -1, "", 0, ""},
    {"empty", "", -1, "", 0, ""},
    {"text after the number", "COM 3a", -1, "", 0, ""},
};

}  // namespace

class TestDiscovery : public QObject {
    Q_OBJECT

  private slots:
    void parseComNumber_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("number");  // -1: no value
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

    void parsePortName_data() { test::RowsOf(kPortTexts); }
    void parsePortName() {
        QFETCH(int, row);
        const PortText& r = kPortTexts[row];
        const Result<ComPort> port = ParsePortName(r.text, "/nonexistent");
        QCOMPARE(port.ok(), r.form >= 0);
        if (!port) {
            const std::string& reason = port.error().detail;
            QVERIFY2(QString::fromStdString(reason).contains(r.why), reason.c_str());
            return;
        }
        QCOMPARE(static_cast<int>(port->form), r.form);
        QCOMPARE(port->host, std::string(r.host));
        QCOMPARE(int{port->tcpPort}, r.tcpPort);
        QCOMPARE(PortFileName(*port), std::string(r.fileName));
        if (port->IsNetwork()) {  // shown as written, and no label yet
            QCOMPARE(QString::fromStdString(port->Name()), QString(r.text).trimmed());
        }
    }

    // The network ports file: URLs with labels in order; every bad line named, the rest kept.
    void networkPortsFile() {
        const NetworkPortList list = ParseNetworkPorts(
            "# the rack\n"
            "rfc2217://10.0.0.5:7000   Rack one scaler \r\n"
            "\n"
            "socket://[fd00::5]:7001\n"
            "COM5\n"
            "socket://10.0.0.5:7000 again\n"
            "rfc2217://10.0.0.5:7000 twice\n"
            "socket://h:1 bell\a\n");
        QCOMPARE(list.ports.size(), size_t{3});
        QCOMPARE(QString::fromStdString(list.ports[0].Name()), QString("Rack one scaler"));
        QCOMPARE(QString::fromStdString(list.ports[0].Name(ComPort::Style::WithDevice)),
                 QString("Rack one scaler (rfc2217://10.0.0.5:7000)"));
        QCOMPARE(QString::fromStdString(list.ports[1].Name()), QString("socket://[fd00::5]:7001"));
        QCOMPARE(list.ports[2].form, PortForm::Socket);  // same host and port, other form
        QCOMPARE(list.problems.size(), size_t{3});
        QVERIFY(QString::fromStdString(list.problems[0]).startsWith("line 5: \"COM5\""));
        QVERIFY(QString::fromStdString(list.problems[1])
                    .contains("line 7: rfc2217://10.0.0.5:7000 is listed twice"));
        QVERIFY(QString::fromStdString(list.problems[2]).contains("control characters"));
        QVERIFY(ReadNetworkPorts("/nonexistent/network-ports").ports.empty());
    }

    void resolvePort_data() {
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
    void resolvePort() {
        QFETCH(int, port);
        QFETCH(QString, path);
        test::PortsDir ports;
        const fs::path dir = ports.path();
        fs::create_symlink("/dev/null", dir / "COM4");
        fs::create_symlink("/dev/null", dir / "COM255");
        fs::create_symlink(dir / "nothing", dir / "COM200");
        const std::string expected =
            path.startsWith("COM") ? (dir / path.toStdString()).string() : path.toStdString();
        const ComPort resolved = ResolvePort(port, ports.path());
        QCOMPARE(resolved.path, expected);
        QCOMPARE(resolved.number, port);
    }

    void portsDirectoryDefault() {
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", "/nonexistent/run");
        QCOMPARE(DefaultPortsDirectory(), std::string("/nonexistent/run/kestrow/ports"));
        QVERIFY(!fs::exists("/nonexistent/run"));  // looking it up creates nothing
        qunsetenv("XDG_RUNTIME_DIR");
        QCOMPARE(DefaultPortsDirectory(), "/tmp/kestrow-" + std::to_string(::getuid()) + "/ports");
        if (!saved.isNull()) {
            qputenv("XDG_RUNTIME_DIR", saved);
        }
    }

    void findComPortsOnAFakeMachine() {
        FakeMachine machine;
        QVERIFY(machine.temp.isValid());
        QStringList found;  // number, path below the root, friendly name, stable name
        for (const ComPortInfo& port : FindComPorts(machine.roots)) {
            found << QString("%1 %2 %3%4")
                         .arg(port.number)
                         .arg(fs::path(port.path).lexically_relative(machine.root).c_str())
                         .arg(port.friendlyName.c_str())
                         .arg(port.stableName.empty()
                                  ? ""
                                  : " " + QString::fromStdString(
                                              fs::path(port.stableName).filename().string()));
            QCOMPARE(ParseComNumber(port.friendlyName).value_or(-1), port.number);
        }
        const QStringList expected{
            "1 dev/ttyUSB0 FT232R USB UART (COM1) usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0",
            "4 ports/COM4 cdc_acm (COM4) usb-Acme_Modem_42-if00",
            "6 dev/ttyUSB5 Virtual Com Port (COM6)",
            "65 dev/ttyACM0 cdc_acm (COM65) usb-Acme_Modem_42-if00",
            "129 dev/ttyS0 serial (COM129)",
            "131 dev/ttyS2 ttyS2 (COM131)",
            "200 ports/COM200 Kestrow link (COM200)"};
        QCOMPARE(found, expected);
        QCOMPARE(FindComPorts(machine.roots)[2].product, std::string("Virtual COM Port"));
        const std::string none = (machine.root / "none").string();
        QVERIFY(FindComPorts({none, none, none, none}).empty());
    }
};

QTEST_GUILESS_MAIN(TestDiscovery)
#include "test_discovery.moc"
