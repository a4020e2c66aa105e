// SerialPort's line side against a pseudo-terminal: Open's argument tables, termios mapping,
// time-outs kept in the object, calls on closed or overlapped ports, and event waits.
#include <QtTest>

#include <string>
#include <vector>

#include "PtyBox.h"
#include "SerialPosixDetail.h"

using namespace kestrow;
using namespace kestrow::test;

class TestSerialLine : public QObject {
    Q_OBJECT

  private slots:
    void closedOrOverlappedPortMovesNothing() {
        test::RecordingReporter reporter;
        test::PortsDir ports;
        Pty pty(ports);
        QVERIFY(pty.ok());
        SerialPort port;
        char buffer[4] = {};
        QCOMPARE(port.Read(buffer, 4), 0u);
        QCOMPARE(port.Write(buffer, 4), 0u);
        port.Open(kPort, 115200, SerialParity::None, 8, SerialStopBits::One,
                  SerialFlowControl::None, true);
        QVERIFY(port.IsOpen());
        pty.Send("abcd");
        QCOMPARE(port.Read(buffer, 4), 0u);
        QCOMPARE(port.Write(buffer, 4), 0u);
        QVERIFY(reporter.texts().empty());
    }

    void callsOnAClosedPortAreReported() {
        test::RecordingReporter reporter;
        SerialPort port;
        SerialTimeouts t;
        QVERIFY(!port.GetTimeouts(t));
        QVERIFY(!port.SetTimeouts(t));
        port.DiscardInput();
        const std::vector<std::string> expected{"Failed in call to GetCommTimeouts\n",
                                                "Failed in call to SetCommTimeouts\n",
                                                "Failed in call to PurgeComm\n"};
        QCOMPARE(reporter.texts(), expected);
    }

    void timeoutsLiveInThePort() {
        test::PortsDir ports;
        Pty pty(ports);
        QVERIFY(pty.ok());
        SerialPort port;
        OpenDefault(port);
        SerialTimeouts t;
        QVERIFY(port.GetTimeouts(t));
        QCOMPARE(t, kOpenDefaultTimeouts);
        QVERIFY(port.SetTimeouts({7, 8, 9, 10, 11}));
        QVERIFY(port.NoReadTimeouts());
        QVERIFY(port.GetTimeouts(t));
        QCOMPARE(t, (SerialTimeouts{kMaxDword, 0, 0, 10, 11}));
        OpenDefault(port);  // every Open starts from the open default again
        QVERIFY(port.GetTimeouts(t));
        QCOMPARE(t, kOpenDefaultTimeouts);
    }

    // A pseudo-terminal keeps baud, stop bits and flow control but forces 8 bits without
    // parity, so parity is checked on the termios mapping below.
    void openArgumentsReachTheLine_data() {
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<int>("flow");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("expStop");
        QTest::addColumn<bool>("cts");
        QTest::addColumn<bool>("dsr");
        QTest::addColumn<bool>("xon");
        QTest::addColumn<int>("badArguments");
        QTest::newRow("8N1, none") << 2 << 0 << 0 << 115200 << 0 << false << false << false << 0;
        QTest::newRow("two stop, CTS/RTS")
            << 0 << 2 << 1 << 9600 << 2 << true << false << false << 0;
        QTest::newRow("1.5 stop, DSR/DTR")
            << 3 << 1 << 4 << 19200 << 1 << false << true << false << 0;
        QTest::newRow("XON/XOFF") << 1 << 0 << 5 << 57600 << 0 << false << false << true << 0;
        QTest::newRow("parity 7") << 7 << 0 << 0 << 115200 << 0 << false << false << false << 1;
        QTest::newRow("stop bits 3 and flow 6 keep the line's")
            << 2 << 3 << 6 << 115200 << 0 << false << false << false << 2;
    }
    void openArgumentsReachTheLine() {
        QFETCH(int, parity);
        QFETCH(int, stopBits);
        QFETCH(int, flow);
        QFETCH(int, baud);
        QFETCH(int, expStop);
        QFETCH(bool, cts);
        QFETCH(bool, dsr);
        QFETCH(bool, xon);
        QFETCH(int, badArguments);
        test::RecordingReporter reporter;
        test::PortsDir ports;
        Pty pty(ports);
        QVERIFY(pty.ok());
        SerialPort port;
        port.Open(kPort, static_cast<uint32_t>(baud), static_cast<SerialParity>(parity), 8,
                  static_cast<SerialStopBits>(stopBits), static_cast<SerialFlowControl>(flow),
                  false);
        QVERIFY(port.IsOpen());
        SerialState state;
        QVERIFY(port.GetState(state));
        QCOMPARE(state.baudRate, static_cast<uint32_t>(baud));
        QCOMPARE(state.byteSize, uint8_t{8});
        QCOMPARE(static_cast<int>(state.stopBits), expStop);
        QCOMPARE(state.outxCtsFlow, cts);
        QCOMPARE(state.outxDsrFlow, dsr);
        QCOMPARE(state.dtrControl == DtrControl::Handshake, dsr);
        QCOMPARE(state.outX && state.inX, xon);
        QCOMPARE(static_cast<int>(reporter.reports().size()), badArguments);
        for (const SerialReport& r : reporter.reports()) {
            QCOMPARE(r.text, std::string("Error"));
            QCOMPARE(r.caption, std::string("Error"));
        }
    }

