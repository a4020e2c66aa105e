// Frame building: every worked frame of the protocol, byte for byte (each adds up to 0).
#include <QtTest>

#include "Frames.h"

using kestrow::Frame;

Q_DECLARE_METATYPE(Frame)

namespace {

QByteArray Bytes(const Frame& f) {
    return QByteArray(reinterpret_cast<const char*>(f.bytes.data()), f.size);
}

}  // namespace

class TestFrames : public QObject {
    Q_OBJECT
  private slots:
    void workedFrames_data() {
        using namespace kestrow;
        QTest::addColumn<Frame>("frame");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("probe") << ProbeFrame() << QByteArray::fromHex("056C9305F7");
        QTest::newRow("read (4,1)")
            << ReadSettingFrame(4, 1) << QByteArray::fromHex("076C93010401F4");
        QTest::newRow("write (4,4,1)")
            << WriteSettingFrame(4, 4, 1) << QByteArray::fromHex("086C9300040401F0");
        QTest::newRow("write (1,1,12)")
            << WriteSettingFrame(1, 1, 12) << QByteArray::fromHex("086C930001010CEB");
        QTest::newRow("write -50") << WriteSettingFrame(2, 3, static_cast<uint8_t>(-50))
                                   << QByteArray::fromHex("086C93000203CE26");
        QTest::newRow("read genlock 4")
            << ReadGenlockFrame(4) << QByteArray::fromHex("066C934904AE");
        QTest::newRow("write genlock 0")
            << WriteGenlockFrame(0, 0x01, 0x2C) << QByteArray::fromHex("086C934900012C83");
        QTest::newRow("version item 3")
            << VersionFrame(true) << QByteArray::fromHex("076C93010403F2");
        QTest::newRow("version item 4")
            << VersionFrame(false) << QByteArray::fromHex("076C93010404F1");
        QTest::newRow("freeze") << CommandFrame(5, 2, 0, 0, 0) << QByteArray::fromHex("056C9302FA");
        QTest::newRow("blank") << CommandFrame(5, 3, 0, 0, 0) << QByteArray::fromHex("056C9303F9");
        QTest::newRow("aspect") << CommandFrame(5, 4, 0, 0, 0) << QByteArray::fromHex("056C9304F8");
        QTest::newRow("480p60 preset")
            << CommandFrame(8, 0, 1, 1, 2) << QByteArray::fromHex("086C9300010102F5");
        QTest::newRow("5-byte frame ignores b5 b6")
            << CommandFrame(5, 4, 0x77, 0x88, 0x99) << QByteArray::fromHex("056C9304F8");
        QTest::newRow("length 6 sends nothing") << CommandFrame(6, 2, 0, 0, 0) << QByteArray();
        QTest::newRow("length 0 sends nothing") << CommandFrame(0, 2, 0, 0, 0) << QByteArray();
    }
    void workedFrames() {
        QFETCH(Frame, frame);
        QFETCH(QByteArray, wire);
        QCOMPARE(Bytes(frame).toHex(' '), wire.toHex(' '));
    }
};

QTEST_APPLESS_MAIN(TestFrames)
#include "test_frames.moc"
