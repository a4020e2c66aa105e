// Intel HEX conversion and the file steps of one run, the firmware header included.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "firmware/FirmwareImage.h"
#include "tests/common/TestBox.h"
#include "tests/firmware/FirmwareTestSupport.h"

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
        QTest::addColumn<QString>("reason");  // why a conversion fails, with its line
        const auto row = [](const char* name, const QByteArray& text, const QByteArray& image,
                            bool ok = true, const char* reason = "") {
            QTest::newRow(name) << text << ok << image << QString(reason);
        };
        const auto fail = [&row](const char* name, const QByteArray& text, const char* reason) {
            row(name, text, {}, false, reason);
        };
        const QByteArray abc = "ABC";
        const QList<QByteArray> plain{Rec(0, 0, abc), Rec(0, 5, "xy"), kEof};
        const QByteArray plainImage("ABC\0\0xy", 7);
        row("crlf, gap filled with zeros", Lines(plain), plainImage);
        row("lf only", Lines(plain, "\n"), plainImage);
        row("blank lines, blanks, no final newline", plain.join(" \r\n\r\n\t"), plainImage);
        row("lower-case digits", Lines({Rec(0, 0xAB, "\xfe").toLower(), kEof}),
            QByteArray(0xAB, '\0') + "\xfe");
        row("overlap: later record wins", Lines({Rec(0, 0, "ABCD"), Rec(0, 1, "xy"), kEof}),
            "AxyD");
        row("extended linear address", Lines({Rec(4, 0, Address(1)), Rec(0, 2, "Z"), kEof}),
            QByteArray(0x10002, '\0') + "Z");
        row("segment address: offset adds to base without wrapping",
            Lines({Rec(2, 0, Address(0x1000)), Rec(0, 0xFFFF, "Z"), kEof}),
            QByteArray(0x1FFFF, '\0') + "Z");
        row("start address records skipped, unknown types ignored",
            Lines({Rec(3, 0, "\1\2\3\4"), Rec(5, 0, "\1\2\3\4"), Rec(0x14, 0, Address(1)),
                   Rec(0, 0, "A"), kEof}),
            "A");
        row("data record without data extends the image",
            Lines({Rec(0, 0, "A"), Rec(0, 5, ""), kEof}), QByteArray("A\0\0\0\0", 5));
        row("end of file first: empty image", Lines({kEof, Rec(0, 0, "A")}), {});
        row("last byte of the largest image",
            Lines({Rec(4, 0, Address(0x4C)), Rec(0, 0x0B, "Z"), kEof}),
            QByteArray(0x4C000B, '\0') + "Z");

        fail("missing end of file", Lines({Rec(0, 0, abc)}),
             "no end-of-file record (:00000001FF) before the text ends");
        QByteArray badSum = Rec(0, 0, abc);  // 03 00 00 00 41 42 43, checksum 37
        badSum.back() = badSum.back() == '0' ? '1' : '0';
        fail("bad checksum", Lines({Rec(0, 9, "x"), badSum, kEof}),
             "line 2: checksum 30, expected 37");
        fail("count exceeds the characters", Lines({Rec(0, 0, abc).remove(9, 2), kEof}),
             "line 1: the count says 3 data bytes; the record is shorter");
        fail("characters beyond the count", Lines({Rec(0, 0, abc) + "00", kEof}),
             "line 1: characters after the checksum; the count says 3 data bytes");
        fail("non-hex digit in the data", Lines({Rec(0, 0, abc).replace(10, 1, "G"), kEof}),
             "line 1: 'G' is not a hex digit");
        // Checksum right for address 0x0100 if the 'G' were read as 0x10.
        fail("non-hex digit in the address", Lines({":01000G0041BD", kEof}),
             "line 1: 'G' is not a hex digit");
        fail("record without colon", Lines({Rec(0, 0, abc).mid(1), kEof}),
             "line 1: a record starts with ':', not with '0'");
        fail("address beyond the largest image",
             Lines({Rec(4, 0, Address(0x4C)), Rec(0, 0x0B, "ZZ"), kEof}, "\n\n"),
             "line 3: the data ends at byte 4980749, past the largest image of 4980748 bytes");
        fail("address record of wrong size", Lines({Rec(4, 0, "\1"), kEof}),
             "line 1: an address record holds 2 bytes, this one 1");
    }
    void convert() {
        QFETCH(QByteArray, text);
        QFETCH(bool, ok);
        FirmwareImage fw;
        fw.data = test::Bytes(text);
        const Result<void> converted = ConvertHexToBinary(fw);
        QCOMPARE(converted.ok(), ok);
        QTEST(QString::fromStdString(converted ? "" : converted.error().detail), "reason");
        QTEST(Q(fw.data), "image");  // released on failure
    }

    // One run's file steps on a real file: size rules, conversion, and the header ("CPUM",
    // target digit 3 or 4, "FW"). kestrowctl's flash table has a HEX file with a bad checksum
    // and a wrong target digit, with the dialog's texts.
    void prepare_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("outcome");  // ready, or the kind of failure
        QTest::addColumn<QString>("reason");   // which size limit or header field
        const auto row = [](const char* tag, const QByteArray& content, const char* outcome,
                            const QString& reason = "") {
            QTest::newRow(tag) << content << QString(outcome) << reason;
        };
        const QByteArray bin = Image('4', Program(256));
        const QString sizes = "; the boot loader writes 256 to 4980735";
        row("bin 269 bytes", bin, "ready");
        row("bin 268 bytes: program too short", bin.left(268), "invalid",
            "the program has 255 bytes after the 13-byte header" + sizes);
        row("file of 256 bytes", bin.left(256), "invalid",
            "the file has 256 bytes; a firmware file has more than 256");
        row("wrong magic", QByteArray(bin).replace(3, 1, "m"), "invalid",
            "the header starts \"CPUm\", not \"CPUM\"");
        row("wrong FW", QByteArray(bin).replace(6, 1, "V"), "invalid",
            "the header's bytes 6 and 7 are \"FV\", not \"FW\"");
        QList<QByteArray> records;
        const QByteArray image = Image('3', Program(300));
        for (int at = 0; at < image.size(); at += 16) {
            records << Rec(0, static_cast<unsigned>(at), image.mid(at, 16));
        }
        row("hex", Lines(records + QList{kEof}), "ready");
        const QList<QByteArray> padding(20, Rec(3, 0, QByteArray(4, '\0')));  // past 256 bytes
        row("hex data at 0x100: zeros where the header belongs",
            Lines(QList{Rec(0, 0x100, image.left(16))} + padding + QList{kEof}), "invalid",
            "the header starts \"\\x00\\x00\\x00\\x00\", not \"CPUM\"");
        row("hex image shorter than the header",
            Lines(QList{Rec(0, 0, "CPUM4FW")} + padding + QList{kEof}), "invalid",
            "the image has 7 bytes, fewer than its 13-byte header" + sizes);
        row("no such file", QByteArray(), "file");
    }
    void prepare() {
        QFETCH(QByteArray, content);
        QFETCH(QString, outcome);
        QTemporaryDir dir;
        QFile file(dir.filePath("fw"));
        if (outcome != "file") {
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
            file.close();
        }
        FirmwareImage fw;
        fw.path = file.fileName().toStdString();
        fw.data.assign(10, 0xEE);  // a previous run's buffer
        const Result<void> r = PrepareFirmware(fw);
        QCOMPARE(r ? QString("ready") : test::KindWords(r.error()), outcome);
        QFETCH(QString, reason);
        const std::string said = r ? "" : r.error().detail;
        QVERIFY2(
            QString::fromStdString(said).startsWith(reason) && said.empty() == reason.isEmpty(),
            said.c_str());
        QCOMPARE(fw.fileSize.has_value(), outcome != "file");  // for the size display
        QCOMPARE(fw.fileSize.value_or(0), static_cast<std::uint64_t>(content.size()));
        if (outcome == "ready") {
            const QByteArray image = content.startsWith(':') ? Image('3', Program(300)) : content;
            QCOMPARE(fw.targetDigit, image[4]);
            QCOMPARE(Q(fw.header), image.left(kFirmwareHeaderSize));
            QCOMPARE(Q(fw.data), image.mid(kFirmwareHeaderSize));
        }
    }
};

QTEST_GUILESS_MAIN(TestHex)
#include "test_hex.moc"
