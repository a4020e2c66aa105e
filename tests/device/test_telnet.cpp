// The Telnet/RFC 2217 codec without a socket: what the server's bytes give (device data, the
// replies of the negotiation, option states, acknowledgements) whatever the split of the
// stream, and the bytes the client sends.
#include <QtTest>

#include <cstdint>
#include <span>
#include <vector>

#include "serial/TelnetSession.h"
#include "tests/common/TestBox.h"
#include "tests/firmware/FirmwareTestSupport.h"

using namespace kestrow::telnet;
using kestrow::test::Bytes;
using kestrow::test::Q;

namespace {

QByteArray Hex(const char* hex) {
    return QByteArray::fromHex(hex);  // spaces are skipped
}

// Everything a session shows after the server's bytes, in words.
struct Outcome {
    QByteArray data;
    QByteArray replies;
    QString acks;     // "command:value" for each acknowledgement, e.g. "1:0001c200 6:60"
    QString options;  // the options on: number, L for this client, R for the server
    bool refused = false;

    bool operator==(const Outcome&) const = default;
    QString Text() const {
        return QString("data %1, replies %2, acks '%3', options '%4', refused %5")
            .arg(QString(data.toHex(' ')), QString(replies.toHex(' ')), acks, options)
            .arg(refused);
    }
};

// A fresh session (greeted first if `greet`) fed the pieces one after the other.
Outcome Feed(bool greet, const QList<QByteArray>& pieces) {
    Session session;
    if (greet) {
        (void)session.Greeting();
    }
    std::vector<uint8_t> data, replies;
    for (const QByteArray& piece : pieces) {
        session.Receive(Bytes(piece), data, replies);
    }
    Outcome o{Q(data), Q(replies), {}, {}, session.ComPortRefused()};
    QStringList acks, options;
    for (int i = 0; i < 256; ++i) {
        if (const auto ack = session.Acknowledged(ComCommand(i))) {
            acks << QString("%1:%2").arg(i).arg(QString(Q(*ack).toHex()));
        }
        const OptionState state = session.Option(uint8_t(i));
        if (state.local || state.remote) {
            options << QString::number(i) + (state.local ? "L" : "") + (state.remote ? "R" : "");
        }
    }
    o.acks = acks.join(' ');
    o.options = options.join(' ');
    return o;
}

// Whether the session greeted first, the server's bytes, then the Outcome expected.
struct Received {
    const char* tag;
    bool greet;
    QByteArray in;
    const char* data;
    const char* replies;
    QString acks = "";
    const char* options = "";
    bool refused = false;
};

const Received kReceived[] = {
    {"data with FF FF", false, Hex("61 ff ff 62 ff ff ff ff 0d 00"), "61 ff 62 ff ff 0d 00", ""},
    {"ser2net's opening after the greeting: only ECHO refused", true,
     Hex("fffb03 fffd03 fffb01 fffe01 fffd00 fffb00 fffd2c 41"), "41", "fffe01", "", "0LR 3LR 44L"},
    {"the server asks first: agreed once", false, Hex("fffd00 fffb00 fffd2c fffb03 fffd00 fffb03"),
     "", "fffb00 fffd00 fffb2c fffd03", "", "0LR 3R 44L"},
    {"other options refused once, ECHO included", false,
     Hex("fffb01 fffb01 fffd01 fffd01 fffd18 fffb18 fffc01 fffe18"), "",
     "fffe01 fffc01 fffc18 fffe18"},
    {"an option in use turned off: answered once", true,
     Hex("fffd00 fffb00 fffc00 fffc00 fffe00 fffe00 fffd00"), "", "fffe00 fffc00 fffb00", "", "0L"},
    {"an acknowledged value with FF FF", false, Hex("61 fffa2c65 ffff00ffff00 fff0 62"), "61 62",
     "", "1:ff00ff00"},
    {"line and modem notifications are not SET-CONTROL's", false,
     Hex("fffa2c6a 60 fff0 fffa2c6b 30 fff0 fffa2c69 08 fff0"), "", "", "5:08 6:60 7:30"},
    {"the last acknowledgement counts; an empty value is one", false,
     Hex("fffa2c65 00002580 fff0 fffa2c65 0001c200 fff0 fffa2c70 fff0"), "", "", "1:0001c200 12:"},
    {"commands between data bytes", false,
     Hex("61 fff1 62 fff2 63 fff3 fff4 fff5 fff6 fff7 fff8 fff9 64"), "61626364", ""},
    {"a stray SE, an unknown command", false, Hex("fff0 61 ff05 62 ff00 ffff"), "61 62 ff", ""},
    {"other subnegotiations and client commands are dropped", false,
     Hex("fffa1801fff0 61 fffa2c01 00000000 fff0 fffafff0 fffa2cfff0 62"), "61 62", ""},
    {"an overlong subnegotiation is cut at 64 bytes", false,
     Hex("fffa2c65") + QByteArray(100, '\x11') + Hex("ffff fff0 fffa18") + QByteArray(200, 'x') +
         Hex("fff0 7a"),
     "7a", "", "1:" + QString(QByteArray(62, '\x11').toHex())},
    {"a command inside a subnegotiation ends it unrecorded", false, Hex("fffa2c65 0001 fffb01 71"),
     "71", "fffe01"},
    {"DONT COM-PORT-OPTION refuses it", true, Hex("fffd00 fffe2c"), "", "", "", "0L", true},
    {"WONT COM-PORT-OPTION refuses it", true, Hex("fffc2c"), "", "", "", "", true},
    {"ser2net's texts are data", false, "Port already in use\r\n",
     "506f727420616c726561647920696e207573650d0a", ""},
};

}  // namespace

