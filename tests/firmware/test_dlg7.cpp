// The Firmware Update dialog against the simulated box: status lines in order, message boxes,
// progress bar, Burn disabled during a run, closing refused during a run.
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "Cursors.h"
#include "Dlg7.h"
#include "FirmwareTexts.h"
#include "PortNaming.h"
#include "TestBox.h"
#include "UiTestSupport.h"

using namespace kestrow;
namespace text = kestrow::firmware_text;

namespace {

constexpr int kPort = 200;  // no device family: only the link in the test's ports folder

QByteArray Program(int size, int seed) {
    QByteArray p(size, '\0');
    for (int i = 0; i < size; ++i) {
        p[i] = static_cast<char>((i * seed + i / 200) & 0xFF);
    }
    return p;
}

QByteArray Image(char digit, const QByteArray& program) {
    return QByteArray("CPUM") + digit + "FW" + QByteArray(6, '\x11') + program;
}

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content) {
    QFile f(dir.filePath(name));
    if (!f.open(QIODevice::WriteOnly)) {
        return {};
    }
    f.write(content);
    return f.fileName();
}

std::vector<std::uint8_t> Bytes(const QByteArray& a) {
    return {a.begin(), a.end()};
}

// One dialog with its recorders; a run is started with Burn and followed to its end.
struct Bench {
    test::RecordingReporter reporter;
    test::MessageRecorder messages;
    test::PortsDir ports;
    QTemporaryDir files;
    Dlg7 dlg;
    QStringList statuses;
    bool burnEnabledDuringRun = false;

    Bench() {
        dlg.port = kPort;
        (void)dlg.CreateModeless(nullptr);
        QObject::connect(&dlg, &Dlg7::statusShown, [this](const QString& t) {
            statuses << t;
            burnEnabledDuringRun = burnEnabledDuringRun || burn()->isEnabled();
        });
    }
    QPushButton* burn() const { return dlg.ControlAs<QPushButton>(1010); }
    QProgressBar* bar() const { return dlg.ControlAs<QProgressBar>(1009); }

    bool Burn() {
        statuses.clear();
        messages.clear();
        QTest::mouseClick(burn(), Qt::LeftButton);
        if (burn()->isEnabled() || !dlg.Running()) {
            return false;
        }
        QSignalSpy finished(&dlg, &Dlg7::runFinished);
        return finished.wait(30000) && !dlg.Running() && burn()->isEnabled();
    }
};

}  // namespace

class TestDlg7 : public QObject {
    Q_OBJECT

  private slots:
    void layout() {
        Dlg7 dlg;
        QVERIFY(dlg.CreateModeless(nullptr));
        QCOMPARE(dlg.windowTitle(), QString("Firmware Update"));
        for (int hidden : {1, 2, 1003}) {
            QVERIFY(!dlg.Control(hidden)->isVisible());
        }
        const QStringList lines =
            dlg.ControlAs<QPlainTextEdit>(1008)->toPlainText().split(QChar('\n'));
        QCOMPARE(lines.size(), 9);
        QCOMPARE(lines[4],
                 QString::fromUtf8("4.Click \u201CLoad File\u201D button to select the FW file"));
        QCOMPARE(lines[5], QString::fromUtf8(
                               "5.Click \u201CBurn\u201D button to start the FW update process"));
        QCOMPARE(dlg.ControlText(1031), QString());
    }

    void fileDialog() {
        const auto fd = Dlg7::MakeFileDialog(nullptr);
        QCOMPARE(fd->nameFilters(), QStringList({"BIN (*.BIN)", "HEX (*.HEX)", "All Files (*.*)"}));
        QCOMPARE(fd->selectedNameFilter(), QString("BIN (*.BIN)"));
        QTemporaryDir dir;
        for (const char* name : {"a.bin", "b.BIN", "c.hex", "d.txt"}) {
            QVERIFY(!WriteFile(dir, name, "x").isEmpty());
        }
        auto* model = fd->findChild<QFileSystemModel*>();
        QVERIFY(model);
        fd->setDirectory(dir.path());
        const QModelIndex root = model->index(dir.path());
        QTRY_VERIFY_WITH_TIMEOUT(model->rowCount(root) >= 2, 5000);
        QStringList listed;
        for (int row = 0; row < model->rowCount(root); ++row) {
            const QModelIndex index = model->index(row, 0, root);
            if (index.flags() & Qt::ItemIsEnabled) {
                listed << index.data().toString();
            }
        }
        listed.sort();
        QCOMPARE(listed, QStringList({"a.bin", "b.BIN"}));
    }

