// The Image, Output Setup, Adjustment, Engineer Menu and In/Out mode dialogs against the
// simulated box: what the controls show, the frames on the wire, the lent cache bytes after;
// and the main window's buttons opening them through the program's own launchers.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QSlider>
#include <QTimer>
#include <QtTest>

#include "CMainDlg.h"
#include "Dlg2.h"
#include "Dlg3.h"
#include "Dlg4.h"
#include "Dlg5.h"
#include "Dlg6.h"
#include "PictureButton.h"
#include "SettingsDialogs.h"
#include "TestBox.h"
#include "UiTestSupport.h"

using namespace kestrow;

namespace {

constexpr int kPort = 200;

struct Row {
    const char* name;
    int tmpl;
    int portByte;        // Output Setup
    const char* cache;   // the lent group in hex
    const char* script;  // "id=text" types ("id=#n" selects entry n), "id" clicks; "paint",
                         // "enter", "close", "reopen" (on the same bytes), "hold" (another
                         // program takes the port, so each Apply fails)
    const char* wire;    // frames as group.item.value, or in hex
    const char* after;   // the group afterwards; empty: unchanged
    const char* shown;   // "id=state;...": list "text/entries", radio "on"/"off", 0 the dialog
};

const char* const kEngineerStart =
    "1005=Off/3;1034=;1006=On/2;1007=On/2;1008=On/2;1009=Adapt/3;1010=All/4;1011=On/2;"
    "1012=On/2;1014=On/2;1015=On/2;1016=On/2;1017=All/4;1018=On/2;1019=On/3";

// Image bytes: contrast 10, brightness 20, saturation 30, hue 255, B/W On, colour tone 5 (no
// such entry), edge Off, sharpness 100. Adjustment: all at the centre.
constexpr Row kRows[] = {
    {"Image opens", 203, 0, "0a141eff01050364", "1011", "", "",
     "1008=10;1027=10;1025=255;1005=On/2;1006=/3;1007=Off/4;1031=100;1033=100"},
    {"Image Contrast 128", 203, 0, "0a141eff01050364", "1008=128 1002", "086c930002018076",
     "80141eff01050364", "1008=128;1027=128"},
    {"Image clamped", 203, 0, "0a141eff01050364", "1008=300 1002 1031=200 1013", "2.1.255 2.8.127",
     "ff141eff0105037f", "1008=255;1027=255;1031=127;1033=127"},
    {"Image steps, slider, typing", 203, 0, "0a141eff01050364",
     "1020 1025=300 1020 1008=0 1024 1031=150 1022 1035 1028=40 1018 1023=99 paint close", "", "",
     "1025=300;1030=255;1008=0;1031=149;1021=41;1028=41;1023=99;1029=30;0=closed"},
    {"Image reopen", 203, 0, "0a141eff01050364", "1021=77 1003 1006=#2 1011 reopen", "2.2.77 2.6.2",
     "0a4d1eff01020364", "1021=77;1028=77;1006=Green/3"},
    {"Image port held", 203, 0, "0a141eff01050364", "hold 1008=128 1002", "", "",
     "1008=128;1027=10"},
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
    {"Output VGA, code 3", 204, 0x59, "0300000000", "1002", "", "", "1005=/22"},
    {"Output Component, 12", 204, 0x50, "0c00000000", "1002", "1.1.12", "", "1005=HD(1080p)60/17"},
    {"Output Component, 3", 204, 0x50, "0300000000", "1002", "1.1.36", "2400000000",
     "1005=Bypass/17"},
    {"Output SDI", 204, 0x53, "0501000000", "1005=#18 1002 1003 reopen", "1.1.36 1.2.2",
     "2400000000", "1005=Bypass/19;1006=YCbCr422/1"},
    {"Output port held", 204, 0x59, "1600000001", "hold 1007=#3 1004", "", "", "1007=Hatch/11"},
    {"Adjustment shown, own limits", 205, 0, "00010001c864", "1012 1011 1034=-150 1004", "", "",
     "1021=-50;1027=-50;1000=16:9/2;1001=Off/2;1002=On/2;1035=50;1029=50;1034=-149;1028=-100"},
    {"Adjustment sent", 205, 0, "320000006432",
     "1034=-100 1009 1034=100 1009 1035=-7 1010 1021=50 1005 1000=#1 1006 1002=#-1 1008",
     "3.5.0 3.5.200 086c930003062bc5 3.1.100 3.2.1", "64010000c82b",
     "1034=100;1028=100;1035=-7;1029=-7;1000=16:9/2"},
    {"Adjustment clamped", 205, 0, "320000006432",
     "1034=200 1009 1021=-80 1005 1035=abc 1010 1034= 1009", "3.5.200 3.1.0 3.6.50 3.5.100",
     "000000006432", "1021=-50;1027=-50;1035=0;1034=0"},
    {"Adjustment port held", 205, 0, "320000006432", "hold 1035=-7 1010", "", "", "1035=-7;1029=0"},
    {"Engineer Menu", 206, 0, "", "1005=#2 1034=55 1009=#1 1019=#2 1018=#1 enter reopen", "", "",
     kEngineerStart},
    {"In/Out mode", 202, 0, "", "1008=70 1005 enter", "", "", "1005=on;1006=off;1008=70;0=closed"},
    {"In/Out mode reopened", 202, 0, "", "1008=70 1006 reopen", "", "",
     "1005=off;1006=off;1008=;0=open"},
};

std::unique_ptr<ui::Dialog> Make(int tmpl, std::span<uint8_t> group, uint8_t portByte) {
    switch (tmpl) {
        case 203:
            return std::make_unique<Dlg3>(kPort, group);
        case 204:
            return std::make_unique<Dlg4>(kPort, group, portByte);
        case 205:
            return std::make_unique<Dlg5>(kPort, group);
        case 206:
            return std::make_unique<Dlg6>(kPort);
        default:
            return std::make_unique<Dlg2>(kPort);
    }
}

QString State(const ui::Dialog& dlg, int id) {
    const QWidget* w = id == 0 ? &dlg : dlg.Control(id);
    const auto* list = qobject_cast<const QComboBox*>(w);
    const auto* button = qobject_cast<const QAbstractButton*>(w);
    if (id == 0) {
        return w->isVisible() ? "open" : "closed";
    }
    if (w->isHidden()) {
        return "hidden";
    }
    if (const auto* bar = qobject_cast<const QSlider*>(w)) {
        return QString::number(bar->value());
    }
    if (list != nullptr) {
        return list->currentText() + '/' + QString::number(list->count());
    }
    if (button != nullptr && button->isCheckable()) {
        return button->isChecked() ? "on" : "off";
    }
    return dlg.ControlText(id);
}

}  // namespace

