// The main window's settings files against the simulated box: Save settings... and Load
// settings..., asked for by shortcut or the context menu, judged by the box's memory and the
// frames it received.
#include <sys/resource.h>

#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <csignal>

#include "settings/NameTables.h"
#include "settings/SettingValues.h"
#include "tests/ui/UiTestSupport.h"

using namespace kestrow;
using namespace kestrow::sim;
using namespace kestrow::test;

namespace {

// The settings files: the context menu's entries, the file dialogs, the answer to a Save or
// Load before a refresh.
const QStringList kMenu{"Save settings... Ctrl+S", "Load settings... Ctrl+O"};
const QString kFileDialog = QStringLiteral(" settings|Settings (*.json);All Files (*.*)");
const QString kRefreshFirst = QStringLiteral("|Please refresh first ! (owned)");
const QPoint kBackground(40, 470);  // no control there

// While it lives, a file size limit of 0 bytes for the process when `on` (writes fail with
// "File too large": SIGXFSZ is ignored), the limit as it was otherwise.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(bool on) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = on ? 0 : old_.rlim_cur;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        (void)std::signal(SIGXFSZ, SIG_IGN);  // for the rest of the test program
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &old_); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit old_{};
};

}  // namespace

class TestMainWindowFiles : public MainWindowTest {
    Q_OBJECT

