// Intel HEX conversion, the firmware header and the file steps of one run.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "FirmwareImage.h"
#include "FirmwareTestSupport.h"

using namespace kestrow;
using test::Image;
using test::Program;
using test::Q;

namespace {

// One HEX record with its checksum.
QByteArray Rec(int type, unsigned address, const QByteArray& bytes) {
    const QString fields =
        QString::asprintf("%02X%04X%02X", unsigned(bytes.size()), address, unsigned(type));
    const QByteArray raw = QByteArray::fromHex(fields.toLatin1()) + bytes;
    unsigned sum = 0;
    for (char c : raw) {
        sum -= static_cast<unsigned char>(c);
    }
    return ":" + (raw + static_cast<char>(sum & 0xFF)).toHex().toUpper();
}

// The data field of an address record.
QByteArray Address(unsigned value) {
    return QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(4, '0'));
}

const QByteArray kEof = ":00000001FF";

QByteArray Lines(const QList<QByteArray>& records, const QByteArray& separator = "\r\n") {
    return records.join(separator) + separator;
}

}  // namespace

class TestHex : public QObject {
    Q_OBJECT

  private slots:
    void convert_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("image");

        const QByteArray abc = "ABC";
        const QList<QByteArray> plain{Rec(0, 0, abc), Rec(0, 5, "xy"), kEof};
        const QByteArray plainImage("ABC\0\0xy", 7);
        QTest::newRow("crlf, gap filled with zeros") << Lines(plain) << true << plainImage;
        QTest::newRow("lf only") << Lines(plain, "\n") << true << plainImage;
        QTest::newRow("blank lines, blanks, no final newline")
            << plain.join(" \r\n\r\n\t") << true << plainImage;
        QTest::newRow("lower-case digits") << Lines({Rec(0, 0xAB, "\xfe").toLower(), kEof}) << true
                                           << QByteArray(0xAB, '\0') + "\xfe";
        QTest::newRow("overlap: later record wins")
            << Lines({Rec(0, 0, "ABCD"), Rec(0, 1, "xy"), kEof}) << true << QByteArray("AxyD");
        QTest::newRow("extended linear address")
            << Lines({Rec(4, 0, Address(1)), Rec(0, 2, "Z"), kEof}) << true
            << QByteArray(0x10002, '\0') + "Z";
        QTest::newRow("extended segment address")
            << Lines({Rec(2, 0, Address(1)), Rec(0, 2, "Z"), kEof}) << true
            << QByteArray(0x12, '\0') + "Z";
        QTest::newRow("offset adds to base without wrapping")
            << Lines({Rec(2, 0, Address(0x1000)), Rec(0, 0xFFFF, "Z"), kEof}) << true
            << QByteArray(0x1FFFF, '\0') + "Z";
        QTest::newRow("start address records skipped, unknown types ignored")
            << Lines({Rec(3, 0, "\1\2\3\4"), Rec(5, 0, "\1\2\3\4"), Rec(0x14, 0, Address(1)),
                      Rec(0, 0, "A"), kEof})
            << true << QByteArray("A");
        QTest::newRow("data record without data extends the image")
            << Lines({Rec(0, 0, "A"), Rec(0, 5, ""), kEof}) << true << QByteArray("A\0\0\0\0", 5);
        QTest::newRow("end of file first: empty image")
            << Lines({kEof, Rec(0, 0, "A")}) << true << QByteArray();
        QTest::newRow("last byte of the largest image")
            << Lines({Rec(4, 0, Address(0x4C)), Rec(0, 0x0B, "Z"), kEof}) << true
            << QByteArray(0x4C000B, '\0') + "Z";