class TestTelnet : public QObject {
    Q_OBJECT

  private slots:
    // Each row is fed whole, byte by byte and cut in two at every position: all must agree.
    void receive_data() { kestrow::test::RowsOf(kReceived); }
    void receive() {
        QFETCH(int, row);
        const auto& [tag, greet, in, data, replies, acks, options, refused] = kReceived[row];
        const Outcome expected{Hex(data), Hex(replies), acks, options, refused};
        QCOMPARE(Feed(greet, {in}).Text(), expected.Text());
        QList<QByteArray> bytes;
        for (const char c : in) {
            bytes << QByteArray(1, c);
        }
        QVERIFY2(Feed(greet, bytes) == expected, qPrintable(Feed(greet, bytes).Text()));
        for (qsizetype cut = 1; cut < in.size(); ++cut) {
            const Outcome got = Feed(greet, {in.left(cut), in.mid(cut)});
            QVERIFY2(got == expected, qPrintable(QString("cut at %1: ").arg(cut) + got.Text()));
        }
    }

    // The bytes the client sends: its greeting and a PURGE-DATA request (in hex, to read).
    void encode() {
        Session session;
        QCOMPARE(Q(session.Greeting()).toHex(' '),
                 QByteArray("ff fb 00 ff fd 00 ff fb 03 ff fd 03 ff fb 2c"));
        const uint8_t purge[] = {kPurgeReceive};
        QCOMPARE(Q(Session::ComPortCommand(ComCommand::PurgeData, purge)).toHex(' '),
                 QByteArray("ff fa 2c 0c 01 ff f0"));
    }

    // Acknowledgements last until forgotten; a session's own escaped bytes come back as sent.
    void forgetAndRoundTrip() {
        Session session;
        std::vector<uint8_t> data, replies;
        session.Receive(Bytes(Hex("fffa2c65 0001c200 fff0")), data, replies);
        session.ForgetAcknowledgements();
        QVERIFY(!session.Acknowledged(ComCommand::SetBaudrate));

        std::vector<uint8_t> all(256), escaped;
        for (size_t i = 0; i < all.size(); ++i) {
            all[i] = uint8_t(255 - i);
        }
        Session::Escape(all, escaped);
        session.Receive(escaped, data, replies);
        QVERIFY(data == all && replies.empty());
    }
};

QTEST_GUILESS_MAIN(TestTelnet)
#include "test_telnet.moc"