    // "2.1=140" names setting (2,1) of the box's memory, "G0=2190" GenLock register 0: the
    // cells as the box holds them now, after their values were written into it when `set`.
    QStringList Memory(const QStringList& cells, bool set = false) {
        QStringList now;
        for (const QString& cell : cells) {
            const bool genlock = cell.startsWith('G');
            const QStringList at = cell.mid(genlock ? 1 : 0).split(QRegularExpression("[.=]"));
            const auto n = [&at](int k) { return uint8_t(at[k].toUInt()); };
            if (set && genlock) {
                box_->SetGenlock(n(0), uint16_t(at[1].toUInt()));
            } else if (set) {
                box_->SetSetting(n(0), n(1), n(2));
            }
            const unsigned value = genlock ? box_->genlock(n(0)) : box_->setting(n(0), n(1));
            now << cell.left(cell.indexOf('=') + 1) + QString::number(value);
        }
        return now;
    }
    // The window on a box of `config` that holds `memory`, refreshed when `refresh`; then the
    // box's record emptied.
    void Prepare(const BoxConfig& config, const QStringList& memory, bool refresh) {
        Open(config, false);
        (void)Memory(memory, true);
        if (refresh) {
            dlg_->Command(Ids::kRefreshButton);
            QCOMPARE(dlg_->refreshed, 1);
        }
        box_->ClearReceived();
    }
    // Save settings... (save) or Load settings... as the operator asks for it: Ctrl+S or Ctrl+O
    // in the port field, or a right click on the window's background and the menu's entry. The
    // file dialog that opens gets `file` typed and Enter (and Yes when it asks whether to
    // replace the file); it opens only `refreshed`. The wait cursor shows through every wait,
    // during which `during` runs.
    void Ask(bool save, bool menu, const QString& file, bool refreshed,
             std::function<void()> during = {}) {
        const IdleWatch watch(Picture(Ids::kRefreshButton), std::move(during));
        QStringList shown;  // the menu's entries and shortcuts, "title|filters" of the file dialog
        dlg_->Window().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg_->Window()));
        QObject scope;  // ends the waits for windows that did not show
        WhenShown<QFileDialog>(&scope, [&](QFileDialog* dialog) {
            shown << dialog->windowTitle() + '|' + dialog->nameFilters().join(';');
            if (QFile::exists(file)) {
                WhenShown<QMessageBox>(
                    &scope, [](QMessageBox* ask) { ask->button(QMessageBox::Yes)->click(); });
            }
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            name->setText(file);
            QTest::keyClick(name, Qt::Key_Return);
        });
        if (menu) {
            WhenShown<QMenu>(&scope, [&](QMenu* popup) {
                QAction* entry = nullptr;
                for (QAction* a : popup->actions()) {
                    shown << a->text() + ' ' + a->shortcut().toString();
                    entry = a->text().startsWith(save ? "Save" : "Load") ? a : entry;
                }
                QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(entry).center());
            });
            // Through the window system, which turns a right click into a context menu event.
            QTest::mouseClick(dlg_->Window().windowHandle(), Qt::RightButton, {}, kBackground);
        } else {
            QWidget* field = QApplication::focusWidget();
            QVERIFY(field != nullptr && field->window() == &dlg_->Window());
            QTest::keyClick(field, save ? Qt::Key_S : Qt::Key_O, Qt::ControlModifier);
        }
        QVERIFY(watch.waitCursor);
        const QString dialog = (save ? "Save" : "Load") + kFileDialog;
        QCOMPARE(shown, (menu ? kMenu : QStringList()) +
                            (refreshed ? QStringList{dialog} : QStringList()));
    }

  private slots:
    // Save settings...: the values the dialogs show (the refresh's bytes, the GenLock delays
    // and the version text read now) against the box's memory, field by field; what went out
    // on the wire after the refresh; the one message box. Before a refresh nothing else
    // happens; a value the dialog cannot show is left out and named; a file that cannot be
    // written leaves the old one.
    void saveSettings_data() {
        QTest::addColumn<bool>("menu");
        QTest::addColumn<BoxConfig>("config");
        QTest::addColumn<QStringList>("memory");  // set before the refresh
        QTest::addColumn<bool>("refresh");
        QTest::addColumn<bool>("full");  // no file can grow: the old file stays
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QByteArray>("settings");  // the file's "settings"; empty: none written
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("detail");
        const QByteArray front =
            R"({"output-resolution":"HD(1080p)60","output-mode":"YCbCr422",)"
            R"("default-pattern":"Disable","edid-audio-ch":"2Ch","contrast":140,"brightness":128,)"
            R"("saturation":128,"hue":128,"bw-extension":"Off","color-tone":"Off",)"
            R"("edge-enhance":"Mid",)";
        const QByteArray back =
            R"("under-over-scan":0,"aspect-ratio":"16:9","h-mirror":"Off","v-mirror":"Off",)"
            R"("h-shift":-12,"v-shift":0)";
        const QByteArray older = front + R"("sharpness":64,)" + back + "}";
        const QStringList tuned{"2.1=140", "2.7=1", "3.5=88"};
        const QByteArray version3 = "076c93010403f2";
        const BoxConfig plain;  // HDMI in, VGA out, model byte 0
        const BoxConfig newer{.modelByte = 2, .newerModel = 6};
        const BoxConfig genlockLost{.modelByte = 1, .unanswered = {{0x49, 3}}};  // the V delay
        const QString none;

        QTest::newRow("before a refresh, Ctrl+S")
            << false << plain << tuned << false << false << QByteArray() << QByteArray()
            << kRefreshFirst << none;
        QTest::newRow("older model, Ctrl+S")
            << false << plain << tuned << true << false << version3 << older
            << "Save settings|18 settings saved to saved.json. (owned)" << none;
        QTest::newRow("newer model, Ctrl+S")
            << false << newer << (tuned + QStringList{"4.2=3"}) << true << false
            << QByteArray("076c93010404f1") << older.chopped(1) + R"(,"auto-sleep":"3 min"})"
            << "Save settings|19 settings saved to saved.json. (owned)" << none;
        QTest::newRow("a value the dialog cannot show, menu")
            << true << plain << (tuned + QStringList{"2.8=200"}) << true << false << version3
            << front + back + "}"
            << "Save settings|17 settings saved to saved.json, 1 left out. (owned)"
            << "\u2022 sharpness: the box holds 200, which the dialog cannot show; left out";
        QTest::newRow("GenLock reply lost, Ctrl+S")
            << false << genlockLost << tuned << true << false << kGenlockReads << QByteArray()
            << "Save settings|The box stopped answering its GenLock reads; nothing was saved. "
               "(owned)"
            << none;
        QTest::newRow("file cannot grow, Ctrl+S")
            << false << plain << tuned << true << true << version3 << QByteArray()
            << "Save settings|saved.json could not be written: File too large; the file is as "
               "it was. (owned)"
            << none;
    }
    void saveSettings() {
        QFETCH(BoxConfig, config);
        QFETCH(bool, refresh);
        QFETCH(bool, full);
        QFETCH(QByteArray, settings);
        Prepare(config, Column<QStringList>("memory"), refresh);
        const QTemporaryDir files;
        const QString path = files.filePath("saved.json");
        QVERIFY(!full || WriteFile(path, "old\n"));
        {
            const FileSizeLimit limit(full);
            Ask(true, Column<bool>("menu"), path, refresh);
        }
        QTEST(WireHex(*box_), "wire");
        QFETCH(QString, message);
        QCOMPARE(messages_->boxes(), QStringList{message});
        QTEST(messages_->detail(), "detail");
        ExpectIdle();
        QFile saved(path);
        const QByteArray written = saved.open(QIODevice::ReadOnly) ? saved.readAll() : "(none)";
        if (settings.isEmpty()) {
            QCOMPARE(written, QByteArray(full ? "old\n" : "(none)"));
            return;
        }
        // The settings as the dialogs show the box's memory; the header as the box told it.
        QVERIFY(written.endsWith("}\n"));
        auto file = Json::parse(written.toStdString());
        QCOMPARE(QByteArray::fromStdString(file.at("settings").dump()), settings);
        const QString program = QString::fromStdString(file.at("program").get<std::string>());
        QVERIFY2(QRegularExpression(R"(^kestrow \d+\.\d+\.\d+$)").match(program).hasMatch(),
                 qPrintable(program));
        file.erase("settings");
        file.erase("program");
        QCOMPARE(QByteArray::fromStdString(file.dump()),
                 R"({"format":"kestrow-settings","version":1,"model":)" +
                     QByteArray::number(config.modelByte) + R"(,"newerModel":)" +
                     (config.newerModel != 0 ? "true" : "false") + ",\"versionText\":\"" +
                     (config.modelByte == 1 ? "V1.001" : config.versionText.c_str()) + "\"}");
    }

    // Load settings...: the frames the box received after the refresh (the GenLock periods the
    // file needs, then exactly the frames the dialogs' Applies send, then the read-back: the
    // Refresh button's refresh and the GenLock reads), the box's memory afterwards, the cache
    // where the read-back did not answer, the message box and its lines. Before a refresh, and
    // for a refused file, nothing goes out. The close box pressed meanwhile closes the window
    // once the operator has read the report.
    void loadSettings_data() {
        QTest::addColumn<bool>("menu");
        QTest::addColumn<BoxConfig>("config");
        QTest::addColumn<BoxConfig>("then");  // from the load on
        QTest::addColumn<bool>("unplugged");  // after the refresh
        QTest::addColumn<bool>("refresh");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("tamper");  // set in the box at the read-back's probe
        QTest::addColumn<bool>("close");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QStringList>("memory");  // the box's memory afterwards
        QTest::addColumn<QStringList>("cache");   // the main window's cache afterwards
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("detail");  // how the last message's lines begin
        const BoxConfig plain;                    // HDMI in, VGA out, model byte 0
        const BoxConfig model1{.modelByte = 1};
        const BoxConfig silent{
            .silentFrom = std::pair<uint8_t, uint8_t>{0x05, 0}};  // from the read-back's probe
        const auto fileFor = [](int model, const QByteArray& settings) {
            return R"({"format":"kestrow-settings","version":1,"model":)" +
                   QByteArray::number(model) + R"(,"newerModel":false,"settings":)" + settings +
                   "}";
        };
        const QByteArray five =
            fileFor(0, R"({"output-resolution":"1080p60","output-mode":"RGB","contrast":140,)"
                       R"("edge-enhance":"typ","h-shift":-12})");
        const QByteArray fiveWrites =
            "086c930001010ceb086c9300010200f6086c930002018c6a086c9300020700f0086c930003055899";
        const QStringList untouched{"1.1=24", "1.2=1", "2.1=128", "2.7=3", "3.5=100"};
        const QString refused = "Load settings|file.json was refused; nothing was written. (owned)";
        const QStringList none;

        QTest::newRow("before a refresh, menu")
            << true << plain << plain << false << false << five << "" << false << QByteArray()
            << untouched << none << QStringList{kRefreshFirst} << none;
        QTest::newRow("model byte 1 with GenLock, menu, closed meanwhile")
            << true << model1 << model1 << false << true
            << fileFor(1,
                       R"x({"clock-mode":"FrameLock B(Genlock)","genlock-h":-10,"genlock-v":5})x")
            << "" << true
            << "066c934904ae066c934905ad"                          // the periods
               "086c9300040202f1086c934900088e1a086c9349010005aa"  // the writes
                   + RefreshWire(24) + kGenlockReads
            << QStringList{"4.2=2", "G0=2190", "G2=2190", "G1=5", "G3=5"} << none
            << QStringList{"Load settings|3 settings written and read back. (owned)"} << none;
        QTest::newRow("refused: header, Ctrl+O")
            << false << plain << plain << false << true
            << QByteArray(R"({"format":"kestrow-settings","version":2,"model":0,)"
                          R"("settings":{"contrast":-1},"extra":1})")
            << "" << false << QByteArray() << untouched << none << QStringList{refused}
            << QStringList{"\"version\" must be 1", "\"newerModel\" must be true or false",
                           "unknown entry \"extra\"", "contrast: -1 is out of range"};
        QTest::newRow("refused: against the box, menu")
            << true << plain << plain << false << true << fileFor(1, R"({"clock-mode":"Free-Run"})")
            << "" << false << QByteArray() << untouched << none << QStringList{refused}
            << QStringList{"the file is for model byte 1, this box reports 0",
                           "clock-mode: this box does not offer Clock Mode"};
        QTest::newRow("read back different, Ctrl+O")
            << false << plain << plain << false << true << five << "2.1=7" << false
            << fiveWrites + RefreshWire(24) << QStringList{"1.1=12", "2.1=7", "3.5=88"} << none
            << QStringList{"Load settings|5 settings written; 1 of them read back different. "
                           "(owned)"}
            << QStringList{"contrast: wrote 140, reads back 7"};
        QTest::newRow("silent from the read-back, menu")
            << true << plain << silent << false << true
            << fileFor(0, R"({"output-mode":"YCbCr422","contrast":140})") << "" << false
            << QByteArray("086c9300010202f4086c930002018c6a") + RefreshWire(1)
            << QStringList{"1.2=2", "2.1=140"} << QStringList{"output-mode=1", "contrast=140"}
            << QStringList{"Load settings|2 settings written, but the box did not answer the "
                           "read-back. (owned)"}
            << none;
        QTest::newRow("unplugged, Ctrl+O")
            << false << plain << plain << true << true << five << "" << false << QByteArray()
            << untouched << QStringList{"output-resolution=24", "contrast=128"}
            << QStringList{"Error|Failed to open up the comms port\n",
                           "Load settings|0 of 5 settings written; output-resolution and those "
                           "after it were not. (owned)"}
            << none;
    }
    void loadSettings() {
        QFETCH(bool, refresh);
        QFETCH(QString, tamper);
        QFETCH(bool, close);
        QFETCH(QStringList, memory);
        QFETCH(QStringList, detail);
        Prepare(Column<BoxConfig>("config"), {"1.1=24", "1.2=1", "2.1=128", "2.7=3", "3.5=100"},
                refresh);
        box_->SetConfig(Column<BoxConfig>("then"));
        if (Column<bool>("unplugged")) {
            box_->Vanish();
        }
        if (!tamper.isEmpty()) {
            box_->SetFrameObserver([this, tamper](const ReceivedFrame& frame) {
                if (frame.bytes.size() == 5 && frame.bytes[3] == 0x05) {
                    (void)Memory({tamper}, true);
                }
            });
        }
        const QTemporaryDir files;
        const QString path = files.filePath("file.json");
        QVERIFY(WriteFile(path, Column<QByteArray>("file")));
        QSignalSpy finished(&dlg_->Window(), &QDialog::finished);
        Ask(false, Column<bool>("menu"), path, refresh, [&] {
            if (close && dlg_->Window().isVisible()) {
                dlg_->Window().close();  // waits until the report was read
                QCOMPARE(finished.size(), 0);
            }
        });
        box_->SetFrameObserver({});
        QVERIFY(box_->WaitForQuiet(2000) || !box_->lineOpen());
        QTEST(WireHex(*box_), "wire");
        QCOMPARE(Memory(memory), memory);
        for (const QString& cell : Column<QStringList>("cache")) {
            const QStringList at = cell.split('=');
            const auto byte =
                CachedValue(dlg_->statusCache, dlg_->box, *FindSetting(at[0].toStdString()));
            QCOMPARE(at[0] + '=' + QString::number(byte.value_or(999)), cell);
        }
        QTEST(messages_->boxes(), "messages");
        const QStringList lines = messages_->detail().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), detail.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QVERIFY2(lines[i].startsWith("\u2022 " + detail[i]), qPrintable(lines[i].left(4000)));
        }
        if (WireHex(*box_).contains(RefreshWire(24))) {  // the read-back shows on the window
            QCOMPARE(Texts()[3], Text(LookupName(OutputResolutionNames, box_->setting(1, 1))));
        }
        QCOMPARE(finished.size(), close ? 1 : 0);
        QCOMPARE(dlg_->Window().isVisible(), !close);
        ExpectIdle();
    }
};

QTEST_MAIN(TestMainWindowFiles)
#include "test_mainwindow_files.moc"