        const QByteArray none;
        QTest::newRow("missing end of file") << Lines({Rec(0, 0, abc)}) << false << none;
        QByteArray badSum = Rec(0, 0, abc);
        badSum.back() = badSum.back() == '0' ? '1' : '0';
        QTest::newRow("bad checksum") << Lines({badSum, kEof}) << false << none;
        QTest::newRow("count exceeds the characters")
            << Lines({Rec(0, 0, abc).remove(9, 2), kEof}) << false << none;
        QTest::newRow("characters beyond the count")
            << Lines({Rec(0, 0, abc) + "00", kEof}) << false << none;
        QTest::newRow("non-hex digit in the data")
            << Lines({Rec(0, 0, abc).replace(10, 1, "G"), kEof}) << false << none;
        // Checksum right for address 0x0100 if the 'G' were read as 0x10.
        QTest::newRow("non-hex digit in the address")
            << Lines({":01000G0041BD", kEof}) << false << none;
        QTest::newRow("record without colon")
            << Lines({Rec(0, 0, abc).mid(1), kEof}) << false << none;
        QTest::newRow("address beyond the largest image")
            << Lines({Rec(4, 0, Address(0x4C)), Rec(0, 0x0B, "ZZ"), kEof}) << false << none;
        QTest::newRow("address record of wrong size")
            << Lines({Rec(4, 0, "\1"), kEof}) << false << none;
    }
    void convert() {
        QFETCH(QByteArray, text);
        QFETCH(bool, ok);
        QFETCH(QByteArray, image);
        FirmwareImage fw;
        fw.data = test::Bytes(text);
        QCOMPARE(ConvertHexToBinary(fw), ok);
        QCOMPARE(fw.data.size(), static_cast<std::size_t>(image.size()));  // released on failure
        QVERIFY(Q(fw.data) == image);
    }

    void header_data() {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<bool>("ok");
        QTest::newRow("target 3") << Image('3', "prog") << true;
        QTest::newRow("target 4") << Image('4', "prog") << true;
        QTest::newRow("target 5") << Image('5', "prog") << false;
        QTest::newRow("wrong magic") << Image('4', "prog").replace(3, 1, "m") << false;
        QTest::newRow("wrong FW") << Image('4', "prog").replace(6, 1, "V") << false;
        QTest::newRow("twelve bytes") << Image('4', "").left(12) << false;
    }
    void header() {
        QFETCH(QByteArray, image);
        QFETCH(bool, ok);
        FirmwareImage fw;
        fw.data = test::Bytes(image);
        QCOMPARE(StripFirmwareHeader(fw), ok);
        QCOMPARE(Q(fw.data), ok ? image.mid(kFirmwareHeaderSize) : image);
        if (ok) {
            QCOMPARE(fw.targetDigit, image[4]);
            QCOMPARE(Q(fw.header), image.left(kFirmwareHeaderSize));
        }
    }

    // One run's file steps on a real file, size rules included.
    void prepare_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<PrepareOutcome>("outcome");
        QTest::addColumn<QByteArray>("image");  // the binary image of a file that is ready
        const QByteArray bin = Image('4', Program(256));
        const auto ready = PrepareOutcome::Ready;
        const auto wrong = PrepareOutcome::NotCorrect;
        QTest::newRow("bin 269 bytes") << bin << ready << bin;
        QTest::newRow("bin 268 bytes: program too short") << bin.left(268) << wrong << QByteArray();
        QList<QByteArray> records;
        const QByteArray image = Image('3', Program(300));
        for (int at = 0; at < image.size(); at += 16) {
            records << Rec(0, static_cast<unsigned>(at), image.mid(at, 16));
        }
        QTest::newRow("hex") << Lines(records + QList{kEof}) << ready << image;
        const QList<QByteArray> padding(20, Rec(3, 0, QByteArray(4, '\0')));  // past 256 bytes
        QTest::newRow("hex data at 0x100: zeros where the header belongs")
            << Lines(QList{Rec(0, 0x100, image.left(16))} + padding + QList{kEof}) << wrong
            << QByteArray();
        QTest::newRow("hex image shorter than the header")
            << Lines(QList{Rec(0, 0, "CPUM4FW")} + padding + QList{kEof}) << wrong << QByteArray();
    }
    void prepare() {
        QFETCH(QByteArray, content);
        QFETCH(PrepareOutcome, outcome);
        QFETCH(QByteArray, image);
        QTemporaryDir dir;
        QFile file(dir.filePath("fw"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        FirmwareImage fw;
        fw.path = file.fileName().toStdString();
        fw.data.assign(10, 0xEE);  // a previous run's buffer
        const PrepareResult r = PrepareFirmware(fw);
        QCOMPARE(r.outcome, outcome);
        QCOMPARE(r.fileSize.value_or(0), static_cast<std::uint64_t>(content.size()));
        if (outcome == PrepareOutcome::Ready) {
            QCOMPARE(fw.targetDigit, image[4]);
            QVERIFY(Q(fw.data) == image.mid(kFirmwareHeaderSize));
        }
    }
};

QTEST_GUILESS_MAIN(TestHex)
#include "test_hex.moc"
