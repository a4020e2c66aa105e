// The settings dialogs (System 200 and 201, In/Out mode, Image, Output Setup, Adjustment,
// Engineer Menu, GenLock Sync Delay) against the simulated box: what the controls show, the
// frames on the wire, the lent cache bytes after, the message boxes and dialogs that appeared;
// and the program's own launchers opening them.

#include "tests/ui/UiTestSupport.h"
#include "ui/dialogs/AdjustmentDialogTemplate.h"
#include "ui/dialogs/EngineerMenuDialogTemplate.h"
#include "ui/dialogs/GenlockDialog.h"
#include "ui/dialogs/GenlockDialogTemplate.h"
#include "ui/dialogs/ImageDialogTemplate.h"
#include "ui/dialogs/InOutDialogTemplate.h"
#include "ui/dialogs/OutputSetupDialogTemplate.h"
#include "ui/dialogs/SystemClockDialogTemplate.h"
#include "ui/dialogs/SystemVersionDialogTemplate.h"

using namespace kestrow;

namespace {

constexpr int kPort = 200;

// The templates' control ids, by dialog.
using Version = ui::SystemVersionIds;  // 200
using Clock = ui::SystemClockIds;      // 201
using InOut = ui::InOutIds;            // 202
using Image = ui::ImageIds;            // 203
using Output = ui::OutputSetupIds;     // 204
using Adjust = ui::AdjustmentIds;      // 205
using Engineer = ui::EngineerMenuIds;  // 206
using Genlock = ui::GenlockIds;        // 208
using test::kDialogItself;

// Script steps on a control, written as the script reads them: "id" clicks, "id=text" types
// (a trackbar moves to the number), "id=#n" selects entry n of a list.
const auto Click = [](int id) { return QString::number(id); };
const auto Type = [](int id, const char* text) { return QString::number(id) + '=' + text; };
const auto Select = [](int id, int n) { return QString::number(id) + "=#" + QString::number(n); };
// What a control shows (test::State), "id=state" as typed text is written.
const auto Is = Type;

// A script's steps, or what controls show.
const auto List = [](const auto&... items) { return QStringList{QString(items)...}; };

struct Row {
    const char* name;
    int tmpl;
    int portByte;            // Output Setup and 201: the probe's (201: + 0x100 for a newer
                             // model); 200: 1 for a newer model
    const char* cache;       // the lent group in hex
    QStringList script;      // steps on controls (Click, Type, Select); "paint", "enter",
                             // "close", "reopen" (on the same bytes), "@k=v" sets byte k of the
                             // group. First, before the dialog opens: "hold" (another program
                             // takes the port, so it cannot open), "silent" (the box stops
                             // answering), "gk=none" (nor its GenLock register k), "cancel"
                             // (message boxes are answered Cancel)
    const char* wire;        // frames as group.item.value, "gl" the GenLock dialog's reads, or hex
    const char* after;       // the group afterwards; empty: unchanged
    QStringList shown;       // what controls show (Is); kDialogItself the dialog
    const char* boxes = "";  // message boxes "caption|text", "[id]" a dialog opened, ";" between
};

// A failed write: the serial layer's box, then "Fail" once, owned by the dialog.
constexpr const char* kFail = "Error|Failed to open up the comms port\n;|Fail (owned)";
constexpr const char* kReset =
    "Confirm|Are you sure you want to do factory-reset command? \r\n   (owned)";

const QStringList kEngineerStart =
    List(Is(Engineer::k3dnrSetList, "Off/3"), Is(Engineer::k3dnrLevelEdit, ""),
         Is(Engineer::kMosquitoNrList, "On/2"), Is(Engineer::kVd3dCombList, "On/2"),
         Is(Engineer::kCrossColorList, "On/2"), Is(Engineer::kDeintModeList, "Adapt/3"),
         Is(Engineer::kEdgeAngleList, "All/4"), Is(Engineer::kMotionBorderList, "On/2"),
         Is(Engineer::kFastMotionList, "On/2"), Is(Engineer::kSlowMotionList, "On/2"),
         Is(Engineer::kZoomArtifactList, "On/2"), Is(Engineer::kNoiseRobustList, "On/2"),
         Is(Engineer::kFilmModeList, "All/4"), Is(Engineer::kFilmBadEditList, "On/2"),
         Is(Engineer::kInterAreaSetList, "On/3"));

// System bytes S: S[2] of a template-201 row is not the probe's port byte (its input code
// would give no lock entry); the box's (4,1) is 8 "HD(1080p)60", S[0] 9 is "HD(1080p)50".
// Image bytes: contrast 10, brightness 20, saturation 30, hue 255, B/W On, colour tone 5 (no
// such entry), edge Off, sharpness 100. Adjustment: at the centre (where no number is typed:
// V-shift -50, H-shift 100). GenLock: the box's delays 0 (registers 2 and 3) in periods
// 2200 x 1125 (4 and 5).
const Row kRows[] = {
    {"201 opens", 201, 0x39, "74014203", List(), "", "",
     List(Is(Clock::kInputTimingText, "Old"), Is(Clock::kClockModeList, "Lock To SDI/3"),
          Is(Clock::kClockModeApply, "Apply"))},
    {"201 two entries, S[1] beyond", 201, 0x79, "74034203", List(), "", "",
     List(Is(Clock::kClockModeList, "/2"))},
    {"201 apply entry 2 of 3: GenLock", 201, 0x39, "74014203",
     List(Select(Clock::kClockModeList, 2), Click(Clock::kClockModeApply), "reopen"), "4.2.2 gl",
     "74024203", List(Is(Clock::kClockModeList, "FrameLock B(Genlock)/3")), "[208]"},
    {"201 apply entry 1 of 2", 201, 0x79, "74004203",
     List(Select(Clock::kClockModeList, 1), Click(Clock::kClockModeApply), "reopen"), "4.2.1",
     "74014203", List(Is(Clock::kClockModeList, "FrameLock B(Genlock)/2"))},
    {"201 apply without entry", 201, 0x39, "74014203",
     List(Select(Clock::kClockModeList, -1), Click(Clock::kClockModeApply), "reopen"), "", "",
     List(Is(Clock::kClockModeList, "Lock To SDI/3"))},
    // A newer model keeps (4,2) in S[2], (4,3) in S[1]: the list shows, and a plain Apply
    // writes back, (4,2) = 1 "Lock To SDI", not S[1]'s "FrameLock B(Genlock)"; Apply stores
    // into S[2].
    {"201 newer model: the clock mode is (4,2)", 201, 0x139, "74020103",
     List(Click(Clock::kClockModeApply), Select(Clock::kClockModeList, 0),
          Click(Clock::kClockModeApply), "reopen"),
     "4.2.1 4.2.0", "74020003", List(Is(Clock::kClockModeList, "Free-Run/3"))},
    {"201 get", 201, 0x39, "74014203", List(Click(Clock::kGetButton)), "076c93010401f4", "08014203",
     List(Is(Clock::kInputTimingText, "HD(1080p)60"))},
    {"201 get, silent box", 201, 0x39, "74014203", List("silent", Click(Clock::kGetButton)),
     "076c93010401f4", "", List(Is(Clock::kInputTimingText, "NA"))},
    {"201 factory reset", 201, 0x39, "74014203", List(Click(Clock::kFactoryResetButton)), "4.4.1",
     "", List(), kReset},
    {"201 factory reset cancelled", 201, 0x39, "74014203",
     List("cancel", Click(Clock::kFactoryResetButton)), "", "", List(), kReset},
    {"201 firmware update", 201, 0x39, "74014203", List(Click(Clock::kFirmwareUpdateButton)), "",
     "", List(), "[207]"},
    {"200 older model, get shows the cache", 200, 0, "74010302",
     List("@0=9", Click(Version::kGetButton)), "076c93010403f2", "09010302",
     List(Is(Version::kInputTimingText, "HD(1080p)50"), Is(Version::kVersionText, "V1.23.456"),
          Is(Version::kAutoSleepLabel, "hidden"), Is(Version::kAutoSleepList, "hidden"),
          Is(Version::kAutoSleepSet, "hidden"))},
    {"200, port held", 200, 0, "74010302", List("hold"), "", "",
     List(Is(Version::kInputTimingText, "NO-SYNC"), Is(Version::kVersionText, "NA")),
     "Error|Failed to open up the comms port\n"},
    {"200 newer model, set auto-sleep", 200, 1, "74010302",
     List(Select(Version::kAutoSleepList, 4), Click(Version::kAutoSleepSet), "reopen"),
     "076c93010404f1 4.2.4 076c93010404f1", "74010402",
     List(Is(Version::kAutoSleepLabel, "Auto-Sleep Mode"), Is(Version::kAutoSleepList, "4 min/6"),
          Is(Version::kAutoSleepSet, "Set"))},
    {"200 newer model, factory reset", 200, 1, "74010302",
     List(Click(Version::kFactoryResetButton)), "076c93010404f1 4.5.1", "",
     List(Is(Version::kAutoSleepList, "3 min/6")), kReset},
    {"In/Out mode", 202, 0, "",
     List(Type(InOut::kUnderOverScanEdit, "70"), Click(InOut::kAspect16x9Radio), "enter"), "", "",
     List(Is(InOut::kAspect16x9Radio, "on"), Is(InOut::kAspect4x3Radio, "off"),
          Is(InOut::kUnderOverScanEdit, "70"), Is(kDialogItself, "closed"))},
    {"In/Out mode reopened", 202, 0, "",
     List(Type(InOut::kUnderOverScanEdit, "70"), Click(InOut::kAspect4x3Radio), "reopen"), "", "",
     List(Is(InOut::kAspect16x9Radio, "off"), Is(InOut::kAspect4x3Radio, "off"),
          Is(InOut::kUnderOverScanEdit, ""), Is(kDialogItself, "open"))},
    {"Image opens", 203, 0, "0a141eff01050364", List(Click(Image::kColorToneApply)), "", "",
     List(Is(Image::kContrastEdit, "10"), Is(Image::kContrastTrackbar, "0..255@10"),
          Is(Image::kHueEdit, "255"), Is(Image::kBwExtensionList, "On/2"),
          Is(Image::kColorToneList, "/3"), Is(Image::kEdgeEnhanceList, "Off/4"),
          Is(Image::kSharpnessEdit, "100"), Is(Image::kSharpnessTrackbar, "0..127@100"))},
    {"Image steps, slider, typing", 203, 0, "0a141eff01050364",
     List(Click(Image::kHueUp), Type(Image::kHueEdit, "300"), Click(Image::kHueUp),
          Type(Image::kContrastEdit, "0"), Click(Image::kContrastDown),
          Type(Image::kSharpnessEdit, "150"), Click(Image::kSharpnessUp),
          Click(Image::kSharpnessDown), Type(Image::kBrightnessTrackbar, "40"),
          Click(Image::kBrightnessUp), Type(Image::kSaturationEdit, "99"), "paint", "close"),
     "", "",
     List(Is(Image::kHueEdit, "300"), Is(Image::kHueTrackbar, "0..255@255"),
          Is(Image::kContrastEdit, "0"), Is(Image::kSharpnessEdit, "149"),
          Is(Image::kBrightnessEdit, "41"), Is(Image::kBrightnessTrackbar, "0..255@41"),
          Is(Image::kSaturationEdit, "99"), Is(Image::kSaturationTrackbar, "0..255@30"),
          Is(kDialogItself, "closed"))},
    {"Image reopen", 203, 0, "0a141eff01050364",
     List(Type(Image::kBrightnessEdit, "77"), Click(Image::kBrightnessApply),
          Select(Image::kColorToneList, 2), Click(Image::kColorToneApply), "reopen"),
     "2.2.77 2.6.2", "0a4d1eff01020364",
     List(Is(Image::kBrightnessEdit, "77"), Is(Image::kBrightnessTrackbar, "0..255@77"),
          Is(Image::kColorToneList, "Green/3"))},
    {"Image port held", 203, 0, "0a141eff01050364",
     List("hold", Type(Image::kContrastEdit, "128"), Click(Image::kContrastApply)), "", "",
     List(Is(Image::kContrastEdit, "128"), Is(Image::kContrastTrackbar, "0..255@10")), kFail},
    {"Output 0x95", 204, 0x95, "16020a0000",
     List(Select(Output::kOutputResolutionList, 30), Click(Output::kOutputResolutionApply),
          Select(Output::kAudioSourceList, 1), Click(Output::kAudioSourceApply)),
     "1.1.30 1.4.1", "1e020a0100",
     List(Is(Output::kOutputResolutionList, "1440x900p60/38"),
          Is(Output::kOutputModeList, "YCbCr422/3"), Is(Output::kDefaultPatternList, "Diagonal/11"),
          Is(Output::kAudioSourceLabel, "Audio Source"), Is(Output::kAudioSourceList, "Analog/2"),
          Is(Output::kEdidAudioChLabel, "hidden"), Is(Output::kEdidAudioChList, "hidden"),
          Is(Output::kEdidAudioChApply, "hidden"))},
    {"Output 0x59", 204, 0x59, "1600000001",
     List(Select(Output::kOutputResolutionList, 14), Click(Output::kOutputResolutionApply),
          Select(Output::kOutputModeList, 1), Click(Output::kOutputModeApply),
          Select(Output::kEdidAudioChList, 0), Click(Output::kEdidAudioChApply), "reopen"),
     "086c930001011ed9 1.2.2 1.5.0", "1e01000000",
     List(Is(Output::kOutputResolutionList, "1440x900p60/22"),
          Is(Output::kOutputModeList, "YCbCr422/2"), Is(Output::kAudioSourceLabel, "hidden"),
          Is(Output::kAudioSourceList, "hidden"), Is(Output::kAudioSourceApply, "hidden"),
          Is(Output::kEdidAudioChLabel, "EDID Audio Ch#"), Is(Output::kEdidAudioChList, "2Ch/2"))},
    {"Output 0x55", 204, 0x55, "2502000101", List(), "", "",
     List(Is(Output::kOutputResolutionList, "Auto-Detect/38"),
          Is(Output::kOutputModeList, "YCbCr422/3"), Is(Output::kAudioSourceList, "hidden"),
          Is(Output::kEdidAudioChList, "7.1Ch/2"))},
    {"Output 0x05", 204, 0x05, "0000000000", List(), "", "",
     List(Is(Output::kAudioSourceList, "SPDIF/2"), Is(Output::kEdidAudioChList, "hidden"))},
    {"Output SDI", 204, 0x53, "0501000000",
     List(Select(Output::kOutputResolutionList, 18), Click(Output::kOutputResolutionApply),
          Click(Output::kOutputModeApply), "reopen"),
     "1.1.36 1.2.2", "2400000000",
     List(Is(Output::kOutputResolutionList, "Bypass/19"),
          Is(Output::kOutputModeList, "YCbCr422/1"))},
    {"Output port held", 204, 0x59, "1600000001",
     List("hold", Select(Output::kDefaultPatternList, 3), Click(Output::kDefaultPatternApply)), "",
     "", List(Is(Output::kDefaultPatternList, "Hatch/11")), kFail},
    {"Adjustment shown, own limits", 205, 0, "00010001c864",
     List(Click(Adjust::kUnderOverScanDown), Click(Adjust::kVShiftUp),
          Type(Adjust::kHShiftEdit, "-150"), Click(Adjust::kHShiftUp)),
     "", "",
     List(Is(Adjust::kUnderOverScanEdit, "-50"), Is(Adjust::kUnderOverScanTrackbar, "-50..50@-50"),
          Is(Adjust::kAspectRatioList, "16:9/2"), Is(Adjust::kHMirrorList, "Off/2"),
          Is(Adjust::kVMirrorList, "On/2"), Is(Adjust::kVShiftEdit, "50"),
          Is(Adjust::kVShiftTrackbar, "-50..50@50"), Is(Adjust::kHShiftEdit, "-149"),
          Is(Adjust::kHShiftTrackbar, "-100..100@-100"))},
    {"Adjustment sent", 205, 0, "320000006432",
     List(Type(Adjust::kHShiftEdit, "-100"), Click(Adjust::kHShiftApply),
          Type(Adjust::kHShiftEdit, "100"), Click(Adjust::kHShiftApply),
          Type(Adjust::kVShiftEdit, "-7"), Click(Adjust::kVShiftApply),
          Type(Adjust::kUnderOverScanEdit, "50"), Click(Adjust::kUnderOverScanApply),
          Select(Adjust::kAspectRatioList, 1), Click(Adjust::kAspectRatioApply),
          Select(Adjust::kVMirrorList, -1), Click(Adjust::kVMirrorApply)),
     "3.5.0 3.5.200 086c930003062bc5 3.1.100 3.2.1", "64010000c82b",
     List(Is(Adjust::kHShiftEdit, "100"), Is(Adjust::kHShiftTrackbar, "-100..100@100"),
          Is(Adjust::kVShiftEdit, "-7"), Is(Adjust::kVShiftTrackbar, "-50..50@-7"),
          Is(Adjust::kAspectRatioList, "16:9/2"))},
    {"Adjustment, no number typed: 0", 205, 0, "32000000c800",
     List(Type(Adjust::kVShiftEdit, "abc"), Click(Adjust::kVShiftApply),
          Type(Adjust::kHShiftEdit, ""), Click(Adjust::kHShiftApply)),
     "3.6.50 3.5.100", "320000006432",
     List(Is(Adjust::kVShiftEdit, "0"), Is(Adjust::kHShiftEdit, "0"))},
    {"Engineer Menu", 206, 0, "",
     List(Select(Engineer::k3dnrSetList, 2), Type(Engineer::k3dnrLevelEdit, "55"),
          Select(Engineer::kDeintModeList, 1), Select(Engineer::kInterAreaSetList, 2),
          Select(Engineer::kFilmBadEditList, 1), "enter", "reopen"),
     "", "", kEngineerStart},
    {"GenLock apply V -600, H 5000, clamped, close", 208, 0, "",
     List(Type(Genlock::kVDelayEdit, "-600"), Click(Genlock::kVDelayApply),
          Type(Genlock::kHDelayEdit, "5000"), Click(Genlock::kHDelayApply), "close"),
     "gl 086c93490102337a 086c934900044c60", "",
     List(Is(Genlock::kVDelayTrackbar, "-562..562@-562"), Is(Genlock::kVDelayEdit, "-562"),
          Is(Genlock::kHDelayTrackbar, "-1100..1100@1100"), Is(Genlock::kHDelayEdit, "1100"),
          Is(kDialogItself, "closed"))},
    // What the box did not send shows "NA"; a row without its period sends nothing.
    {"GenLock, silent box: NA, nothing sent", 208, 0, "",
     List("silent", Click(Genlock::kHDelayApply), Click(Genlock::kHDelayUp),
          Click(Genlock::kVDelayApply)),
     "gl", "",
     List(Is(Genlock::kHDelayTrackbar, "0..0@0"), Is(Genlock::kHDelayEdit, "NA"),
          Is(Genlock::kVDelayTrackbar, "0..0@0"), Is(Genlock::kVDelayEdit, "NA"))},
    {"GenLock, V period unanswered", 208, 0, "",
     List("g5=none", Type(Genlock::kHDelayEdit, "-1"), Click(Genlock::kHDelayApply),
          Type(Genlock::kVDelayEdit, "100"), Click(Genlock::kVDelayApply)),
     "gl 086c934900089711", "",
     List(Is(Genlock::kHDelayTrackbar, "-1100..1100@-1"), Is(Genlock::kHDelayEdit, "-1"),
          Is(Genlock::kVDelayTrackbar, "0..0@0"), Is(Genlock::kVDelayEdit, "100"))},
    {"GenLock, H delay unanswered: NA until stepped", 208, 0, "",
     List("g2=none", Click(Genlock::kHDelayApply), Click(Genlock::kHDelayUp),
          Click(Genlock::kHDelayApply)),
     "gl 086c9349000001af", "",
     List(Is(Genlock::kHDelayTrackbar, "-1100..1100@1"), Is(Genlock::kHDelayEdit, "1"),
          Is(Genlock::kVDelayTrackbar, "-562..562@0"))},
};

}  // namespace

