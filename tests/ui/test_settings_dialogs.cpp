// The settings dialogs (System 200 and 201, In/Out mode, Image, Output Setup, Adjustment,
// Engineer Menu, GenLock Sync Delay) against the simulated box: what the controls show, the
// frames on the wire, the lent cache bytes after, the message boxes and dialogs that appeared;
// and the program's own launchers opening them.
#include <QtTest>

#include "tests/common/TestBox.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/dialogs/AdjustmentDialog.h"
#include "ui/dialogs/EngineerMenuDialog.h"
#include "ui/dialogs/GenlockDialog.h"
#include "ui/dialogs/ImageDialog.h"
#include "ui/dialogs/InOutDialog.h"
#include "ui/dialogs/OutputSetupDialog.h"
#include "ui/dialogs/SettingsDialogs.h"
#include "ui/dialogs/SystemClockDialog.h"
#include "ui/dialogs/SystemVersionDialog.h"

using namespace kestrow;

namespace {

constexpr int kPort = 200;

struct Row {
    const char* name;
    int tmpl;
    int portByte;            // Output Setup and 201: the probe's; 200: 1 for a newer model
    const char* cache;       // the lent group in hex
    const char* script;      // "id=text" types ("id=#n" selects entry n), "id" clicks; "paint",
                             // "enter", "close", "reopen" (on the same bytes), "@k=v" sets byte k
                             // of the group. First, before the dialog opens: "hold" (another
                             // program takes the port, so it cannot open), "silent" (the box
                             // stops answering), "gk=v" (the box's GenLock register k),
                             // "cancel" (message boxes are answered Cancel)
    const char* wire;        // frames as group.item.value, "gl" the GenLock dialog's reads, or hex
    const char* after;       // the group afterwards; empty: unchanged
    const char* shown;       // "id=state;..." as test::State tells them; id 0 the dialog
    const char* boxes = "";  // message boxes "caption|text", "[id]" a dialog opened, ";" between
};

// A failed write: the serial layer's box, then "Fail" once, owned by the dialog.
constexpr const char* kFail = "Error|Failed to open up the comms port\n;|Fail (owned)";
constexpr const char* kReset =
    "Confirm|Are you sure you want to do factory-reset command? \r\n   (owned)";
constexpr const char* kGenlockReads = "066c934904ae066c934902b0066c934905ad066c934903af";

const char* const kEngineerStart =
    "1005=Off/3;1034=;1006=On/2;1007=On/2;1008=On/2;1009=Adapt/3;1010=All/4;1011=On/2;"
    "1012=On/2;1014=On/2;1015=On/2;1016=On/2;1017=All/4;1018=On/2;1019=On/3";

// System bytes S: S[2] of a template-201 row is not the probe's port byte (its input code
// would give no lock entry); the box's (4,1) is 8 "HD(1080p)60", S[0] 9 is "HD(1080p)50".
// Image bytes: contrast 10, brightness 20, saturation 30, hue 255, B/W On, colour tone 5 (no
// such entry), edge Off, sharpness 100. Adjustment: all at the centre. GenLock: the box's delays
// 0 (registers 2 and 3) in periods 2200 x 1125 (4 and 5).
constexpr Row kRows[] = {
    {"201 opens", 201, 0x39, "74014203", "", "", "", "1033=Old;1006=Lock To SDI/3;1007=Apply"},
    {"201 two entries, S[1] beyond", 201, 0x79, "74034203", "", "", "", "1006=/2"},
    {"201 apply entry 2 of 3: GenLock", 201, 0x39, "74014203", "1006=#2 1007 reopen", "4.2.2 gl",
     "74024203", "1006=FrameLock B(Genlock)/3", "[208]"},
    {"201 apply entry 1 of 2", 201, 0x79, "74004203", "1006=#1 1007 reopen", "4.2.1", "74014203",
     "1006=FrameLock B(Genlock)/2"},
    {"201 apply without entry", 201, 0x39, "74014203", "1006=#-1 1007 reopen", "", "",
     "1006=Lock To SDI/3"},
    {"201 get", 201, 0x39, "74014203", "1004", "076c93010401f4", "08014203", "1033=HD(1080p)60"},
    {"201 get, silent box", 201, 0x39, "74014203", "silent 1004", "076c93010401f4", "", "1033=NA"},
    {"201 factory reset", 201, 0x39, "74014203", "1002", "4.4.1", "", "", kReset},
    {"201 factory reset cancelled", 201, 0x39, "74014203", "cancel 1002", "", "", "", kReset},
    {"201 firmware update", 201, 0x39, "74014203", "1003", "", "", "", "[207]"},
    {"200 older model, get shows the cache", 200, 0, "74010302", "@0=9 1004", "076c93010403f2",
     "09010302", "1033=HD(1080p)50;1035=V1.23.456;1034=hidden;1008=hidden;1007=hidden"},
    {"200, port held", 200, 0, "74010302", "hold", "", "", "1033=NO-SYNC;1035=NA",
     "Error|Failed to open up the comms port\n"},
    {"200 newer model, set auto-sleep", 200, 1, "74010302", "1008=#4 1007 reopen",
     "076c93010404f1 4.2.4 076c93010404f1", "74010402",
     "1034=Auto-Sleep Mode;1008=4 min/6;1007=Set"},
    {"200 newer model, factory reset", 200, 1, "74010302", "1002", "076c93010404f1 4.5.1", "",
     "1008=3 min/6", kReset},
    {"In/Out mode", 202, 0, "", "1008=70 1005 enter", "", "", "1005=on;1006=off;1008=70;0=closed"},
    {"In/Out mode reopened", 202, 0, "", "1008=70 1006 reopen", "", "",
     "1005=off;1006=off;1008=;0=open"},
    {"Image opens", 203, 0, "0a141eff01050364", "1011", "", "",
     "1008=10;1027=0..255@10;1025=255;1005=On/2;1006=/3;1007=Off/4;1031=100;1033=0..127@100"},
    {"Image clamped", 203, 0, "0a141eff01050364", "1008=300 1002 1031=200 1013", "2.1.255 2.8.127",
     "ff141eff0105037f", "1008=255;1027=0..255@255;1031=127;1033=0..127@127"},
    {"Image steps, slider, typing", 203, 0, "0a141eff01050364",
     "1020 1025=300 1020 1008=0 1024 1031=150 1022 1035 1028=40 1018 1023=99 paint close", "", "",
     "1025=300;1030=0..255@255;1008=0;1031=149;1021=41;1028=0..255@41;1023=99;1029=0..255@30;"
     "0=closed"},
    {"Image reopen", 203, 0, "0a141eff01050364", "1021=77 1003 1006=#2 1011 reopen", "2.2.77 2.6.2",
     "0a4d1eff01020364", "1021=77;1028=0..255@77;1006=Green/3"},
    {"Image port held", 203, 0, "0a141eff01050364", "hold 1008=128 1002", "", "",
     "1008=128;1027=0..255@10", kFail},
    {"Output 0x95", 204, 0x95, "16020a0000", "1005=#30 1002 1008=#1 1009", "1.1.30 1.4.1",
     "1e020a0100",
     "1005=1440x900p60/38;1006=YCbCr422/3;1007=Diagonal/11;1030=Audio Source;1008=Analog/2;"
     "1031=hidden;1010=hidden;1011=hidden"},
    {"Output 0x59", 204, 0x59, "1600000001", "1005=#14 1002 1006=#1 1003 1010=#0 1011 reopen",
     "086c930001011ed9 1.2.2 1.5.0", "1e01000000",
     "1005=1440x900p60/22;1006=YCbCr422/2;1030=hidden;1008=hidden;1009=hidden;"
     "1031=EDID Audio Ch#;1010=2Ch/2"},
    {"Output 0x55", 204, 0x55, "2502000101", "", "", "",
     "1005=Auto-Detect/38;1006=YCbCr422/3;1008=hidden;1010=7.1Ch/2"},
    {"Output 0x05", 204, 0x05, "0000000000", "", "", "", "1008=SPDIF/2;1010=hidden"},
    {"Output DVI: RGB whatever the byte", 204, 0x51, "0005000000", "", "", "", "1006=RGB/1"},
    {"Output VGA, code 3", 204, 0x59, "0300000000", "1002", "", "", "1005=/22"},
    {"Output Component, 12", 204, 0x50, "0c00000000", "1002", "1.1.12", "", "1005=HD(1080p)60/17"},
    {"Output Component, 3", 204, 0x50, "0300000000", "1002", "1.1.36", "2400000000",
     "1005=Bypass/17"},
    {"Output SDI", 204, 0x53, "0501000000", "1005=#18 1002 1003 reopen", "1.1.36 1.2.2",
     "2400000000", "1005=Bypass/19;1006=YCbCr422/1"},
    {"Output port held", 204, 0x59, "1600000001", "hold 1007=#3 1004", "", "", "1007=Hatch/11",
     kFail},
    {"Adjustment shown, own limits", 205, 0, "00010001c864", "1012 1011 1034=-150 1004", "", "",
     "1021=-50;1027=-50..50@-50;1000=16:9/2;1001=Off/2;1002=On/2;1035=50;1029=-50..50@50;"
     "1034=-149;1028=-100..100@-100"},
    {"Adjustment sent", 205, 0, "320000006432",
     "1034=-100 1009 1034=100 1009 1035=-7 1010 1021=50 1005 1000=#1 1006 1002=#-1 1008",
     "3.5.0 3.5.200 086c930003062bc5 3.1.100 3.2.1", "64010000c82b",
     "1034=100;1028=-100..100@100;1035=-7;1029=-50..50@-7;1000=16:9/2"},
    {"Adjustment clamped", 205, 0, "320000006432",
     "1034=200 1009 1021=-80 1005 1035=abc 1010 1034= 1009", "3.5.200 3.1.0 3.6.50 3.5.100",
     "000000006432", "1021=-50;1027=-50..50@-50;1035=0;1034=0"},
    {"Engineer Menu", 206, 0, "", "1005=#2 1034=55 1009=#1 1019=#2 1018=#1 enter reopen", "", "",
     kEngineerStart},
    {"GenLock signed around zero", 208, 0, "", "g2=1101 g3=563", "gl", "",
     "1028=-1100..1100@-1099;1021=-1099;1029=-562..562@-562;1022=-562"},
    {"GenLock apply H -1", 208, 0, "", "1021=-1 1003", "gl 086c934900089711", "",
     "1028=-1100..1100@-1;1021=-1;1029=-562..562@0"},
    {"GenLock apply V -600, clamped", 208, 0, "", "1022=-600 1004", "gl 086c93490102337a", "",
     "1029=-562..562@-562;1022=-562;1028=-1100..1100@0"},
    {"GenLock apply H 5000, clamped, close", 208, 0, "", "1021=5000 1003 close",
     "gl 086c934900044c60", "", "1028=-1100..1100@1100;1021=1100;0=closed"},
    {"GenLock, silent box: all 0", 208, 0, "", "silent", "gl", "",
     "1028=0..0@0;1021=0;1029=0..0@0;1022=0"},
};

std::unique_ptr<ui::Dialog> Make(int tmpl, const ComPort& port, std::span<uint8_t> group,
                                 uint8_t portByte) {
    const BoxFacts box{portByte, 0, portByte == 1};  // 200 reads only whether it is newer
    switch (tmpl) {
        case 200:
            return std::make_unique<SystemVersionDialog>(port, group, box);
        case 201:
            return std::make_unique<SystemClockDialog>(port, group, box);
        case 202:
            return std::make_unique<InOutDialog>(port);
        case 203:
            return std::make_unique<ImageDialog>(port, group);
        case 204:
            return std::make_unique<OutputSetupDialog>(port, group, box);
        case 205:
            return std::make_unique<AdjustmentDialog>(port, group);
        case 206:
            return std::make_unique<EngineerMenuDialog>(port);
        default:
            return std::make_unique<GenlockDialog>(port);
    }
}

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
        std::unique_ptr<ui::Dialog> dlg;
        const auto open = [&] {
            dlg = Make(r.tmpl, ports_.Port(kPort), group, uint8_t(r.portByte));
            return dlg->CreateModeless(nullptr);
        };
        QObject rowLife;
        QStringList seen;
        test::WhenModalOver(&rowLife, nullptr, [&seen](ui::Dialog* d) {
            seen << QStringLiteral("[%1]").arg(d->Template().id);
            d->close();
        });
        SerialPort other;
        for (const QString& step : QString(r.script).split(' ', Qt::SkipEmptyParts)) {
            const int id = step.section('=', 0, 0).toInt();
            const QString text = step.section('=', 1);
            if (step == "hold") {
                QVERIFY(OpenBoxPort(other, ports_.Port(kPort)));
            } else if (step == "silent") {
                sim::BoxConfig config = box_->config();
                config.silent = true;
                box_->SetConfig(config);
            } else if (step.startsWith('g')) {
                box_->SetGenlock(uint8_t(step.mid(1).section('=', 0, 0).toInt()),
                                 uint16_t(text.toInt()));
            } else if (step == "cancel") {
                messages_.answer = ui::kIdCancel;
            } else if (!dlg && !open()) {
                QFAIL("the dialog did not open");
            } else if (step == "reopen") {
                QVERIFY(open());
            } else if (step.startsWith('@')) {
                group.at(size_t(step.mid(1).section('=', 0, 0).toInt())) = uint8_t(text.toInt());
            } else if (step == "paint") {
                (void)dlg->grab();
            } else if (step == "close") {
                (void)dlg->close();
            } else if (step == "enter") {
                QTest::keyClick(dlg.get(), Qt::Key_Return);
            } else if (auto* list = dlg->ControlAs<QComboBox>(id); list && text.startsWith('#')) {
                list->setCurrentIndex(text.mid(1).toInt());
            } else if (auto* bar = dlg->ControlAs<QSlider>(id)) {
                bar->setValue(text.toInt());
            } else if (step.contains('=')) {
                dlg->SetControlText(id, text);
            } else {
                dlg->ControlAs<QAbstractButton>(id)->click();
            }
        }
        QVERIFY(dlg || open());
        QByteArray wire;
        for (const QString& frame : QString(r.wire).split(' ', Qt::SkipEmptyParts)) {
            const QStringList v = frame.split('.');
            wire +=
                frame == "gl" ? QByteArray(kGenlockReads)
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
        QStringList states;
        const QStringList shown = QString(r.shown).split(';', Qt::SkipEmptyParts);
        for (const QString& s : shown) {
            states << s.section('=', 0, 0) + '=' + test::State(*dlg, s.section('=', 0, 0).toInt());
        }
        QCOMPARE(states, shown);
        QCOMPARE((messages_.boxes() + seen).join(';'), QString(r.boxes));
        for (const ui::MessageRequest& m : messages_.requests()) {
            QVERIFY(m.caption != "Confirm" || (m.buttons == ui::MessageButtons::OkCancel &&
                                               m.icon == ui::MessageIcon::Question));
        }
    }