    void loadFile() {
        Bench b;
        const QString path = WriteFile(b.files, "fw.bin", Image('4', Program(1000, 3)));
        b.dlg.LoadFile(path);
        QCOMPARE(b.dlg.ControlText(1014), QString("1013 byte."));
        b.dlg.LoadFile(b.files.filePath("missing.bin"));  // cannot be opened: nothing changes
        QCOMPARE(b.dlg.ControlText(1014), QString("1013 byte."));
    }

    void run_data() {
        QTest::addColumn<QString>("file");  // good, none, badhex, small
        QTest::addColumn<QString>("box");   // boot, status43, nak2, absent, occupied
        QTest::addColumn<QStringList>("statuses");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<int>("progress");
        const QStringList none;
        QTest::newRow("good run") << "good"
                                  << "boot"
                                  << QStringList{text::kConnected, text::kWriting, text::kUpdated}
                                  << none << 13;
        QTest::newRow("no file loaded")
            << "none"
            << "boot" << QStringList{text::kPleaseLoadFile} << none << 0;
        QTest::newRow("hex without end of file")
            << "badhex"
            << "boot" << QStringList{text::kConvertFailed} << none << 0;
        QTest::newRow("file of 256 bytes")
            << "small"
            << "boot" << none << QStringList{text::kFileNotCorrect} << 0;
        QTest::newRow("port held by another program")
            << "good"
            << "occupied" << none << QStringList{text::kPortOccupied} << 0;
        QTest::newRow("no device") << "good"
                                   << "absent" << QStringList{text::kOpenFailed} << none << 0;
        QTest::newRow("other target: status 43")
            << "good"
            << "status43" << QStringList{text::kConnected, text::kConnectFailed}
            << QStringList{text::kCheckVersion} << 0;
        QTest::newRow("nak at block 2")
            << "good"
            << "nak2" << QStringList{text::kConnected, text::kWriting, text::kWriteFailed} << none
            << 2;
    }
    void run() {
        QFETCH(QString, file);
        QFETCH(QString, box);
        QFETCH(QStringList, statuses);
        QFETCH(QStringList, boxes);
        QFETCH(int, progress);
        Bench b;
        const QByteArray program = Program(1000, 7);
        if (file == "good") {
            b.dlg.LoadFile(WriteFile(b.files, "fw.BIN", Image('4', program)));
        } else if (file == "badhex") {
            b.dlg.LoadFile(
                WriteFile(b.files, "fw.hex", QByteArray(":00000000") + QByteArray(300, ' ')));
        } else if (file == "small") {
            b.dlg.LoadFile(WriteFile(b.files, "fw.bin", Image('4', program).left(256)));
        }
        sim::BoxConfig config;
        config.startInBootLoader = true;
        config.status = box == "status43" ? 0x43 : 0x40;
        config.nakBlock = box == "nak2" ? 2 : -1;
        std::unique_ptr<sim::BoxSim> sim;
        if (box != "absent") {
            sim = test::StartLinkedBox(b.ports, kPort, config);
            QVERIFY(sim);
        }
        SerialPort holder;
        if (box == "occupied") {
            holder.Open(kPort, 115200, SerialParity::None, 8, SerialStopBits::One,
                        SerialFlowControl::None, false);
            QVERIFY(holder.IsOpen());
        }

        QVERIFY(b.Burn());
        QCOMPARE(b.statuses, statuses);
        QCOMPARE(b.messages.texts(), boxes);
        for (const auto& r : b.messages.requests()) {
            QCOMPARE(r.caption, QString());
            QCOMPARE(r.buttons, ui::MessageButtons::Ok);
        }
        QVERIFY(!b.burnEnabledDuringRun);
        QCOMPARE(b.bar()->value(), progress);
        QVERIFY(!ui::WaitCursorShown());
        if (!statuses.isEmpty()) {
            QCOMPARE(b.dlg.ControlText(1031), statuses.last());
        }
        if (sim && box != "occupied") {
            QCOMPARE(sim->flash() == Bytes(program), statuses.contains(text::kUpdated));
            QCOMPARE(ProbePortAccess(kPort), PortAccess::Available);  // closed after the run
        }
        if (box == "absent") {
            QVERIFY(!b.reporter.texts().empty());  // the serial layer said why
        }
    }