class TestSettingsDialogs : public QObject {
    Q_OBJECT
    test::PortsDir ports_;
    test::MessageRecorder messages_;
    std::unique_ptr<sim::BoxSim> box_;

  private slots:
    void initTestCase() { ui::InstallDeviceHooks(); }
    void cleanupTestCase() { ui::RemoveDeviceHooks(); }
    void init() {
        messages_.clear();
        messages_.answer = ui::kIdOk;
        box_ = test::StartLinkedBox(ports_, kPort);
        QVERIFY(box_);
    }
    void cleanup() { box_.reset(); }

    void dialogs_data() {
        QTest::addColumn<int>("row");
        for (int k = 0; k < int(std::size(kRows)); ++k) {
            QTest::newRow(kRows[k].name) << k;
        }
    }
    void dialogs() {
        QFETCH(int, row);
        const Row& r = kRows[row];
        const QByteArray bytes = QByteArray::fromHex(r.cache);
        std::vector<uint8_t> group(bytes.begin(), bytes.end());
        const bool newer = r.tmpl == 200 ? r.portByte == 1 : (r.portByte & 0x100) != 0;
        const LaunchRequest request{
            r.tmpl, ports_.Port(kPort), group, {uint8_t(r.portByte & 0xFF), 0, newer}};
        QStringList seen;
        QStringList states;
        // Runs the row's dialog as the launchers do (GenLock as 201's Apply does) with `act`
        // while it shows; the dialogs it opens in turn are named and closed.
        const auto run = [&](const std::function<void(ui::Dialog&)>& act) {
            QObject life;
            test::WhenShown<ui::Dialog>(&life, [&](ui::Dialog* dlg) {
                const auto over = [&seen](ui::Dialog* d) {
                    seen << QStringLiteral("[%1]").arg(d->Template().id);
                    d->Window().close();
                };
                test::WhenShown<ui::Dialog>(&life, over, dlg);
                act(*dlg);
                (void)dlg->Window().close();
            });
            if (r.tmpl == 208) {
                (void)GenlockDialog(request.port).RunModal(nullptr);
            } else {
                RunSettingsDialog(request);
            }
        };
        const auto look = [&](ui::Dialog& dlg) {
            for (const QString& s : r.shown) {
                states << s.section('=', 0, 0) + '=' +
                              test::State(dlg, s.section('=', 0, 0).toInt());
            }
        };
        SerialPort other;
        for (const QString& step : r.script) {  // before the dialog opens
            if (step == "hold") {
                QVERIFY(OpenBoxPort(other, ports_.Port(kPort)));
            } else if (step == "silent") {
                sim::BoxConfig config = box_->config();
                config.silent = true;
                box_->SetConfig(config);
            } else if (step.startsWith('g')) {
                sim::BoxConfig config = box_->config();
                config.unanswered.insert({0x49, uint8_t(step.mid(1).section('=', 0, 0).toInt())});
                box_->SetConfig(config);
            } else if (step == "cancel") {
                messages_.answer = ui::kIdCancel;
            }
        }
        const bool reopen = r.script.contains("reopen");
        run([&](ui::Dialog& dlg) {
            for (const QString& step : r.script) {
                const int id = step.section('=', 0, 0).toInt();
                const QString text = step.section('=', 1);
                if (step.startsWith('@')) {
                    group.at(size_t(step.mid(1).section('=', 0, 0).toInt())) =
                        uint8_t(text.toInt());
                } else if (step == "paint") {
                    (void)dlg.Window().grab();
                } else if (step == "close") {
                    (void)dlg.Window().close();
                } else if (step == "enter") {
                    QTest::keyClick(&dlg.Window(), Qt::Key_Return);
                } else if (auto* list = ui::ControlOf<QComboBox>(dlg, id);
                           list && text.startsWith('#')) {
                    list->setCurrentIndex(text.mid(1).toInt());
                } else if (auto* bar = ui::ControlOf<QSlider>(dlg, id)) {
                    bar->setValue(text.toInt());
                } else if (step.contains('=') && id != 0) {
                    dlg.SetItemText(id, text.toStdString());
                } else if (id != 0) {
                    ui::ControlOf<QAbstractButton>(dlg, id)->click();
                }
            }
            if (!reopen) {
                look(dlg);
            }
        });
        if (reopen) {
            run(look);
        }
        QByteArray wire;
        for (const QString& frame : QString(r.wire).split(' ', Qt::SkipEmptyParts)) {
            const QStringList v = frame.split('.');
            wire +=
                frame == "gl" ? test::kGenlockReads
                : v.size() != 3
                    ? frame.toLatin1()
                    : test::HexBytes(WriteSettingFrame(uint8_t(v[0].toInt()), uint8_t(v[1].toInt()),
                                                       uint8_t(v[2].toInt()))
                                         .view());
        }
        box_->WaitForReceived(size_t(wire.size() / 2), 2000);
        box_->WaitForReceived(size_t(wire.size() / 2) + 1, 100);  // and nothing more
        QCOMPARE(test::WireHex(*box_), wire);
        QCOMPARE(test::HexBytes(group), QByteArray(*r.after != 0 ? r.after : r.cache));
        QCOMPARE(states, r.shown);
        QCOMPARE((messages_.boxes() + seen).join(';'), QString(r.boxes));
        for (const ui::MessageRequest& m : messages_.requests()) {
            QVERIFY(m.caption != "Confirm" || (m.buttons == ui::MessageButtons::OkCancel &&
                                               m.icon == ui::MessageIcon::Question));
        }
    }
};

QTEST_MAIN(TestSettingsDialogs)
#include "test_settings_dialogs.moc"