    void stateMapsToTermios_data() {
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("byteSize");
        QTest::addColumn<int>("baud");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<uint>("parityFlags");
        QTest::newRow("none") << 2 << 8 << 115200 << true << 0u;
        QTest::newRow("even") << 0 << 7 << 9600 << true << uint{PARENB};
        QTest::newRow("odd") << 3 << 7 << 4800 << true << uint{PARENB | PARODD};
        QTest::newRow("mark") << 1 << 6 << 300 << true << uint{PARENB | PARODD | CMSPAR};
        QTest::newRow("space") << 4 << 5 << 921600 << true << uint{PARENB | CMSPAR};
        QTest::newRow("9 data bits") << 2 << 9 << 115200 << false << 0u;
        QTest::newRow("baud 12345") << 2 << 8 << 12345 << false << 0u;
        QTest::newRow("parity 5") << 5 << 8 << 115200 << false << 0u;
    }
    void stateMapsToTermios() {
        QFETCH(int, parity);
        QFETCH(int, byteSize);
        QFETCH(int, baud);
        QFETCH(bool, valid);
        QFETCH(uint, parityFlags);
        SerialState in;
        in.parity = static_cast<SerialParity>(parity);
        in.byteSize = static_cast<uint8_t>(byteSize);
        in.baudRate = static_cast<uint32_t>(baud);
        in.stopBits = SerialStopBits::OnePointFive;
        in.outX = true;
        termios tio{};
        QCOMPARE(posix::StateToTermios(in, tio), valid);
        if (!valid) {
            return;
        }
        QCOMPARE(uint{tio.c_cflag & (PARENB | PARODD | CMSPAR)}, parityFlags);
        QVERIFY((tio.c_cflag & CSTOPB) != 0);
        QVERIFY((tio.c_cflag & (CLOCAL | CREAD)) == (CLOCAL | CREAD));
        QVERIFY((tio.c_iflag & IXON) != 0 && (tio.c_iflag & IXOFF) == 0);
        QVERIFY((tio.c_lflag & (ICANON | ECHO)) == 0);
        SerialState out = in;
        out.parity = SerialParity::None;
        out.baudRate = 0;
        out.byteSize = 0;
        posix::TermiosToState(tio, out);
        QCOMPARE(static_cast<int>(out.parity), parity);
        QCOMPARE(out.byteSize, in.byteSize);
        QCOMPARE(out.baudRate, in.baudRate);
        QCOMPARE(out.stopBits, SerialStopBits::OnePointFive);
    }

    void waitEventSeesReceivedData() {
        test::PortsDir ports;
        Pty pty(ports);
        QVERIFY(pty.ok());
        SerialPort port;
        OpenDefault(port);
        QVERIFY(port.SetMask(kEventRxChar));
        pty.SendLater("x", 100);
        uint32_t events = 0;
        const auto start = Clock::now();
        QVERIFY(port.WaitEvent(events));
        QCOMPARE(events, kEventRxChar);
        QVERIFY(MsSince(start) < 2000);
    }
};

QTEST_GUILESS_MAIN(TestSerialLine)
#include "test_serialline.moc"
