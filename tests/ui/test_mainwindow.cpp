// The main window's refresh and port search against the simulated box, and both (with Image
// Applies) against a box that misbehaves at random.
#include <algorithm>
#include <array>
#include <map>
#include <random>

#include "settings/NameTables.h"
#include "settings/SettingValues.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/dialogs/ImageDialogTemplate.h"

using namespace kestrow;
using namespace kestrow::sim;
using namespace kestrow::test;

namespace {

// A number from the environment, or `fallback` when it is unset or not a number.
uint64_t EnvNumber(const char* name, uint64_t fallback) {
    bool ok = false;
    const qulonglong value = qgetenv(name).toULongLong(&ok, 0);
    return ok ? value : fallback;
}

// The five bytes a reader of `request`'s reply takes: the first five the box sent, when it sent
// as many ((4,3) and (4,4) get the 14-byte version reply).
std::optional<std::vector<uint8_t>> WholeReply(const std::vector<ReceivedFrame>& frames,
                                               const Frame& request) {
    const auto view = request.view();
    const auto f = std::find_if(frames.begin(), frames.end(), [&view](const ReceivedFrame& r) {
        return std::equal(r.bytes.begin(), r.bytes.end(), view.begin(), view.end());
    });
    if (f == frames.end() || f->reply.size() < 5) {
        return std::nullopt;
    }
    return std::vector(f->reply.begin(), f->reply.begin() + 5);
}

QString NameOf(NameTable table, unsigned code) {
    return Text(LookupName(table, code));
}

}  // namespace

class TestMainWindow : public MainWindowTest {
    Q_OBJECT