    // The file is read again for the second run; the port was closed after the first.
    void twoRuns() {
        Bench b;
        sim::BoxConfig config;
        config.startInBootLoader = true;
        auto sim = test::StartLinkedBox(b.ports, kPort, config);
        QVERIFY(sim);
        const QString path = WriteFile(b.files, "fw.bin", Image('4', Program(800, 5)));
        b.dlg.LoadFile(path);
        QVERIFY(b.Burn());
        QCOMPARE(b.statuses.last(), QString(text::kUpdated));
        const QByteArray second = Program(2000, 11);
        QCOMPARE(WriteFile(b.files, "fw.bin", Image('3', second)), path);
        QVERIFY(b.Burn());
        QCOMPARE(b.statuses, QStringList({text::kConnected, text::kWriting, text::kUpdated}));
        QVERIFY(sim->flash() == Bytes(second));
        QCOMPARE(sim->downloadAddress(), 0x1000u);
        QCOMPARE(b.bar()->value(), 2000 / 76);
    }

    // While a run lasts, the close box, Esc and Cancel do nothing and Load File does not
    // change the file being written; afterwards the dialog closes normally.
    void duringRun() {
        Bench b;
        sim::BoxConfig config;
        config.startInBootLoader = true;
        auto sim = test::StartLinkedBox(b.ports, kPort, config);
        QVERIFY(sim);
        const QByteArray program = Program(3000, 9);
        b.dlg.LoadFile(WriteFile(b.files, "fw.bin", Image('4', program)));
        QTest::mouseClick(b.burn(), Qt::LeftButton);
        QVERIFY(b.dlg.Running());
        QVERIFY(!b.burn()->isEnabled());
        b.dlg.LoadFile(WriteFile(b.files, "other.bin", Image('4', Program(500, 1))));
        QVERIFY(!b.dlg.close());
        QTest::keyClick(&b.dlg, Qt::Key_Escape);
        b.dlg.Command(2);
        QVERIFY(b.dlg.isVisible());
        QSignalSpy finished(&b.dlg, &Dlg7::runFinished);
        QVERIFY(finished.wait(30000));
        QCOMPARE(b.dlg.ControlText(1031), QString(text::kUpdated));
        QVERIFY(sim->flash() == Bytes(program));
        QTest::keyClick(&b.dlg, Qt::Key_Escape);
        QVERIFY(!b.dlg.isVisible());
        QCOMPARE(b.dlg.result(), 2);
    }

    // A file made by the standard tool flashes into the box.
    void objcopyHexEndToEnd() {
        const QString objcopy = QStandardPaths::findExecutable("objcopy");
        if (objcopy.isEmpty()) {
            QSKIP("objcopy not installed");
        }
        Bench b;
        sim::BoxConfig config;
        config.startInBootLoader = true;
        auto sim = test::StartLinkedBox(b.ports, kPort, config);
        QVERIFY(sim);
        const QByteArray program = Program(5000, 13);
        const QString bin = WriteFile(b.files, "fw.bin", Image('4', program));
        const QString hex = b.files.filePath("fw.HEX");
        QCOMPARE(QProcess::execute(objcopy, {"-I", "binary", "-O", "ihex", bin, hex}), 0);
        b.dlg.LoadFile(hex);
        QVERIFY(b.Burn());
        QCOMPARE(b.statuses, QStringList({text::kConnected, text::kWriting, text::kUpdated}));
        QVERIFY(sim->flash() == Bytes(program));
        QCOMPARE(sim->downloadAddress(), 0x2800u);
    }
};

QTEST_MAIN(TestDlg7)
#include "test_dlg7.moc"
