// Intel HEX conversion, the firmware header and the file steps of one run.
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <string>

#include "FirmwareImage.h"

using namespace kestrow;

namespace {

// One HEX record with its checksum, lower-case when asked.
QByteArray Rec(int type, unsigned address, const QByteArray& bytes, bool lower = false) {
    QByteArray raw;
    raw.append(static_cast<char>(bytes.size()));
    raw.append(static_cast<char>(address >> 8));
    raw.append(static_cast<char>(address & 0xFF));
    raw.append(static_cast<char>(type));
    raw.append(bytes);
    unsigned sum = 0;
    for (char c : raw) {
        sum += static_cast<unsigned char>(c);
    }
    raw.append(static_cast<char>((0x100 - (sum & 0xFF)) & 0xFF));
    QByteArray text = ":" + raw.toHex().toUpper();
    return lower ? text.toLower() : text;
}

QByteArray Address(unsigned value) {
    QByteArray b;
    b.append(static_cast<char>(value >> 8));
    b.append(static_cast<char>(value & 0xFF));
    return b;
}

const QByteArray kEof = ":00000001FF";
constexpr qsizetype kHeader = 13;

QByteArray Lines(const QList<QByteArray>& records, const QByteArray& separator = "\r\n") {
    return records.join(separator) + separator;
}

QByteArray Convert(const QByteArray& text, bool& ok) {
    std::vector<std::uint8_t> image{1, 2, 3};  // must be replaced, not appended to
    ok = HexToBinary({reinterpret_cast<const std::uint8_t*>(text.constData()),
                      static_cast<std::size_t>(text.size())},
                     image);
    return QByteArray(reinterpret_cast<const char*>(image.data()),
                      static_cast<qsizetype>(image.size()));
}

QByteArray Header(char digit) {
    return QByteArray("CPUM") + digit + "FW" + QByteArray(6, '\x5A');
}

QByteArray Program(int size) {
    QByteArray p(size, '\0');
    for (int i = 0; i < size; ++i) {
        p[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    }
    return p;
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
        QTest::newRow("blank lines and blanks")
            << Lines(plain, " \r\n\r\n\t") << true << plainImage;
        QTest::newRow("single space, no final newline") << plain.join(" ") << true << plainImage;
        QTest::newRow("lower-case digits") << Lines({Rec(0, 0xAB, "\xfe", true), kEof.toLower()})
                                           << true << QByteArray(0xAB, '\0') + "\xfe";
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
            << Lines({Rec(3, 0, "\1\2\3\4"), Rec(5, 0, "\1\2\3\4"), Rec(0x10, 0, "Q"),
                      Rec(0x14, 0, Address(1)), Rec(0, 0, "A"), kEof})
            << true << QByteArray("A");
        QTest::newRow("end of file first: empty image")
            << Lines({kEof, Rec(0, 0, "A")}) << true << QByteArray();
        QTest::newRow("text after end of file not read")
            << Lines({Rec(0, 0, "A"), kEof}) + "junk" << true << QByteArray("A");
        QTest::newRow("last byte of the largest image")
            << Lines({Rec(4, 0, Address(0x4C)), Rec(0, 0x0B, "Z"), kEof}) << true
            << QByteArray(0x4C000B, '\0') + "Z";

        const QByteArray none;
        QTest::newRow("empty text") << QByteArray() << false << none;
        QTest::newRow("only blanks") << QByteArray(" \r\n ") << false << none;
        QTest::newRow("missing end of file") << Lines({Rec(0, 0, abc)}) << false << none;
        QByteArray badSum = Rec(0, 0, abc);
        badSum[badSum.size() - 1] = badSum[badSum.size() - 1] == '0' ? '1' : '0';
        QTest::newRow("bad checksum") << Lines({badSum, kEof}) << false << none;
        QTest::newRow("bad checksum on end of file") << Lines({":00000001FE"}) << false << none;
        QByteArray shortCount = Rec(0, 0, abc);
        shortCount.remove(9, 2);  // count 3, two bytes of data
        QTest::newRow("count exceeds the characters") << Lines({shortCount, kEof}) << false << none;
        QTest::newRow("count exceeds the text") << QByteArray(":10000000") << false << none;
        QTest::newRow("characters beyond the count")
            << Lines({Rec(0, 0, abc) + "00", kEof}) << false << none;
        QByteArray badDigit = Rec(0, 0, abc);
        badDigit[10] = 'G';
        QTest::newRow("non-hex digit") << Lines({badDigit, kEof}) << false << none;
        QTest::newRow("record without colon")
            << Lines({Rec(0, 0, abc).mid(1), kEof}) << false << none;
        QTest::newRow("NUL inside the text")
            << Lines({Rec(0, 0, abc), kEof}).replace('\n', '\0') << false << none;
        QTest::newRow("address beyond the largest image")
            << Lines({Rec(4, 0, Address(0x4C)), Rec(0, 0x0B, "ZZ"), kEof}) << false << none;
        QTest::newRow("huge linear address")
            << Lines({Rec(4, 0, Address(0xFFFF)), Rec(0, 0xFFF0, abc), kEof}) << false << none;
        QTest::newRow("address record of wrong size")
            << Lines({Rec(4, 0, "\1"), kEof}) << false << none;
    }
    void convert() {
        QFETCH(QByteArray, text);
        QFETCH(bool, ok);
        QFETCH(QByteArray, image);
        bool converted = false;
        const QByteArray result = Convert(text, converted);
        QCOMPARE(converted, ok);
        if (ok) {
            QCOMPARE(result.size(), image.size());
            QVERIFY(result == image);
        }
    }

    void header_data() {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<char>("digit");
        QTest::newRow("target 3") << Header('3') + "prog" << true << '3';
        QTest::newRow("target 4") << Header('4') + "prog" << true << '4';
        QTest::newRow("header only") << Header('4') << true << '4';
        QTest::newRow("target 5") << Header('5') + "prog" << false << '\0';
        QTest::newRow("target 0") << Header('0') + "prog" << false << '\0';
        QTest::newRow("wrong magic") << "CPUm" + Header('4').mid(4) + "prog" << false << '\0';
        QTest::newRow("wrong FW") << Header('4').replace(5, 2, "FV") + "prog" << false << '\0';
        QTest::newRow("twelve bytes") << Header('4').left(12) << false << '\0';
        QTest::newRow("empty") << QByteArray() << false << '\0';
    }
    void header() {
        QFETCH(QByteArray, image);
        QFETCH(bool, ok);
        QFETCH(char, digit);
        FirmwareImage fw;
        fw.data.assign(image.begin(), image.end());
        QCOMPARE(StripFirmwareHeader(fw), ok);
        if (ok) {
            QCOMPARE(fw.targetDigit, digit);
            QVERIFY(std::memcmp(fw.header.data(), image.constData(), kFirmwareHeaderSize) == 0);
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(fw.data.data()),
                                static_cast<qsizetype>(fw.data.size())),
                     image.mid(kHeader));
        } else {
            QCOMPARE(fw.data.size(), static_cast<std::size_t>(image.size()));
        }
    }

    // One run's file steps on real files.
    void prepare_data() {
        QTest::addColumn<QByteArray>("content");  // "<dir>" for a folder, "<none>" for no file
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<char>("digit");

        const QByteArray p256 = Program(256);
        const auto ready = static_cast<int>(PrepareOutcome::Ready);
        const auto wrong = static_cast<int>(PrepareOutcome::NotCorrect);
        QTest::newRow("no file") << QByteArray("<none>")
                                 << static_cast<int>(PrepareOutcome::CouldNotOpen) << QByteArray()
                                 << '\0';
        QTest::newRow("a folder") << QByteArray("<dir>")
                                  << static_cast<int>(PrepareOutcome::CouldNotOpen) << QByteArray()
                                  << '\0';
        QTest::newRow("bin 269 bytes") << Header('4') + p256 << ready << p256 << '4';
        QTest::newRow("bin 268 bytes: program too short")
            << Header('4') + p256.left(255) << wrong << QByteArray() << '\0';
        QTest::newRow("bin 256 bytes") << p256 << wrong << QByteArray() << '\0';
        QTest::newRow("bin wrong magic")
            << "XPUM" + Header('3').mid(4) + p256 << wrong << QByteArray() << '\0';
        QList<QByteArray> records;
        const QByteArray image = Header('3') + Program(300);
        for (int at = 0; at < image.size(); at += 16) {
            records << Rec(0, static_cast<unsigned>(at), image.mid(at, 16));
        }
        QTest::newRow("hex") << Lines(records + QList<QByteArray>{kEof}) << ready
                             << image.mid(kHeader) << '3';
        QTest::newRow("hex without end of file")
            << Lines(records) << static_cast<int>(PrepareOutcome::ConvertFailed) << QByteArray()
            << '\0';
        QList<QByteArray> shifted{Rec(0, 0x100, image.left(16))};
        for (int i = 0; i < 20; ++i) {
            shifted << Rec(0x03, 0, QByteArray(4, '\0'));
        }
        QTest::newRow("hex data at 0x100")
            << Lines(shifted + QList<QByteArray>{kEof}) << wrong << QByteArray() << '\0';
        QList<QByteArray> tiny{Rec(0, 0, "CPUM4FW")};
        for (int i = 0; i < 20; ++i) {
            tiny << Rec(0x05, 0, QByteArray(4, '\0'));
        }
        QTest::newRow("hex image shorter than header")
            << Lines(tiny + QList<QByteArray>{kEof}) << wrong << QByteArray() << '\0';
    }
    void prepare() {
        QFETCH(QByteArray, content);
        QFETCH(int, outcome);
        QFETCH(QByteArray, program);
        QFETCH(char, digit);
        QTemporaryDir dir;
        FirmwareImage fw;
        if (content == "<dir>") {
            fw.path = dir.path().toStdString();
        } else if (content != "<none>") {
            QFile file(dir.filePath("fw.bin"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
            file.close();
            fw.path = file.fileName().toStdString();
            QCOMPARE(FirmwareFileSize(fw.path),
                     std::optional<std::uint64_t>(static_cast<std::uint64_t>(content.size())));
        }
        fw.data.assign(10, 0xEE);  // a previous run's buffer
        const PrepareResult r = PrepareFirmware(fw);
        QCOMPARE(static_cast<int>(r.outcome), outcome);
        if (r.outcome == PrepareOutcome::Ready) {
            QCOMPARE(fw.targetDigit, digit);
            QVERIFY(QByteArray(reinterpret_cast<const char*>(fw.data.data()),
                               static_cast<qsizetype>(fw.data.size())) == program);
        }
        if (r.outcome == PrepareOutcome::ConvertFailed) {
            QVERIFY(fw.data.empty());
        }
        QCOMPARE(r.fileSize.has_value(), r.outcome != PrepareOutcome::CouldNotOpen);
    }

    void sizeText() {
        QCOMPARE(FileSizeText(1234), std::string("1234 byte."));
        QCOMPARE(FileSizeText(0), std::string("0 byte."));
    }

    // A file made by the standard tool converts back to the bytes it was made from, across
    // the 64 KiB boundary where extended linear address records appear.
    void objcopyRoundTrip() {
        const QString objcopy = QStandardPaths::findExecutable("objcopy");
        if (objcopy.isEmpty()) {
            QSKIP("objcopy not installed");
        }
        QTemporaryDir dir;
        const QByteArray image = Header('4') + Program(70000);
        QFile bin(dir.filePath("fw.bin"));
        QVERIFY(bin.open(QIODevice::WriteOnly));
        bin.write(image);
        bin.close();
        const QString hexPath = dir.filePath("fw.hex");
        QCOMPARE(
            QProcess::execute(objcopy, {"-I", "binary", "-O", "ihex", bin.fileName(), hexPath}), 0);
        FirmwareImage fw;
        fw.path = hexPath.toStdString();
        QCOMPARE(PrepareFirmware(fw).outcome, PrepareOutcome::Ready);
        QCOMPARE(fw.targetDigit, '4');
        QVERIFY(QByteArray(reinterpret_cast<const char*>(fw.data.data()),
                           static_cast<qsizetype>(fw.data.size())) == image.mid(13));
    }
};

QTEST_GUILESS_MAIN(TestHex)
#include "test_hex.moc"