  private slots:
    // A refresh, completed or aborted: the frames on the wire, the four texts, every byte of
    // StatusCache, isNewModel and refreshed, the time its waits take (500 ms, 10 ms after each
    // exchange, 6500 ms for a reply that does not come); the green Refresh picture on screen
    // and the wait cursor during every wait. An aborted refresh says nothing, keeps
    // `refreshed`, and the next refresh (the box answering again) opens the port anew and
    // completes. (What a garbled reply shows: faultyBox.)
    void refresh_data() {
        QTest::addColumn<BoxConfig>("config");
        QTest::addColumn<int>("frames");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QByteArray>("cache");  // Output, Image, Adjustment, System
        QTest::addColumn<int>("newModel");
        QTest::addColumn<int>("refreshed");
        QTest::addColumn<int>("ms");                          // the waits
        const BoxConfig c{.portByte = 0x93, .modelByte = 2};  // VGA in, SDI out
        const QStringList shown{"VGA", "NO-SYNC", "SDI", "Bypass"};
        const QByteArray settings =
            "2412131415"
            "2122232425262728"
            "313233343536";
        QTest::newRow("older model") << c << 24 << shown << settings + "74429302" << 0 << 1 << 740;
        for (int first : {6, 4}) {  // any first byte but 05 of the (4,4) reply
            BoxConfig newer = c;
            newer.newerModel = static_cast<uint8_t>(first);
            QTest::addRow("newer model, (4,4) starting %02d", first)
                << newer << 25 << shown << settings + "74434202" << 1 << 1 << 750;
        }
        const BoxConfig late{
            .portByte = 0x93, .modelByte = 2, .replyDelayMs = 6800, .delayed = {{4, 4}}};
        QTest::newRow("(4,4) answered after 6.8 s")  // too late: as if unanswered
            << late << 23 << shown << settings + "74429302" << 0 << 1 << 7230;
        BoxConfig againLost = c;  // the second read of (4,2), after an answered (4,4)
        againLost.faults[Fault::Dropped].atFrames = {23};
        QTest::newRow("(4,2) read again lost: aborted")
            << againLost << 24 << shown << settings + "74429302" << 0 << 0 << 7240;
        const BoxConfig probeShort{.portByte = 0x93, .modelByte = 2, .shortReplyBytes = 4};
        QTest::newRow("probe answered short")  // 4 bytes: as if unanswered
            << probeShort << 1 << kUnrefreshed << QByteArray(46, '0') << 0 << 0 << 7010;
        const BoxConfig stops{
            .portByte = 0x93, .modelByte = 2, .silentFrom = std::pair<uint8_t, uint8_t>{4, 1}};
        QTest::newRow("stops at (4,1)")
            << stops << 2 << QStringList{"VGA", kClickRefresh, "SDI", kClickRefresh}
            << QByteArray(38, '0') + "00009302" << 0 << 0 << 7020;
    }
    void refresh() {
        QFETCH(int, frames);
        QFETCH(int, refreshed);
        QFETCH(int, ms);
        QFETCH(BoxConfig, config);
        Open(config);
        {
            const IdleWatch watch(Picture(Ids::kRefreshButton));
            dlg_->Command(Ids::kRefreshButton);
            const qint64 elapsed = watch.timer.elapsed();
            QVERIFY2(elapsed >= ms && elapsed < ms + 2000, qPrintable(QString::number(elapsed)));
            QCOMPARE(watch.painted, std::set<int>{161});
            QVERIFY(watch.waitCursor);
        }
        QCOMPARE(WireHex(*box_), RefreshWire(frames));
        QTEST(Texts(), "texts");
        const StatusCache& c = dlg_->statusCache;
        QTEST(HexBytes(c.output) + HexBytes(c.image) + HexBytes(c.adjustment) + HexBytes(c.system),
              "cache");
        QCOMPARE(int(dlg_->box.portByte), frames == 1 ? 0 : int(config.portByte));  // 0: no probe
        QTEST(int(dlg_->box.newerModel), "newModel");
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
    // sets the number of operations over all rows (default 60: each row plays every kind of fault),
    // KESTROW_PANEL_SOAK_SEED the first row's seed (the next rows add their offset).
    void faultyBox_data() {
        QTest::addColumn<BoxConfig>("config");
        QTest::addColumn<int>("seedOffset");
        const BoxConfig older{.portByte = 0x93, .modelByte = 2};  // VGA in, SDI out
        const BoxConfig newer{.portByte = 0x93, .modelByte = 2, .newerModel = 6};
        QTest::newRow("older model") << older << 0;  // half the operations each
        QTest::newRow("newer model") << newer << 1;
    }
    void faultyBox() {
        QFETCH(BoxConfig, config);
        const auto count = static_cast<int>(EnvNumber("KESTROW_PANEL_SOAK", 60) / 2);
        const uint64_t seed =
            EnvNumber("KESTROW_PANEL_SOAK_SEED", 3) + uint64_t(Column<int>("seedOffset"));
        constexpr int kLateMs = 600;
        constexpr int kBackAfterMs = 300;
        constexpr double kFaultChance = 0.03;  // at each request, all kinds together
        // The longest each operation may take: a refresh's settle wait, two replies missed (the
        // model question's may be), every reply late; a search's two probes; an Apply's write.
        constexpr int kRefreshBound = 500 + 2 * 6500 + 25 * (10 + kLateMs) + 3000;
        constexpr int kSearchBound = 2 * (1000 + kLateMs) + 3000;
        constexpr int kApplyBound = 3000;

        PortsDir devices;  // empty: discovery finds only the two links
        auto steady = StartLinkedBox(*ports_, 4, config);
        box_ = StartLinkedBox(*ports_, 3, config);
        QVERIFY(box_ && steady);
        DiscoveryRoots roots = ports_->Roots();
        roots.devDir = roots.sysClassTty = devices.path();
        OpenWindow(roots, RunSettingsDialog);
        const auto chooseBox = [this] {  // typed when it is gone from the list meanwhile
            dlg_->SetListSelection(Ids::kPortCombo, dlg_->FindListEntry(Ids::kPortCombo, "COM 3"));
            dlg_->SetItemText(Ids::kPortCombo, "COM 3");
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
        using Image = ui::ImageIds;
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
            const StatusCache before = dlg_->statusCache;
            const BoxFacts boxBefore = dlg_->box;
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
                const auto apply = [&](ui::Dialog* d) {
                    d->SetItemText(rows[row][0], std::to_string(value));
                    d->Command(rows[row][1]);
                    d->Window().close();
                };
                WhenShown<ui::Dialog>(&life, apply, dlg_.get());
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
                SerialPort other;
                QVERIFY2(OpenBoxPort(other, ports_->Port(3)), qPrintable(what));
            }

            if (kind == 0) {
                // Each text is the name of the byte the box sent, or stays as it was.
                const auto probe = WholeReply(frames, ProbeFrame());
                const auto timing = WholeReply(frames, ReadSettingFrame(4, 1));
                const auto resolution = WholeReply(frames, ReadSettingFrame(1, 1));
                const QStringList expected{
                    probe ? NameOf(VideoPortNames, (*probe)[3] / 16u) : textsBefore[0],
                    timing ? NameOf(InputTimingNames, (*timing)[3]) : textsBefore[1],
                    probe ? NameOf(VideoPortNames, (*probe)[3] % 16u) : textsBefore[2],
                    resolution ? NameOf(OutputResolutionNames, (*resolution)[3]) : textsBefore[3]};
                QVERIFY2(Texts() == expected, qPrintable(what + ": " + Texts().join('|') +
                                                         " instead of " + expected.join('|')));
                QCOMPARE(int(dlg_->box.portByte), int(probe ? (*probe)[3] : boxBefore.portByte));
                // A setting the box answered whole is held; one it did not keeps its byte.
                StatusCache cache = dlg_->statusCache;
                StatusCache old = before;
                for (uint8_t g = 1; g <= 4; ++g) {
                    for (uint8_t i = 1; SettingByte(cache, g, i) != nullptr; ++i) {
                        const auto reply = WholeReply(frames, ReadSettingFrame(g, i));
                        QVERIFY2(*SettingByte(cache, g, i) ==
                                     (reply ? (*reply)[3] : *SettingByte(old, g, i)),
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
                const auto probe = WholeReply(frames, ProbeFrame());
                const QString shown = Text(dlg_->ItemText(Ids::kPortCombo));
                QVERIFY2(shown == (probe ? "COM 3" : "COM 4"), qPrintable(what + ": " + shown));
            } else {
                // Written: the box holds the byte and so does the cache; failed ("Fail"): the
                // cache as it was.
                const auto item = static_cast<uint8_t>(row + 1);
                const uint8_t cached = dlg_->statusCache.image[row];
                if (messages_->texts().contains(QStringLiteral("Fail"))) {
                    QVERIFY2(cached == before.image[row], qPrintable(what));
                } else {
                    QVERIFY2(WireHex(*box_) == HexBytes(WriteSettingFrame(2, item, value).view()),
                             qPrintable(what + ": " + WireHex(*box_)));
                    QVERIFY2(cached == value && box_->setting(2, item) == value, qPrintable(what));
                }
            }
            ++done[size_t(kind)];
        }
        QStringList faults;
        for (const auto& [fault, n] : played) {
            faults << Text(FaultName(fault)) + ' ' + QString::number(n);
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
        auto held = StartLinkedBox(*ports_, 11);
        auto quiet = StartLinkedBox(*ports_, 12, {.silent = true});
        auto answering = StartLinkedBox(*ports_, 13, {.garbage = true});
        auto later = StartLinkedBox(*ports_, 14);
        QVERIFY(held && quiet && answering && later);
        SerialPort other;
        QVERIFY(OpenBoxPort(other, ports_->Port(11)));

        OpenWindow();
        dlg_->Command(Ids::kSearchPortsButton);
        QVERIFY(dlg_->comPorts.size() >= 4);  // the machine's own ports follow
        for (int k = 0; k < 4; ++k) {
            QCOMPARE(dlg_->comPorts[size_t(k)].number, 11 + k);
        }
        QCOMPARE(ui::ControlOf<QComboBox>(*dlg_, Ids::kPortCombo)->currentText(),
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
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
