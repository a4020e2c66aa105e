// The Firmware Update dialog against the simulated box: status lines in order, message boxes,
// progress bar, Burn disabled during a run, closing refused during a run.
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include "device/DeviceLink.h"
#include "firmware/FirmwareTexts.h"
#include "tests/firmware/FirmwareTestSupport.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/dialogs/FirmwareUpdateDialog.h"
#include "ui/dialogs/FirmwareUpdateDialogTemplate.h"

using namespace kestrow;
using namespace kestrow::test;
namespace text = kestrow::firmware_text;
using Ids = kestrow::ui::FirmwareUpdateIds;

namespace {

constexpr int kPort = 200;  // no device family: only the link in the test's ports folder
const QStringList kGoodRun{text::kConnected, text::kWriting, text::kUpdated};
enum File { GoodFile, NoFile };
enum BoxMode { Boot, Status43, Vanish3, Absent, Occupied, OccupiedDestroyed };

// One dialog with its recorders; a run is started with Burn and followed to its end.
struct Bench {
    test::RecordingReporter reporter;
    test::MessageRecorder messages;
    test::PortsDir ports;
    QTemporaryDir files;
    std::unique_ptr<sim::BoxSim> box;
    std::unique_ptr<FirmwareUpdateDialog> dlg = std::make_unique<FirmwareUpdateDialog>();
    QStringList statuses;
    bool burnEnabledDuringRun = false;
    int runsFinished = 0;

    Bench() {
        dlg->port = ports.Port(kPort);
        (void)dlg->CreateModeless(nullptr);
        dlg->onStatusShown = [this](std::string_view t) {
            statuses << test::Text(t);
            burnEnabledDuringRun = burnEnabledDuringRun || burn()->isEnabled();
        };
        dlg->onRunFinished = [this] { ++runsFinished; };
    }
    QPushButton* burn() const { return ui::ControlOf<QPushButton>(*dlg, Ids::kBurnButton); }

    bool StartBox(sim::BoxConfig config = {}) {
        config.startInBootLoader = true;
        box = test::StartLinkedBox(ports, kPort, config);
        return box != nullptr;
    }
    // Writes `content` to a file `name` and loads it.
    void Load(const QString& name, const QByteArray& content) {
        if (test::WriteFile(files.filePath(name), content)) {
            dlg->LoadFile(files.filePath(name).toStdString());
        }
    }

    // Clicks Burn, calls `during` while the run lasts, and waits for the run's end; false
    // unless Burn was disabled meanwhile and enabled again at the end.
    bool Burn(const std::function<void()>& during = {}) {
        statuses.clear();
        messages.clear();
        QTest::mouseClick(burn(), Qt::LeftButton);
        if (burn()->isEnabled() || !dlg->Running()) {
            return false;
        }
        const int finished = runsFinished;
        if (during) {
            during();
        }
        return QTest::qWaitFor([&] { return runsFinished > finished; }, 30000) && !dlg->Running() &&
               burn()->isEnabled();
    }
    bool Flashed(const QByteArray& program) const { return box && box->flash() == Bytes(program); }
};

}  // namespace

class TestFirmwareUpdateDialog : public QObject {
    Q_OBJECT

  private slots:
    // Load File: BIN selected first, matching names in any case as on Windows; the size of the
    // file chosen shows.
    void loadFile() {
        Bench b;
        QTemporaryDir dir;
        for (const char* name : {"a.bin", "b.BIN", "c.hex", "d.txt"}) {
            QVERIFY(test::WriteFile(dir.filePath(name), "12345"));
        }
        QStringList filters;
        QStringList listed;
        QObject scope;
        test::WhenShown<QFileDialog>(&scope, [&](QFileDialog* fd) {
            filters = fd->nameFilters();
            auto* model = fd->findChild<QFileSystemModel*>();
            fd->setDirectory(dir.path());
            const QModelIndex root = model->index(dir.path());
            (void)QTest::qWaitFor([&] { return model->rowCount(root) >= 2; }, 5000);
            for (int row = 0; row < model->rowCount(root); ++row) {
                if (const QModelIndex i = model->index(row, 0, root);
                    i.flags() & Qt::ItemIsEnabled) {
                    listed << i.data().toString();
                }
            }
            auto* name = fd->findChild<QLineEdit*>("fileNameEdit");
            name->setText(dir.filePath("b.BIN"));
            QTest::keyClick(name, Qt::Key_Return);
        });
        b.dlg->Command(Ids::kLoadFileButton);
        QCOMPARE(filters, QStringList({"BIN (*.BIN)", "HEX (*.HEX)", "All Files (*.*)"}));
        listed.sort();
        QCOMPARE(listed, QStringList({"a.bin", "b.BIN"}));
        QCOMPARE(b.dlg->ItemText(Ids::kFileSizeText), std::string("5 byte."));
    }

