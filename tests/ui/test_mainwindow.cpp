// The main window against the simulated box: refresh, port search, launchers, quick commands,
// closing commands, typed port text, and the settings files (Save settings..., Load settings...).
#include <sys/resource.h>

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QtTest>
#include <algorithm>
#include <array>
#include <csignal>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <vector>

#include "settings/NameTables.h"
#include "settings/SettingValues.h"
#include "tests/common/TestBox.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/dialogkit/PictureButton.h"
#include "ui/dialogkit/QtSupport.h"
#include "ui/dialogs/ImageDialogTemplate.h"
#include "ui/main/MainWindow.h"
#include "ui/main/MainWindowTemplate.h"

using kestrow::MainWindow;
using kestrow::sim::BoxConfig;
using kestrow::sim::Fault;
using kestrow::sim::ReceivedFrame;
using kestrow::test::HexBytes;
using kestrow::test::RefreshWire;
using kestrow::test::WireHex;
using kestrow::ui::PictureButton;
using Ids = kestrow::ui::MainWindowIds;

namespace {

const QString kOpenFailure = QStringLiteral("Failed to open up the comms port\n");
const QString kClickRefresh = QStringLiteral("Please click refresh button");
const QStringList kUnrefreshed{"", kClickRefresh, "", kClickRefresh};  // the texts at start

// A number from the environment, or `fallback` when it is unset or not a number.
uint64_t EnvNumber(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    char* end = nullptr;
    const uint64_t value = text != nullptr ? std::strtoull(text, &end, 0) : 0;
    return text != nullptr && *text != '\0' && *end == '\0' ? value : fallback;
}

// The five bytes a reader of `request`'s reply takes: the first five the box sent, when it sent
// as many ((4,3) and (4,4) get the 14-byte version reply).
std::optional<std::vector<uint8_t>> WholeReply(const std::vector<ReceivedFrame>& frames,
                                               const kestrow::Frame& request) {
    const auto view = request.view();
    for (const ReceivedFrame& f : frames) {
        if (std::equal(f.bytes.begin(), f.bytes.end(), view.begin(), view.end())) {
            if (f.reply.size() < 5) {
                return std::nullopt;
            }
            return std::vector<uint8_t>(f.reply.begin(), f.reply.begin() + 5);
        }
    }
    return std::nullopt;
}

QString NameOf(kestrow::NameTable table, unsigned code) {
    return kestrow::ui::Utf8(kestrow::LookupName(table, code));
}

// The settings files: the context menu's entries, the file dialogs, the answer to a Save or
// Load before a refresh.
const QStringList kMenu{"Save settings... Ctrl+S", "Load settings... Ctrl+O"};
const QString kSaveDialog = QStringLiteral("Save settings|Settings (*.json);All Files (*.*)");
const QString kLoadDialog = QStringLiteral("Load settings|Settings (*.json);All Files (*.*)");
const QString kRefreshFirst = QStringLiteral("|Please refresh first ! (owned)");
const QPoint kBackground(40, 470);  // no control there

// A file size limit of 0 bytes for the process while it lives (on: writes fail with "File too
// large" instead of raising SIGXFSZ).
class FileSizeLimit {
  public:
    explicit FileSizeLimit(bool on) : on_(on) {
        if (on_) {
            ::getrlimit(RLIMIT_FSIZE, &old_);
            rlimit none = old_;
            none.rlim_cur = 0;
            ::setrlimit(RLIMIT_FSIZE, &none);
            oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        }
    }
    ~FileSizeLimit() {
        if (on_) {
            ::setrlimit(RLIMIT_FSIZE, &old_);
            std::signal(SIGXFSZ, oldHandler_);
        }
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    bool on_;
    rlimit old_{};
    void (*oldHandler_)(int) = SIG_DFL;
};

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
}

}  // namespace