class TestSettingsDialogs : public QObject {
    Q_OBJECT
    test::PortsDir ports_;
    test::MessageRecorder messages_;
    std::unique_ptr<sim::BoxSim> box_;

  private slots:
    void initTestCase() {
        ui::InstallDeviceHooks();
        RegisterSettingsDialogs();
    }
    void cleanupTestCase() { ui::RemoveDeviceHooks(); }
    void init() {
        messages_.clear();
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
        auto dlg = Make(r.tmpl, group, uint8_t(r.portByte));
        QVERIFY(dlg->CreateModeless(nullptr));
        SerialPort other;
        for (const QString& step : QString(r.script).split(' ', Qt::SkipEmptyParts)) {
            const int id = step.section('=', 0, 0).toInt();
            const QString text = step.section('=', 1);
            if (step == "reopen") {
                dlg = Make(r.tmpl, group, uint8_t(r.portByte));
                QVERIFY(dlg->CreateModeless(nullptr));
            } else if (step == "hold") {
                QVERIFY(OpenBoxPort(other, kPort));
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
        QByteArray wire;
        for (const QString& frame : QString(r.wire).split(' ', Qt::SkipEmptyParts)) {
            const QStringList v = frame.split('.');
            wire +=
                v.size() != 3
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
        const QStringList shown = QString(r.shown).split(';');
        for (const QString& s : shown) {
            states << s.section('=', 0, 0) + '=' + State(*dlg, s.section('=', 0, 0).toInt());
        }
        QCOMPARE(states, shown);
        // A failed write: the serial layer's box, then "Fail" once, owned by the dialog.
        const QStringList failed{"Error|Failed to open up the comms port\n", "|Fail (owned)"};
        QCOMPARE(messages_.boxes(), other.IsOpen() ? failed : QStringList());
    }

    // The program's own launchers. Output Setup shows the probe's port byte (0x59: the VGA
    // list), not the System group's byte; Image writes into the main window's cache.
    void launchers_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<bool>("chord");
        QTest::addColumn<QString>("seen");  // the title, and Output Setup's resolution count
        QTest::newRow("1006") << 1006 << false << "Output Setup 22";
        QTest::newRow("1007") << 1007 << false << "Image";
        QTest::newRow("1008") << 1008 << false << "Adjustment";
        QTest::newRow("1008 Shift+F7") << 1008 << true << "Engineer Menu";
        QTest::newRow("1016") << 1016 << false << "In/Out mode";
    }
    void launchers() {
        QFETCH(int, id);
        QFETCH(bool, chord);
        CMainDlg main;
        QVERIFY(main.CreateModeless(nullptr));
        auto* combo = main.ControlAs<QComboBox>(1005);
        combo->setCurrentIndex(combo->findText(QStringLiteral("COM %1").arg(kPort)));
        main.refreshed = 1;
        main.probePortByte = 0x59;
        main.statusCache.system[2] = 0x42;
        box_->SetSetting(2, 1, 0);
        QString seen;
        QTimer timer;
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, [&] {
            auto* d = qobject_cast<ui::Dialog*>(QApplication::activeModalWidget());
            seen = d != nullptr ? d->windowTitle() : "none";
            if (d != nullptr && d->Template().id == 204) {
                seen += ' ' + QString::number(d->ControlAs<QComboBox>(1005)->count());
            } else if (d != nullptr && d->Template().id == 203) {
                d->SetControlText(1008, QStringLiteral("128"));
                d->Command(1002);
            }
            if (d != nullptr) {
                d->close();
            }
        });
        timer.start(0);
        const Qt::KeyboardModifiers mods = chord ? Qt::ShiftModifier : Qt::NoModifier;
        if (chord) {
            QTest::keyPress(&main, Qt::Key_Shift, mods);
            QTest::keyPress(&main, Qt::Key_F7, mods);
        }
        if (id == 1016) {
            main.Command(id);  // hidden: no click possible
        } else {
            QTest::mouseClick(main.ControlAs<ui::PictureButton>(id), Qt::LeftButton, mods);
        }
        QTEST(seen, "seen");
        const int contrast = id == 1007 ? 128 : 0;
        QCOMPARE(int(main.statusCache.image[0]), contrast);
        box_->WaitForReceived(contrast != 0 ? 8 : 1, contrast != 0 ? 2000 : 100);
        QCOMPARE(int(box_->setting(2, 1)), contrast);
        QVERIFY(messages_.boxes().isEmpty());
    }
};

QTEST_MAIN(TestSettingsDialogs)
#include "test_settings_dialogs.moc"
