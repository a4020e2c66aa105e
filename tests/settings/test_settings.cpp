// The settings table's rules that decide what goes on the wire: the lists by output port, the
// entry a cached byte selects, the offsets and ranges of numbers, and GenLock delays.
#include <QtTest>

#include "Settings.h"

using namespace kestrow;

namespace {

const SettingInfo& Setting(const char* name) {
    const SettingInfo* s = FindSetting(name);
    if (s == nullptr) {
        qFatal("no setting %s", name);
    }
    return *s;
}

// "text=sent/stored" for every entry of a list.
QString Describe(const std::vector<Choice>& list) {
    QStringList out;
    for (const Choice& c : list) {
        out << QStringLiteral("%1=%2/%3")
                   .arg(QString::fromUtf8(c.text.data(), qsizetype(c.text.size())))
                   .arg(c.sent)
                   .arg(c.stored);
    }
    return out.join(',');
}

}  // namespace

class TestSettings : public QObject {
    Q_OBJECT
  private slots:
    // Lists by output port code (low nibble), and the entry a cached byte selects (-1: none).
    void choices_data() {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<int>("portByte");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("last");        // the last entry, "text=sent/stored"
        QTest::addColumn<QList<int>>("selects");  // cached bytes 0, 3, 12, 22, 36
        QTest::newRow("full") << "output-resolution" << 0x95 << 38 << "Auto-Detect=37/37"
                              << QList<int>{0, 3, 12, 22, 36};
        QTest::newRow("SDI") << "output-resolution" << 0x93 << 19 << "Bypass=36/36"
                             << QList<int>{0, 3, 12, -1, 18};
        QTest::newRow("VGA") << "output-resolution" << 0x59 << 22 << "Auto-Detect=37/37"
                             << QList<int>{-1, -1, 1, 6, 20};
        QTest::newRow("Component")
            << "output-resolution" << 0x50 << 17 << "Bypass=36/36" << QList<int>{0, 16, 10, 16, 16};
        QTest::newRow("mode DVI") << "output-mode" << 0x51 << 1 << "RGB=0/0"
                                  << QList<int>{0, 0, 0, 0, 0};
        QTest::newRow("mode SDI") << "output-mode" << 0x53 << 1 << "YCbCr422=2/0"
                                  << QList<int>{0, 0, 0, 0, 0};
        QTest::newRow("mode VGA") << "output-mode" << 0x59 << 2 << "YCbCr422=2/1"
                                  << QList<int>{0, 1, 1, 1, 1};
        QTest::newRow("mode HDMI")
            << "output-mode" << 0x55 << 3 << "YCbCr422=2/2" << QList<int>{0, -1, -1, -1, -1};
        QTest::newRow("clock, input 7") << "clock-mode" << 0x75 << 2 << "FrameLock B(Genlock)=1/1"
                                        << QList<int>{0, -1, -1, -1, -1};
        QTest::newRow("clock, VGA in") << "clock-mode" << 0x95 << 3 << "FrameLock B(Genlock)=2/2"
                                       << QList<int>{0, -1, -1, -1, -1};
    }
    void choices() {
        QFETCH(QString, setting);
        QFETCH(int, portByte);
        QFETCH(QList<int>, selects);
        const SettingInfo& s = Setting(qPrintable(setting));
        const BoxFacts box{uint8_t(portByte), 1, false};
        const std::vector<Choice> list = ChoicesFor(s, box);
        QTEST(int(list.size()), "size");
        QTEST(Describe({list.back()}), "last");
        QList<int> seen;
        for (int byte : {0, 3, 12, 22, 36}) {
            seen << SelectedChoice(s, box, uint8_t(byte)).value_or(-1);
        }
        QCOMPARE(seen, selects);
    }

    // Which rows a box offers: audio by port byte, EDID by input, the System rows by model.
    void availability() {
        const auto shown = [](const char* name, BoxFacts box) {
            return Available(Setting(name), box);
        };
        for (int portByte : {0x95, 0x15, 0x05}) {
            QVERIFY(shown("audio-source", {uint8_t(portByte), 0, false}));
        }
        QVERIFY(!shown("audio-source", {0x55, 0, false}));
        QVERIFY(shown("edid-audio-ch", {0x59, 0, false}) &&
                !shown("edid-audio-ch", {0x95, 0, false}));
        QVERIFY(shown("clock-mode", {0, 1, true}) && !shown("clock-mode", {0, 2, true}));
        QVERIFY(shown("auto-sleep", {0, 2, true}) && !shown("auto-sleep", {0, 2, false}) &&
                !shown("auto-sleep", {0, 1, true}));
    }

    // Shown values, clamping to the label's range, and the byte on the wire.
    void numbers_data() {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<int>("typed");
        QTest::addColumn<int>("byte");
        QTest::newRow("contrast 128") << "contrast" << 128 << 128;
        QTest::newRow("contrast 300") << "contrast" << 300 << 255;
        QTest::newRow("sharpness 200") << "sharpness" << 200 << 127;
        QTest::newRow("scan -50") << "under-over-scan" << -50 << 0;
        QTest::newRow("h-shift 200") << "h-shift" << 200 << 200;
        QTest::newRow("h-shift -300") << "h-shift" << -300 << 0;
        QTest::newRow("v-shift -7") << "v-shift" << -7 << 43;
    }
    void numbers() {
        QFETCH(QString, setting);
        QFETCH(int, typed);
        QFETCH(int, byte);
        const SettingInfo& s = Setting(qPrintable(setting));
        QCOMPARE(int(ByteForShown(s, typed)), byte);
        QCOMPARE(ShownValue(s, uint8_t(byte)), ClampShown(s, typed));
    }

    // GenLock: a register value is shown signed around zero; a shown value goes out clamped,
    // negative ones as period + v.
    void genlock_data() {
        QTest::addColumn<int>("period");
        QTest::addColumn<int>("value");  // a register value, shown as `shown`
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("typed");  // a typed value, sent as `sent`
        QTest::addColumn<int>("sent");
        QTest::newRow("2200 wrap") << 2200 << 2199 << -1 << -1 << 2199;
        QTest::newRow("2200 half") << 2200 << 1100 << 1100 << 5000 << 1100;
        QTest::newRow("2200 low") << 2200 << 1101 << -1099 << -5000 << 1100;
        QTest::newRow("1125 odd") << 1125 << 563 << -562 << 524 << 524;
        QTest::newRow("no period") << 0 << 0 << 0 << 7 << 0;
    }
    void genlock() {
        QFETCH(int, period);
        QFETCH(int, value);
        QFETCH(int, typed);
        QTEST(GenlockShown(uint16_t(value), uint16_t(period)), "shown");
        QTEST(int(GenlockRegisterFor(typed, uint16_t(period))), "sent");
        QCOMPARE(GenlockRangeFor(uint16_t(period)).maximum, period / 2);
    }
};

QTEST_MAIN(TestSettings)
#include "test_settings.moc"