Q_DECLARE_METATYPE(BoxConfig)

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<kestrow::test::PortsDir> ports_;
    std::unique_ptr<kestrow::test::MessageRecorder> messages_;
    std::unique_ptr<kestrow::sim::BoxSim> box_;
    kestrow::test::LaunchRecorder launches_;
    std::unique_ptr<MainWindow> dlg_;

    // A box on COM 3 whose every setting names its place (group * 16 + item; (4,1) and (1,1)
    // have names), or that keeps the memory it starts with, and a main window with its entry
    // selected (the machine's own ports may come first in the list).
    void Open(const BoxConfig& config = {}, bool named = true) {
        box_ = kestrow::test::StartLinkedBox(*ports_, 3, config);
        QVERIFY(box_);
        for (uint8_t g = 1; named && g <= 4; ++g) {
            for (uint8_t i = 1; i <= 8; ++i) {
                box_->SetSetting(g, i, static_cast<uint8_t>(g * 16 + i));
            }
        }
        if (named) {
            box_->SetSetting(4, 1, 116);  // "NO-SYNC"
            box_->SetSetting(1, 1, 36);   // "Bypass"
        }
        dlg_ = std::make_unique<MainWindow>(launches_.Launcher(), ports_->Roots());
        QVERIFY(dlg_->CreateModeless(nullptr));
        QVERIFY(QTest::qWaitForWindowExposed(dlg_.get()));
        auto* combo = dlg_->ControlAs<QComboBox>(Ids::kPortCombo);
        combo->setCurrentIndex(combo->findText(QStringLiteral("COM 3")));
        QCOMPARE(dlg_->SelectedPort(), std::optional(ports_->Port(3)));
    }
    QStringList Texts() const {
        return {dlg_->ControlText(Ids::kInputPortText), dlg_->ControlText(Ids::kInputTimingText),
                dlg_->ControlText(Ids::kOutputPortText),
                dlg_->ControlText(Ids::kOutputResolutionText)};
    }
    PictureButton* Picture(int id) const { return dlg_->ControlAs<PictureButton>(id); }
    // "2.1=140" names setting (2,1) of the box's memory, "G0=2190" GenLock register 0.
    void SetMemory(const QStringList& cells) {
        for (const QString& cell : cells) {
            const QStringList at = cell.split(QRegularExpression("[.=]"));
            if (cell.startsWith('G')) {
                box_->SetGenlock(uint8_t(at[0].mid(1).toUInt()), uint16_t(at[1].toUInt()));
            } else {
                box_->SetSetting(uint8_t(at[0].toUInt()), uint8_t(at[1].toUInt()),
                                 uint8_t(at[2].toUInt()));
            }
        }
    }
    // The same cells as the box holds them now.
    QStringList Memory(const QStringList& cells) const {
        QStringList now;
        for (const QString& cell : cells) {
            const QStringList at = cell.split(QRegularExpression("[.=]"));
            const unsigned value =
                cell.startsWith('G')
                    ? box_->genlock(uint8_t(at[0].mid(1).toUInt()))
                    : box_->setting(uint8_t(at[0].toUInt()), uint8_t(at[1].toUInt()));
            now << cell.left(cell.indexOf('=') + 1) + QString::number(value);
        }
        return now;
    }
    // Save settings... (save) or Load settings... as the operator asks for it: Ctrl+S or Ctrl+O
    // in the port field, or a right click on the window's background and the menu's entry. The
    // file dialog that opens gets `file` typed and Enter (and Yes when it asks whether to
    // replace the file). shown_: the menu's entries and shortcuts, "title|filters" of the file
    // dialog.
    void Ask(bool save, bool menu, const QString& file) {
        shown_.clear();
        dlg_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dlg_.get()));
        QObject scope;  // ends the waits for windows that did not show
        kestrow::test::WhenShown<QFileDialog>(&scope, [&](QFileDialog* dialog) {
            shown_ << dialog->windowTitle() + '|' + dialog->nameFilters().join(';');
            if (QFile::exists(file)) {
                kestrow::test::WhenShown<QMessageBox>(
                    &scope, [](QMessageBox* ask) { ask->button(QMessageBox::Yes)->click(); });
            }
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            name->setText(file);
            QTest::keyClick(name, Qt::Key_Return);
        });
        if (!menu) {
            QWidget* field = QApplication::focusWidget();
            QVERIFY(field != nullptr && field->window() == dlg_.get());
            QTest::keyClick(field, save ? Qt::Key_S : Qt::Key_O, Qt::ControlModifier);
            return;
        }
        kestrow::test::WhenShown<QMenu>(&scope, [&](QMenu* popup) {
            QAction* entry = nullptr;
            for (QAction* a : popup->actions()) {
                shown_ << a->text() + ' ' + a->shortcut().toString();
                entry = a->text().startsWith(save ? "Save" : "Load") ? a : entry;
            }
            QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(entry).center());
        });
        QVERIFY(dlg_->childAt(kBackground) == nullptr);
        // Through the window system, which turns a right click into a context menu event.
        QTest::mouseClick(dlg_->windowHandle(), Qt::RightButton, {}, kBackground);
    }
    QStringList shown_;
    void ExpectIdle() {
        QCOMPARE(Picture(Ids::kRefreshButton)->Picture(), 150);
        QVERIFY(!kestrow::ui::WaitCursorShown());
        QVERIFY(!dlg_->statusLink.IsOpen());
    }

  private slots:
    void initTestCase() { kestrow::ui::InstallDeviceHooks(); }
    void cleanupTestCase() { kestrow::ui::RemoveDeviceHooks(); }
    void init() {
        ports_ = std::make_unique<kestrow::test::PortsDir>();
        messages_ = std::make_unique<kestrow::test::MessageRecorder>();
    }
    void cleanup() {
        dlg_.reset();
        launches_.seen.clear();
        box_.reset();
        messages_.reset();
        ports_.reset();
    }

    // A refresh, completed or aborted: the frames on the wire, the four texts, every byte of
    // StatusCache, isNewModel and refreshed, the time its waits take (500 ms, 10 ms after each
    // exchange, 6500 ms for a reply that does not come); the green Refresh picture on screen
    // and the wait cursor during every wait. An aborted refresh says nothing, keeps
    // `refreshed`, and the next refresh (the box answering again) opens the port anew and
    // completes. A box answering noise decides what shows: the names of the codes it sent.
    void refresh_data() {
        QTest::addColumn<BoxConfig>("config");
        QTest::addColumn<int>("frames");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QByteArray>("cache");  // Output, Image, Adjustment, System
        QTest::addColumn<int>("newModel");
        QTest::addColumn<int>("refreshed");
        QTest::addColumn<int>("ms");  // the waits
        BoxConfig c;                  // SDI in, VGA out, model byte 2
        c.portByte = 0x93;
        c.modelByte = 2;
        const QStringList shown{"VGA", "NO-SYNC", "SDI", "Bypass"};
        const QByteArray settings =
            "2412131415"
            "2122232425262728"
            "313233343536";
        QTest::newRow("older model") << c << 24 << shown << settings + "74429302" << 0 << 1 << 740;
        for (int first : {6, 4}) {
            BoxConfig newer = c;
            newer.newerModel = static_cast<uint8_t>(first);
            QTest::addRow("newer model, (4,4) starting %02d", first)
                << newer << 25 << shown << settings + "74434202" << 1 << 1 << 750;
        }
        BoxConfig late = c;
        late.replyDelayMs = 6800;
        late.delayed = {{4, 4}};
        QTest::newRow("(4,4) answered after 6.8 s")  // too late: as if unanswered
            << late << 23 << shown << settings + "74429302" << 0 << 1 << 7230;
        BoxConfig againLost = c;  // the second read of (4,2), after an answered (4,4)
        againLost.faults[kestrow::sim::Fault::Dropped].atFrames = {23};
        QTest::newRow("(4,2) read again lost: aborted")
            << againLost << 24 << shown << settings + "74429302" << 0 << 0 << 7240;
        BoxConfig probeShort = c;
        probeShort.shortReplyBytes = 4;
        QTest::newRow("probe answered short")  // 4 bytes: as if unanswered
            << probeShort << 1 << kUnrefreshed << QByteArray(46, '0') << 0 << 0 << 7010;
        BoxConfig stops = c;
        stops.silentFrom = std::pair<uint8_t, uint8_t>{4, 1};
        QTest::newRow("stops at (4,1)")
            << stops << 2 << QStringList{"VGA", kClickRefresh, "SDI", kClickRefresh}
            << QByteArray(38, '0') + "00009302" << 0 << 0 << 7020;
        BoxConfig noise = c;
        noise.garbage = true;
        QTest::newRow("noise") << noise << 0 << QStringList() << QByteArray() << 0 << 1 << 740;
    }
    void refresh() {
        QFETCH(BoxConfig, config);
        QFETCH(int, frames);
        QFETCH(QStringList, texts);
        QFETCH(QByteArray, cache);
        QFETCH(int, newModel);
        QFETCH(int, refreshed);
        QFETCH(int, ms);
        Open(config);
        {
            const kestrow::test::IdleWatch watch(Picture(Ids::kRefreshButton));
            dlg_->Command(Ids::kRefreshButton);
            const qint64 elapsed = watch.timer.elapsed();
            QVERIFY2(elapsed >= ms && elapsed < ms + 2000, qPrintable(QString::number(elapsed)));
            QCOMPARE(watch.painted, std::set<int>{161});
            QVERIFY(watch.waitCursor);
        }
        int port = frames == 1 ? 0 : config.portByte;  // 0: no probe reply
        if (config.garbage) {                          // what shows is what the box sent
            const auto f = box_->frames();
            QVERIFY(f.size() >= 23);
            const auto sent = [&f](size_t k, size_t i = 3) { return f[k].reply.at(i); };
            port = sent(0);
            QVERIFY(port != config.portByte);  // noise indeed
            newModel = sent(22, 0) != 0x05 ? 1 : 0;
            frames = 24 + newModel;
            using kestrow::LookupName, kestrow::ui::Utf8;
            texts = QStringList{Utf8(LookupName(kestrow::VideoPortNames, sent(0) / 16u)),
                                Utf8(LookupName(kestrow::InputTimingNames, sent(1))),
                                Utf8(LookupName(kestrow::VideoPortNames, sent(0) % 16u)),
                                Utf8(LookupName(kestrow::OutputResolutionNames, sent(2)))};
            cache.clear();  // the settings of groups 1 to 3
            for (size_t k = 2; k <= 20; ++k) {
                cache += HexBytes(std::vector{sent(k)});
            }
        }
        QCOMPARE(WireHex(*box_), RefreshWire(frames));
        QCOMPARE(Texts(), texts);
        const kestrow::StatusCache& c = dlg_->statusCache;
        const QByteArray kept =
            HexBytes(c.output) + HexBytes(c.image) + HexBytes(c.adjustment) + HexBytes(c.system);
        QCOMPARE(kept.left(cache.size()), cache);
        QCOMPARE(int(dlg_->box.portByte), port);
        QCOMPARE(int(dlg_->box.newerModel), newModel);
        QCOMPARE(int(dlg_->refreshed), refreshed);
        ExpectIdle();
        QVERIFY(messages_->texts().isEmpty());
        if (refreshed == 0) {
            box_->SetConfig(BoxConfig{});
            box_->ClearReceived();
            dlg_->Command(Ids::kRefreshButton);
            QCOMPARE(WireHex(*box_), RefreshWire(24));
            QCOMPARE(dlg_->refreshed, 1);
        }
    }

    // The panel against a box that misbehaves at random, from a seed: refreshes, port searches
    // and Image Applies through the program's own launcher while the box drops replies, loses
    // a byte of one, cuts one short, sends it 600 ms late or garbled, or closes its line (back
    // after 300 ms; the next operation then sometimes starts at once). After each operation:
    // it ended within its protocol bound (with a margin), the port is free for another program
    // to open exclusively, a message box came only when the line was closed, and what the
    // window shows and StatusCache holds is what the box sent in its record (garbled bytes
    // too), or what it held before. The search finds the faulty box on COM 3 exactly when that
    // box sent its whole probe reply, otherwise the steady one on COM 4. KESTROW_PANEL_SOAK
    // sets the number of operations over all rows (default 120), KESTROW_PANEL_SOAK_SEED the
    // first row's seed (the next rows add their offset).
    void faultyBox_data() {
        QTest::addColumn<BoxConfig>("config");
        QTest::addColumn<int>("share");  // per cent of the operations
        QTest::addColumn<int>("seedOffset");
        BoxConfig older;  // SDI in, VGA out, model byte 2
        older.portByte = 0x93;
        older.modelByte = 2;
        BoxConfig newer = older;
        newer.newerModel = 6;
        QTest::newRow("older model") << older << 50 << 0;
        QTest::newRow("newer model") << newer << 50 << 1;
    }
    void faultyBox() {
        QFETCH(BoxConfig, config);
        QFETCH(int, share);
        QFETCH(int, seedOffset);
        const auto count =
            static_cast<int>(EnvNumber("KESTROW_PANEL_SOAK", 120) * uint64_t(share) / 100);
        const uint64_t seed = EnvNumber("KESTROW_PANEL_SOAK_SEED", 3) + uint64_t(seedOffset);
        constexpr int kLateMs = 600;
        constexpr int kBackAfterMs = 300;
        constexpr double kFaultChance = 0.03;  // at each request, all kinds together
        // The longest each operation may take: a refresh's settle wait, two replies missed (the
        // model question's may be), every reply late; a search's two probes; an Apply's write.
        constexpr int kRefreshBound = 500 + 2 * 6500 + 25 * (10 + kLateMs) + 3000;
        constexpr int kSearchBound = 2 * (1000 + kLateMs) + 3000;
        constexpr int kApplyBound = 3000;

        kestrow::test::PortsDir devices;  // empty: discovery finds only the two links
        auto steady = kestrow::test::StartLinkedBox(*ports_, 4, config);
        box_ = kestrow::test::StartLinkedBox(*ports_, 3, config);
        QVERIFY(box_ && steady);
        kestrow::DiscoveryRoots roots = ports_->Roots();
        roots.devDir = roots.sysClassTty = devices.path();
        dlg_ = std::make_unique<MainWindow>(kestrow::RunSettingsDialog, roots);
        QVERIFY(dlg_->CreateModeless(nullptr));
        auto* combo = dlg_->ControlAs<QComboBox>(Ids::kPortCombo);
        const auto chooseBox = [&] {
            const int k = combo->findText(QStringLiteral("COM 3"));
            if (k >= 0) {
                combo->setCurrentIndex(k);
            } else {
                combo->setEditText(QStringLiteral("COM 3"));  // gone from the list meanwhile
            }
        };
        chooseBox();
        dlg_->Command(Ids::kRefreshButton);  // without faults yet: the launchers need one
        QCOMPARE(dlg_->refreshed, 1);

        BoxConfig faulty = config;
        faulty.faults.seed = seed;
        faulty.faults.lateMs = kLateMs;
        faulty.faults.backAfterMs = kBackAfterMs;
        for (Fault f : {Fault::Dropped, Fault::LostByte, Fault::Cut, Fault::Late, Fault::Garbled,
                        Fault::LineClosed}) {
            faulty.faults[f].probability = kFaultChance / 6;
        }
        box_->SetConfig(faulty);
        std::mt19937_64 random(seed);
        using Image = kestrow::ui::ImageIds;
        const std::array<std::array<int, 2>, 4> rows{
            {{Image::kContrastEdit, Image::kContrastApply},
             {Image::kBrightnessEdit, Image::kBrightnessApply},
             {Image::kSaturationEdit, Image::kSaturationApply},
             {Image::kHueEdit, Image::kHueApply}}};
        std::map<Fault, int> played;
        std::array<int, 3> done{};
        QElapsedTimer total;
        total.start();
        for (int op = 0; op < count; ++op) {
            const int kind = int(random() % 20) < 6 ? 0 : int(random() % 2) + 1;
            const QString what = QStringLiteral("operation %1 (%2), seed %3")
                                     .arg(op)
                                     .arg(QStringList{"refresh", "search", "apply"}[kind])
                                     .arg(seed);
            const bool lineWasOpen = box_->lineOpen();
            const QStringList textsBefore = Texts();
            const kestrow::StatusCache before = dlg_->statusCache;
            const kestrow::BoxFacts boxBefore = dlg_->box;
            const size_t row = random() % rows.size();
            const auto value = static_cast<uint8_t>(random() % 256);
            // New settings each time, so that a byte kept from before cannot pass for one read.
            for (uint8_t g = 1; g <= 4; ++g) {
                for (uint8_t i = 1; i <= (g == 4 ? 3 : 8); ++i) {
                    box_->SetSetting(g, i, static_cast<uint8_t>(random()));
                }
            }
            messages_->clear();
            box_->ClearReceived();
            if (kind != 1) {
                chooseBox();
            }
            QElapsedTimer timer;
            timer.start();
            if (kind == 0) {
                dlg_->Command(Ids::kRefreshButton);
            } else if (kind == 1) {
                dlg_->Command(Ids::kSearchPortsButton);
            } else {
                QObject life;
                kestrow::test::WhenModalOver(&life, dlg_.get(), [&](kestrow::ui::Dialog* d) {
                    d->SetControlText(rows[row][0], QString::number(value));
                    d->Command(rows[row][1]);
                    d->close();
                });
                dlg_->Command(Ids::kImageButton);
            }
            const qint64 elapsed = timer.elapsed();
            const int bound = std::array{kRefreshBound, kSearchBound, kApplyBound}[size_t(kind)];
            QVERIFY2(elapsed < bound, qPrintable(what + ": " + QString::number(elapsed) + " ms"));
            QVERIFY2(!dlg_->statusLink.IsOpen(), qPrintable(what));

            // The record is whole once the box is quiet, or at once when its line closed (what
            // the host wrote after that is gone); then the next operation may start at once.
            const auto closedIn = [](const std::vector<ReceivedFrame>& frames) {
                return std::any_of(frames.begin(), frames.end(), [](const ReceivedFrame& f) {
                    return f.fault == Fault::LineClosed;
                });
            };
            const bool closedEarly = closedIn(box_->frames());
            const bool waitForBox = !closedEarly || random() % 2 == 0;
            if (waitForBox) {
                QVERIFY2(box_->WaitForQuiet(kBackAfterMs + 5000), qPrintable(what));
            }
            const std::vector<ReceivedFrame> frames = box_->frames();
            for (const ReceivedFrame& f : frames) {
                ++played[f.fault];
            }
            const bool closed = closedIn(frames);
            QVERIFY2(messages_->texts().isEmpty() || closed || !lineWasOpen,
                     qPrintable(what + ": " + messages_->texts().join('|')));
            if (box_->lineOpen()) {  // released: another program opens it exclusively
                kestrow::SerialPort other;
                QVERIFY2(kestrow::OpenBoxPort(other, ports_->Port(3)), qPrintable(what));
            }

            if (kind == 0) {
                // Each text is the name of the byte the box sent, or stays as it was.
                const auto probe = WholeReply(frames, kestrow::ProbeFrame());
                const auto timing = WholeReply(frames, kestrow::ReadSettingFrame(4, 1));
                const auto resolution = WholeReply(frames, kestrow::ReadSettingFrame(1, 1));
                using kestrow::VideoPortNames;
                const QStringList expected{
                    probe ? NameOf(VideoPortNames, (*probe)[3] / 16u) : textsBefore[0],
                    timing ? NameOf(kestrow::InputTimingNames, (*timing)[3]) : textsBefore[1],
                    probe ? NameOf(VideoPortNames, (*probe)[3] % 16u) : textsBefore[2],
                    resolution ? NameOf(kestrow::OutputResolutionNames, (*resolution)[3])
                               : textsBefore[3]};
                QVERIFY2(Texts() == expected, qPrintable(what + ": " + Texts().join('|') +
                                                         " instead of " + expected.join('|')));
                QCOMPARE(int(dlg_->box.portByte), int(probe ? (*probe)[3] : boxBefore.portByte));
                // A setting the box answered whole is held; one it did not keeps its byte.
                kestrow::StatusCache cache = dlg_->statusCache;
                kestrow::StatusCache old = before;
                for (uint8_t g = 1; g <= 4; ++g) {
                    for (uint8_t i = 1; kestrow::SettingByte(cache, g, i) != nullptr; ++i) {
                        const auto reply = WholeReply(frames, kestrow::ReadSettingFrame(g, i));
                        QVERIFY2(*kestrow::SettingByte(cache, g, i) ==
                                     (reply ? (*reply)[3] : *kestrow::SettingByte(old, g, i)),
                                 qPrintable(what + QString(": (%1,%2)").arg(g).arg(i)));
                    }
                }
                // The System bytes the model decides: bytes the box sent, or as they were.
                std::set<uint8_t> sent;
                for (const ReceivedFrame& f : frames) {
                    if (f.reply.size() >= 5) {
                        sent.insert(f.reply[3]);
                    }
                }
                if (probe) {
                    sent.insert((*probe)[4]);
                }
                for (size_t k = 1; k < cache.system.size(); ++k) {
                    QVERIFY2(cache.system[k] == old.system[k] || sent.count(cache.system[k]) == 1,
                             qPrintable(what + QString(": System byte %1").arg(k)));
                }
            } else if (kind == 1) {
                const auto probe = WholeReply(frames, kestrow::ProbeFrame());
                QVERIFY2(combo->currentText() == (probe ? "COM 3" : "COM 4"),
                         qPrintable(what + ": " + combo->currentText()));
            } else {
                // Written: the box holds the byte and so does the cache; failed ("Fail"): the
                // cache as it was.
                const auto item = static_cast<uint8_t>(row + 1);
                const uint8_t cached = dlg_->statusCache.image[row];
                if (messages_->texts().contains(QStringLiteral("Fail"))) {
                    QVERIFY2(cached == before.image[row], qPrintable(what));
                } else {
                    QVERIFY2(WireHex(*box_) ==
                                 HexBytes(kestrow::WriteSettingFrame(2, item, value).view()),
                             qPrintable(what + ": " + WireHex(*box_)));
                    QVERIFY2(cached == value && box_->setting(2, item) == value, qPrintable(what));
                }
            }
            ++done[size_t(kind)];
        }
        QStringList faults;
        for (const auto& [fault, n] : played) {
            faults << QStringLiteral("%1 %2")
                          .arg(QString::fromStdString(std::string(kestrow::sim::FaultName(fault))))
                          .arg(n);
        }
        qInfo("%d refreshes, %d searches, %d applies in %lld s, seed %llu; requests: %s", done[0],
              done[1], done[2], total.elapsed() / 1000, static_cast<unsigned long long>(seed),
              qPrintable(faults.join(", ")));
    }

    void portSearch() {
        // COM 10 a dead link; COM 11 held by another program; COM 12 silent; COM 13 answers
        // with noise (five bytes of any content count) and COM 14 properly. The search stops at
        // 13, releases it and shows nothing new.
        QVERIFY(QFile::link("/nonexistent/tty", QString::fromStdString(ports_->path()) + "/COM10"));
        BoxConfig silent;
        silent.silent = true;
        BoxConfig noise;
        noise.garbage = true;
        auto held = kestrow::test::StartLinkedBox(*ports_, 11);
        auto quiet = kestrow::test::StartLinkedBox(*ports_, 12, silent);
        auto answering = kestrow::test::StartLinkedBox(*ports_, 13, noise);
        auto later = kestrow::test::StartLinkedBox(*ports_, 14);
        QVERIFY(held && quiet && answering && later);
        kestrow::SerialPort other;
        QVERIFY(kestrow::OpenBoxPort(other, ports_->Port(11)));

        dlg_ = std::make_unique<MainWindow>(launches_.Launcher(), ports_->Roots());
        QVERIFY(dlg_->CreateModeless(nullptr));
        dlg_->Command(Ids::kSearchPortsButton);
        QVERIFY(dlg_->comPorts.size() >= 4);  // the machine's own ports follow
        for (int k = 0; k < 4; ++k) {
            QCOMPARE(dlg_->comPorts[size_t(k)].number, 11 + k);
        }
        QCOMPARE(dlg_->ControlAs<QComboBox>(Ids::kPortCombo)->currentText(),
                 QStringLiteral("COM 13"));
        QCOMPARE(dlg_->SelectedPort(), std::optional(ports_->Port(13)));
        QCOMPARE(WireHex(*quiet), RefreshWire(1));
        QCOMPARE(WireHex(*answering), RefreshWire(1));
        QCOMPARE(WireHex(*later), QByteArray());
        QCOMPARE(messages_->texts(), QStringList{kOpenFailure});  // the held port
        QCOMPARE(dlg_->refreshed, 0);
        QCOMPARE(Texts(), kUnrefreshed);
        ExpectIdle();
    }

    // The launchers before a refresh (also with the chord held): "Please refresh first !"; and
    // after one, with the chord, one of its keys, and the model byte. A launch reads "template
    // port group port-byte new-model": the group as its offset+size in StatusCache, "-" for
    // nothing lent.
    void launchers_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("keys");  // 1 Shift, 2 F7
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("launch");  // empty: before a refresh
        for (int id : {Ids::kOutputSetupButton, Ids::kImageButton, Ids::kAdjustmentButton,
                       Ids::kSystemButton}) {
            QTest::addRow("%d before refresh", id) << id << 0 << 0 << QString();
        }
        QTest::addRow("%d before refresh, chord", Ids::kAdjustmentButton)
            << Ids::kAdjustmentButton << 3 << 0 << QString();
        QTest::newRow("Output Setup") << Ids::kOutputSetupButton << 0 << 0 << "204 3 0+5 59 -";
        QTest::newRow("Image") << Ids::kImageButton << 0 << 0 << "203 3 5+8 - -";
        QTest::newRow("Adjustment") << Ids::kAdjustmentButton << 0 << 0 << "205 3 13+6 - -";
        QTest::newRow("Engineer chord") << Ids::kAdjustmentButton << 3 << 0 << "206 3 - - -";
        QTest::newRow("F7 alone") << Ids::kAdjustmentButton << 2 << 0 << "205 3 13+6 - -";
        QTest::newRow("Shift alone") << Ids::kAdjustmentButton << 1 << 0 << "205 3 13+6 - -";
        QTest::newRow("System model 1") << Ids::kSystemButton << 0 << 1 << "201 3 19+4 59 1";
        QTest::newRow("System model 2") << Ids::kSystemButton << 0 << 2 << "200 3 19+4 - 1";
        QTest::addRow("hidden %d", Ids::kEnhancementButton)
            << Ids::kEnhancementButton << 0 << 0 << "201 3 19+4 59 1";
        QTest::addRow("hidden %d", Ids::kInOutModeButton)
            << Ids::kInOutModeButton << 0 << 0 << "202 3 - - -";
    }
    void launchers() {
        QFETCH(int, id);
        QFETCH(int, keys);
        QFETCH(int, model);
        QFETCH(QString, launch);
        Open();
        if (!launch.isEmpty()) {
            dlg_->refreshed = 1;
            dlg_->statusCache.system = {7, 8, 0x42, static_cast<uint8_t>(model)};
            dlg_->box = {0x59, static_cast<uint8_t>(model), true};  // a newer model's System
                                                                    // byte [2] holds (4,2) instead
        }
        const Qt::KeyboardModifiers mods = (keys & 1) != 0 ? Qt::ShiftModifier : Qt::NoModifier;
        for (const auto& [bit, key] : {std::pair{1, Qt::Key_Shift}, std::pair{2, Qt::Key_F7}}) {
            if ((keys & bit) != 0) {
                QTest::keyPress(dlg_.get(), key, mods);
            }
        }
        if (id == Ids::kEnhancementButton || id == Ids::kInOutModeButton) {
            dlg_->Command(id);  // hidden buttons: no click possible
        } else {
            QTest::mouseClick(Picture(id), Qt::LeftButton, mods);
        }
        const auto* cache = reinterpret_cast<const uint8_t*>(&dlg_->statusCache);
        // What each dialog takes of the box: Output Setup and the template-201 System dialog its
        // port byte, both System dialogs whether it is a newer model.
        const auto lent = [](bool used, int v) { return used ? QString::number(v, 16) : "-"; };
        QStringList seen;
        for (const kestrow::LaunchRequest& r : launches_.seen) {
            const QString group =
                r.group.empty() ? "-"
                                : QString("%1+%2").arg(r.group.data() - cache).arg(r.group.size());
            seen << QString("%1 %2 ").arg(r.templateId).arg(r.port.number) + group + ' ' +
                        lent(r.templateId == 204 || r.templateId == 201, r.box.portByte) + ' ' +
                        lent(r.templateId == 200 || r.templateId == 201, r.box.newerModel);
        }
        QCOMPARE(seen.join(';'), launch);
        QCOMPARE(messages_->boxes(),
                 launch.isEmpty() ? QStringList{"|Please refresh first ! (owned)"} : QStringList());
        QVERIFY(box_->received().empty());
    }

    void quickCommands_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("normal");
        QTest::addColumn<int>("pressed");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("Aspect Ratio")
            << Ids::kAspectRatioButton << 142 << 158 << QByteArray("056c9304f8");
        QTest::newRow("Freeze") << Ids::kFreezeButton << 146 << 160 << QByteArray("056c9302fa");
        QTest::newRow("Blank") << Ids::kBlankButton << 143 << 159 << QByteArray("056c9303f9");
        QTest::newRow("1080p60") << Ids::k1080p60Button << 140 << 157
                                 << QByteArray("086c930001010ceb");
        QTest::newRow("1080i60") << Ids::k1080i60Button << 139 << 156
                                 << QByteArray("086c9300010109ee");
        QTest::newRow("720p60") << Ids::k720p60Button << 138 << 155
                                << QByteArray("086c9300010104f3");
        QTest::newRow("480p60") << Ids::k480p60Button << 137 << 154
                                << QByteArray("086c9300010102f5");
    }
    void quickCommands() {
        QFETCH(int, id);
        QFETCH(int, pressed);
        QFETCH(QByteArray, frame);
        BoxConfig config;
        config.silent = true;  // no reply is read anyway
        Open(config);
        QTEST(Picture(id)->Picture(), "normal");
        {
            const kestrow::test::IdleWatch watch(Picture(id));
            QTest::mouseClick(Picture(id), Qt::LeftButton);
            QVERIFY(watch.timer.elapsed() >= 500);
            QCOMPARE(watch.held, std::set<int>{pressed});
            QCOMPARE(watch.painted, std::set<int>{pressed});  // on screen during the wait
        }
        QTEST(Picture(id)->Picture(), "normal");
        QVERIFY(box_->WaitForReceived(size_t(frame.size() / 2), 2000));
        QCOMPARE(WireHex(*box_), frame);
        QCOMPARE(dlg_->refreshed, 0);
        QVERIFY(messages_->texts().isEmpty());
    }

    // Enter and Esc in the port field, the close box; the close box pressed while a quick
    // command waits closes the window afterwards (the frame still goes out whole).
    void closingCommands_data() {
        QTest::addColumn<int>("key");  // 0: the close box
        QTest::addColumn<bool>("duringWait");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("Enter") << int(Qt::Key_Return) << false << 1;
        QTest::newRow("Esc") << int(Qt::Key_Escape) << false << 2;
        QTest::newRow("close box") << 0 << false << 2;
        QTest::newRow("close box during a wait") << 0 << true << 2;
    }
    void closingCommands() {
        QFETCH(int, key);
        QFETCH(bool, duringWait);
        Open();
        QSignalSpy finished(dlg_.get(), &QDialog::finished);
        if (duringWait) {
            kestrow::SetIdleHook([&] {
                if (dlg_->isVisible() && finished.isEmpty()) {
                    dlg_->close();  // ignored while the command runs
                    QCOMPARE(finished.size(), 0);
                }
            });
            dlg_->Command(Ids::kFreezeButton);
            kestrow::ui::InstallDeviceHooks();
            QVERIFY(box_->WaitForReceived(5, 2000));
            QCOMPARE(WireHex(*box_), QByteArray("056c9302fa"));
        } else if (key == 0) {
            QVERIFY(dlg_->close());
        } else {
            QTest::keyClick(dlg_->ControlAs<QComboBox>(Ids::kPortCombo)->lineEdit(), Qt::Key(key));
        }
        QCOMPARE(finished.size(), 1);
        QTEST(finished.at(0).at(0).toInt(), "exitCode");
        QVERIFY(!dlg_->isVisible());
    }

    // Typed text names port n as "COM n", "COMn" or "n" (0..255); the box's number reaches
    // it like a selected entry; text that names no port gets the open-failure report from
    // Refresh, a quick command and a launcher, and nothing else happens.
    void typedPortText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port");  // -1: names no port
        QTest::newRow("no space") << "com3" << 3;
        QTest::newRow("number") << " 3 " << 3;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("top") << "COM 255" << 255;
        QTest::newRow("beyond") << "COM 256" << -1;
        QTest::newRow("two spaces") << "COM  3" << -1;
        QTest::newRow("negative") << "-1" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("trailing text") << "COM 3a" << -1;
    }
    void typedPortText() {
        QFETCH(QString, text);
        QFETCH(int, port);
        Open();
        dlg_->ControlAs<QComboBox>(Ids::kPortCombo)->setEditText(text);
        QCOMPARE(dlg_->SelectedPort().value_or(kestrow::ComPort{}).number, port);
        if (port == 3) {
            dlg_->Command(Ids::kBlankButton);
            QVERIFY(box_->WaitForReceived(5, 2000));
        }
        if (port >= 0) {
            return;
        }
        dlg_->refreshed = 1;  // lets the launcher reach the port
        for (int id : {Ids::kRefreshButton, Ids::kAspectRatioButton, Ids::kOutputSetupButton}) {
            messages_->clear();
            dlg_->Command(id);
            QCOMPARE(messages_->boxes(), QStringList{"Error|" + kOpenFailure});
        }
        QVERIFY(box_->received().empty());
        QCOMPARE(Texts()[1], kClickRefresh);
        ExpectIdle();
    }

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
        const QByteArray genlockReads = "066c934904ae066c934902b0066c934905ad066c934903af";
        const BoxConfig plain;  // HDMI in, VGA out, model byte 0
        BoxConfig model1;
        model1.modelByte = 1;
        BoxConfig newer;
        newer.modelByte = 2;
        newer.newerModel = 6;
        BoxConfig genlockLost = model1;
        genlockLost.unanswered = {{0x49, 3}};  // the V delay
        const QString none;

        QTest::newRow("before a refresh, Ctrl+S")
            << false << plain << tuned << false << false << QByteArray() << QByteArray()
            << kRefreshFirst << none;
        QTest::newRow("older model, Ctrl+S")
            << false << plain << tuned << true << false << version3 << older
            << "Save settings|18 settings saved to saved.json. (owned)" << none;
        QTest::newRow("model byte 1 with GenLock, menu")
            << true << model1 << (tuned + QStringList{"4.2=1", "G2=2190", "G3=5"}) << true << false
            << genlockReads
            << older.chopped(1) + R"(,"clock-mode":"Lock To HDMI","genlock-h":-10,"genlock-v":5})"
            << "Save settings|21 settings saved to saved.json. (owned)" << none;
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
            << false << genlockLost << tuned << true << false << genlockReads << QByteArray()
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
        QFETCH(bool, menu);
        QFETCH(BoxConfig, config);
        QFETCH(QStringList, memory);
        QFETCH(bool, refresh);
        QFETCH(bool, full);
        QFETCH(QByteArray, settings);
        Open(config, false);
        SetMemory(memory);
        if (refresh) {
            dlg_->Command(Ids::kRefreshButton);
            QCOMPARE(dlg_->refreshed, 1);
        }
        box_->ClearReceived();
        const QTemporaryDir files;
        const QString path = files.filePath("saved.json");
        if (full) {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old\n") == 4);
        }
        {
            const kestrow::test::IdleWatch watch(Picture(Ids::kRefreshButton));
            const FileSizeLimit limit(full);
            Ask(true, menu, path);
            QVERIFY(watch.waitCursor);
        }
        QCOMPARE(shown_, (menu ? kMenu : QStringList()) +
                             (refresh ? QStringList{kSaveDialog} : QStringList()));
        QTEST(WireHex(*box_), "wire");
        QFETCH(QString, message);
        QCOMPARE(messages_->boxes(), QStringList{message});
        QTEST(messages_->requests().back().detail, "detail");
        ExpectIdle();
        const QByteArray written = FileBytes(path);
        if (settings.isEmpty()) {
            QCOMPARE(written, QByteArray(full ? "old\n" : "(none)"));
            return;
        }
        // The settings as the dialogs show the box's memory; the header as the box told it.
        QVERIFY(written.endsWith("}\n"));
        auto file = kestrow::Json::parse(written.toStdString());
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
        BoxConfig model1;
        model1.modelByte = 1;
        BoxConfig silent = plain;
        silent.silentFrom = std::pair<uint8_t, uint8_t>{0x05, 0};  // from the read-back's probe
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
        const QStringList fiveWritten{"1.1=12", "1.2=0", "2.1=140", "2.7=0", "3.5=88"};
        const QStringList untouched{"1.1=24", "1.2=1", "2.1=128", "2.7=3", "3.5=100"};
        const QString done = QStringLiteral(
            "Load settings|5 settings written and read back. "
            "(owned)");
        const QString refused = QStringLiteral(
            "Load settings|file.json was refused; nothing "
            "was written. (owned)");
        const QStringList none;

        QTest::newRow("before a refresh, menu")
            << true << plain << plain << false << false << five << "" << false << QByteArray()
            << untouched << none << QStringList{kRefreshFirst} << none;
        QTest::newRow("older model, Ctrl+O")
            << false << plain << plain << false << true << five << "" << false
            << fiveWrites + RefreshWire(24) << fiveWritten << none << QStringList{done} << none;
        QTest::newRow("model byte 1 with GenLock, menu, closed meanwhile")
            << true << model1 << model1 << false << true
            << fileFor(1,
                       R"x({"clock-mode":"FrameLock B(Genlock)","genlock-h":-10,"genlock-v":5})x")
            << "" << true
            << "066c934904ae066c934905ad"                          // the periods
               "086c9300040202f1086c934900088e1a086c9349010005aa"  // the writes
                   + RefreshWire(24) + "066c934904ae066c934902b0066c934905ad066c934903af"
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
            << true << plain << plain << false << true
            << fileFor(1, R"({"contrast":300,"brightnes":5,"clock-mode":"Free-Run",)"
                          R"("h-shift":"left","output-resolution":"720p50"})")
            << "" << false << QByteArray() << untouched << none << QStringList{refused}
            << QStringList{"the file is for model byte 1, this box reports 0",
                           "unknown setting \"brightnes\"",
                           "output-resolution: no choice \"720p50\"; this box offers HD(720p)60,",
                           "contrast: 300 is out of range",
                           "h-shift: \"left\" is not a number",
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
        QFETCH(bool, menu);
        QFETCH(BoxConfig, config);
        QFETCH(BoxConfig, then);
        QFETCH(bool, unplugged);
        QFETCH(bool, refresh);
        QFETCH(QByteArray, file);
        QFETCH(QString, tamper);
        QFETCH(bool, close);
        QFETCH(QStringList, memory);
        QFETCH(QStringList, cache);
        QFETCH(QStringList, detail);
        Open(config, false);
        SetMemory({"1.1=24", "1.2=1", "2.1=128", "2.7=3", "3.5=100"});
        if (refresh) {
            dlg_->Command(Ids::kRefreshButton);
            QCOMPARE(dlg_->refreshed, 1);
        }
        box_->SetConfig(then);
        box_->ClearReceived();
        if (unplugged) {
            box_->Vanish();
        }
        if (!tamper.isEmpty()) {
            box_->SetFrameObserver([this, tamper](const kestrow::sim::ReceivedFrame& frame) {
                if (frame.bytes.size() == 5 && frame.bytes[3] == 0x05) {
                    SetMemory({tamper});
                }
            });
        }
        const QTemporaryDir files;
        const QString path = files.filePath("file.json");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(file) == file.size());
        }
        QSignalSpy finished(dlg_.get(), &QDialog::finished);
        {
            const kestrow::test::IdleWatch watch(Picture(Ids::kRefreshButton), [&] {
                if (close && dlg_->isVisible()) {
                    dlg_->close();  // waits until the report was read
                    QCOMPARE(finished.size(), 0);
                }
            });
            Ask(false, menu, path);
            QVERIFY(watch.waitCursor);
        }
        box_->SetFrameObserver({});
        QCOMPARE(shown_, (menu ? kMenu : QStringList()) +
                             (refresh ? QStringList{kLoadDialog} : QStringList()));
        QVERIFY(box_->WaitForQuiet(2000) || !box_->lineOpen());
        QTEST(WireHex(*box_), "wire");
        QCOMPARE(Memory(memory), memory);
        for (const QString& cell : cache) {
            const QStringList at = cell.split('=');
            const auto byte = kestrow::CachedValue(dlg_->statusCache, dlg_->box,
                                                   *kestrow::FindSetting(at[0].toStdString()));
            QCOMPARE(at[0] + '=' + QString::number(byte.value_or(999)), cell);
        }
        QTEST(messages_->boxes(), "messages");
        const QStringList lines =
            messages_->requests().back().detail.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), detail.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QVERIFY2(lines[i].startsWith("\u2022 " + detail[i]), qPrintable(lines[i]));
        }
        if (WireHex(*box_).contains(RefreshWire(24))) {  // the read-back shows on the window
            QCOMPARE(Texts()[3], kestrow::ui::Utf8(kestrow::LookupName(
                                     kestrow::OutputResolutionNames, box_->setting(1, 1))));
        }
        QCOMPARE(finished.size(), close ? 1 : 0);
        QCOMPARE(dlg_->isVisible(), !close);
        ExpectIdle();
    }

    // The window before and after a refresh; the picture is written next to the test program.
    void skinAndScreenshot() {
        Open();
        QCOMPARE(dlg_->size(), QSize(800, 500));
        // No word lost to a hidden second line.
        for (int id : {Ids::kInputTimingText, Ids::kOutputResolutionText}) {
            const QWidget* label = dlg_->Control(id);
            QVERIFY(label->fontMetrics().horizontalAdvance(kClickRefresh) <= label->width());
        }
        auto* combo = dlg_->ControlAs<QComboBox>(Ids::kPortCombo);
        QVERIFY(
            combo->itemData(combo->currentIndex(), Qt::ToolTipRole).toString().contains("COM3"));
        // Controls sit on the skin's grid: x * 7 / 4, y * 15 / 8.
        QCOMPARE(Picture(Ids::kAspectRatioButton)->geometry(), QRect(413, 230, 101, 54));
        QCOMPARE(Picture(Ids::kRefreshButton)->accessibleName(), QStringLiteral("Refresh"));
        QVERIFY(!dlg_->Control(Ids::kEnhancementButton)->isVisible());

        dlg_->Command(Ids::kRefreshButton);
        const QPixmap shot = dlg_->grab();
        QCOMPARE(shot.deviceIndependentSize().toSize(), QSize(800, 500));
        const QString path = QCoreApplication::applicationDirPath() + "/mainwindow.png";
        QVERIFY(shot.save(path));
        qInfo("screenshot: %s", qPrintable(path));
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