    // The program's own launchers: each template opens its dialog on the request's port, group
    // and port byte (0x59: Output Setup's VGA list, not the one of the group's byte 0x42).
    void launchers() {
        std::array<uint8_t, 8> group{7, 8, 0x42, 2};
        box_->SetSetting(2, 1, 0);
        QStringList seen;
        for (int id = 200; id <= 206; ++id) {
            test::WhenModalOver(this, nullptr, [&seen](ui::Dialog* d) {
                seen << QString::number(d->Template().id);
                if (d->Template().id == 204) {
                    seen.last() += '/' + QString::number(d->ControlAs<QComboBox>(1005)->count());
                } else if (d->Template().id == 203) {
                    d->SetControlText(1008, QStringLiteral("128"));
                    d->Command(1002);
                }
                d->close();
            });
            RunSettingsDialog({id, ports_.Port(kPort), group, {0x59, 0, true}, nullptr});
        }
        QCOMPARE(seen.join(' '), QString("200 201 202 203 204/22 205 206"));
        QCOMPARE(int(group[0]), 128);  // Image wrote into the lent group
        QCOMPARE(int(box_->setting(2, 1)), 128);
        QVERIFY(messages_.boxes().isEmpty());
    }
};

QTEST_MAIN(TestSettingsDialogs)
#include "test_settings_dialogs.moc"