    void run_data() {
        QTest::addColumn<File>("file");
        QTest::addColumn<BoxMode>("box");
        QTest::addColumn<QStringList>("statuses");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<int>("progress");
        const QStringList none;
        QTest::newRow("good run") << GoodFile << Boot << kGoodRun << none << 13;
        QTest::newRow("no file loaded")
            << NoFile << Boot << QStringList{text::kPleaseLoadFile} << none << 0;
        QTest::newRow("port held by another program")
            << GoodFile << Occupied << none << QStringList{text::kPortOccupied} << 0;
        QTest::newRow("no device")
            << GoodFile << Absent << QStringList{text::kOpenFailed} << none << 0;
        QTest::newRow("other target: status 43")
            << GoodFile << Status43 << QStringList{text::kConnected, text::kConnectFailed}
            << QStringList{text::kCheckVersion} << 0;
        QTest::newRow("box vanishes at block 3")
            << GoodFile << Vanish3
            << QStringList{text::kConnected, text::kWriting, text::kWriteFailed}
            << QStringList{text::kBootLoaderWaits} << 3;
        // The program ending: the dialog waits for the run and answers its boxes meanwhile.
        QTest::newRow("destroyed during a run")
            << GoodFile << OccupiedDestroyed << none << QStringList{text::kPortOccupied} << 0;
    }
    void run() {
        QFETCH(BoxMode, box);
        QFETCH(QStringList, statuses);
        Bench b;
        const QByteArray program = Program(1000);
        if (test::Column<File>("file") == GoodFile) {
            b.Load("fw.BIN", Image('4', program));
            QCOMPARE(b.dlg->ItemText(Ids::kFileSizeText), std::string("1013 byte."));
        }
        QVERIFY(box == Absent || b.StartBox({.status = uint8_t(box == Status43 ? 0x43 : 0x40),
                                             .vanishAtBlock = box == Vanish3 ? 3 : -1}));
        SerialPort holder;
        if (box == Occupied || box == OccupiedDestroyed) {
            QVERIFY(OpenForLongReads(holder, b.ports.Port(kPort)));
        }
        if (box == OccupiedDestroyed) {
            b.dlg->Command(Ids::kBurnButton);
            QVERIFY(b.dlg->Running());
            b.dlg.reset();
            QTEST(b.messages.texts(), "boxes");
            return;
        }

        QVERIFY(b.Burn());
        QCOMPARE(b.statuses, statuses);
        QCOMPARE(Text(b.dlg->ItemText(Ids::kStatusText)),
                 statuses.isEmpty() ? QString() : statuses.last());
        QTEST(b.messages.texts(), "boxes");
        for (const auto& r : b.messages.requests()) {
            QCOMPARE(r.caption, std::string());
            QCOMPARE(r.buttons, ui::MessageButtons::Ok);
        }
        QVERIFY(!b.burnEnabledDuringRun);
        QTEST(ui::ControlOf<QProgressBar>(*b.dlg, Ids::kProgressBar)->value(), "progress");
        QVERIFY(!ui::WaitCursorShown());
        QVERIFY(!b.dlg->PortOpen());
        QCOMPARE(b.Flashed(program), statuses.contains(text::kUpdated));
        // The serial layer says why the port failed.
        QCOMPARE(b.reporter.texts().empty(), box != Absent && box != Vanish3);
    }

    // Two runs in a row: during the first, closing does nothing and Load File does not change
    // the file being written; the second reads the newly loaded file. Then the dialog closes.
    void runsInARow() {
        Bench b;
        QVERIFY(
            Text(b.dlg->ItemText(Ids::kInstructionsEdit))
                .contains("\n5.Click \u201CBurn\u201D button to start the FW update process\n"));
        QVERIFY(b.StartBox());
        const QByteArray first = Program(3000, 9);
        const QByteArray second = Program(2000, 11);
        b.Load("fw.bin", Image('4', first));
        QVERIFY(b.Burn([&] {
            b.Load("other.bin", Image('3', second));
            QVERIFY(!b.dlg->Window().close());
            QTest::keyClick(&b.dlg->Window(), Qt::Key_Escape);
            QVERIFY(b.dlg->Window().isVisible());
        }));
        QCOMPARE(b.statuses, kGoodRun);
        QVERIFY(b.Flashed(first));

        QVERIFY(b.Burn());
        QCOMPARE(b.statuses, kGoodRun);
        QVERIFY(b.Flashed(second));
        QCOMPARE(b.box->downloadAddress(), 0x1000u);
        QCOMPARE(ui::ControlOf<QProgressBar>(*b.dlg, Ids::kProgressBar)->value(), 2000 / 76);
        QTest::keyClick(&b.dlg->Window(), Qt::Key_Escape);
        QVERIFY(!b.dlg->Window().isVisible());
        QCOMPARE(b.dlg->Window().result(), 2);
    }
};

QTEST_MAIN(TestFirmwareUpdateDialog)
#include "test_firmware_update_dialog.moc"
