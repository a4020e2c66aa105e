// The System dialogs (templates 201 and 200) and the GenLock Sync Delay dialog (208) against
// the simulated box, and the program's own launchers from the main window.
#include <QApplication>
#include <QComboBox>
#include <QSlider>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <cstring>
#include <iterator>

#include "CMainDlg.h"
#include "Dlg1.h"
#include "Dlg1_.h"
#include "Dlg8.h"
#include "SettingsDialogs.h"
#include "TestBox.h"
#include "UiTestSupport.h"

using namespace kestrow;

namespace {

constexpr int kPort = 200;
const QByteArray kGenlockReads = "066c934904ae066c934902b0066c934905ad066c934903af";

// Calls `f` with the first modal dialog above `under`, while `context` lives.
void WhenModalOver(QObject* context, QWidget* under, std::function<void(ui::Dialog*)> f,
                   int tries = 500) {
    QTimer::singleShot(20, context, [=] {
        auto* top = qobject_cast<ui::Dialog*>(QApplication::activeModalWidget());
        if (top != nullptr && top != under) {
            f(top);
        } else if (tries > 0) {
            WhenModalOver(context, under, f, tries - 1);
        }
    });
}

// The shown controls among `ids`: a list as "text@selection/count", a trackbar as
// "minimum..maximum@position", anything else as its text.
QString Shown(const ui::Dialog& d, std::initializer_list<int> ids) {
    QStringList out;
    for (int id : ids) {
        const QWidget* w = d.Control(id);
        if (const auto* list = qobject_cast<const QComboBox*>(w); list && list->isVisible()) {
            out << QStringLiteral("%1@%2/%3")
                       .arg(list->currentText())
                       .arg(list->currentIndex())
                       .arg(list->count());
        } else if (const auto* bar = qobject_cast<const QSlider*>(w)) {
            out << QStringLiteral("%1..%2@%3")
                       .arg(bar->minimum())
                       .arg(bar->maximum())
                       .arg(bar->value());
        } else if (w != nullptr && w->isVisible()) {
            out << d.ControlText(id);
        }
    }
    return out.join('|');
}

// A System dialog opened on the System bytes S, then one button.
struct SystemCase {
    const char* name;
    int variant;
    bool newer;          // isNewModel
    int box;             // 0: answers, 1: silent, 2: no box (the port does not open)
    int portByte;        // 201: the probe's
    const char* before;  // S in hex
    int button;          // 0: none
    int entry;           // the entry chosen before the click; Factory Reset: the answer
    const char* view;    // 1033|1035|1034|list|1007
    const char* wire;
    const char* after;  // S afterwards
    const char* boxes;  // message boxes "caption|text", then "[208]" for a dialog opened
};

constexpr const char* kReset =
    "Confirm|Are you sure you want to do factory-reset command? \r\n   (owned)";
constexpr const char* kFail = "Error|Failed to open up the comms port\n;|Fail (owned)";

// S[2] of a template-201 row is not the probe's port byte: its input code would give no lock
// entry. S[0] changes to 9 "HD(1080p)50" under the open dialog; the box's (4,1) is 8.
constexpr SystemCase kSystemCases[] = {
    {"201 opens", 201, 0, 0, 0x39, "74014203", 0, 0, "Old|Lock To SDI@1/3|Apply", "", "09014203",
     ""},
    {"201 two entries, S[1] beyond", 201, 0, 0, 0x79, "74034203", 0, 0, "Old|@-1/2|Apply", "",
     "09034203", ""},
    {"201 apply entry 2 of 3", 201, 0, 0, 0x39, "74014203", 1007, 2,
     "Old|FrameLock B(Genlock)@2/3|Apply",
     "086c9300040202f1066c934904ae066c934902b0066c934905ad066c934903af", "09024203", "[208]"},
    {"201 apply entry 1 of 2", 201, 0, 0, 0x79, "74004203", 1007, 1,
     "Old|FrameLock B(Genlock)@1/2|Apply", "086c9300040201f2", "09014203", ""},
    {"201 apply without entry", 201, 0, 0, 0x39, "74014203", 1007, -1, "Old|@-1/3|Apply", "",
     "09014203", ""},
    {"201 apply, port does not open", 201, 0, 2, 0x39, "74014203", 1007, 0,
     "Old|Free-Run@0/3|Apply", "", "09014203", kFail},
    {"201 get", 201, 0, 0, 0x39, "74014203", 1004, 0, "HD(1080p)60|Lock To SDI@1/3|Apply",
     "076c93010401f4", "08014203", ""},
    {"201 get, silent box", 201, 0, 1, 0x39, "74014203", 1004, 0, "NA|Lock To SDI@1/3|Apply",
     "076c93010401f4", "09014203", ""},
    {"201 factory reset, newer model", 201, 1, 0, 0x39, "74014203", 1002, ui::kIdOk,
     "Old|Lock To SDI@1/3|Apply", "086c9300040401f0", "09014203", kReset},
    {"201 factory reset cancelled", 201, 0, 0, 0x39, "74014203", 1002, ui::kIdCancel,
     "Old|Lock To SDI@1/3|Apply", "", "09014203", kReset},
    {"200 older model, get shows the cache", 200, 0, 0, 0, "74010302", 1004, 0,
     "HD(1080p)50|V1.23.456", "076c93010403f2", "09010302", ""},
    {"200, port does not open", 200, 0, 2, 0, "74010302", 0, 0, "NO-SYNC|NA", "", "09010302",
     "Error|Failed to open up the comms port\n"},
    {"200 newer model, set auto-sleep", 200, 1, 0, 0, "74010302", 1007, 4,
     "NO-SYNC|V1.23.456|Auto-Sleep Mode|4 min@4/6|Set", "076c93010404f1086c9300040204ef",
     "09010402", ""},
    {"200 newer model, factory reset", 200, 1, 0, 0, "74010302", 1002, ui::kIdOk,
     "NO-SYNC|V1.23.456|Auto-Sleep Mode|3 min@3/6|Set", "076c93010404f1086c9300040501ef",
     "09010302", kReset},
};

}  // namespace

class TestSystemDialogs : public QObject {
    Q_OBJECT

    std::unique_ptr<test::PortsDir> ports_;
    std::unique_ptr<sim::BoxSim> box_;

    // 0: a box that answers, 1: a silent box, 2: no box (the port does not open).
    void StartBox(int mode, sim::BoxConfig config = {}) {
        config.silent = mode == 1;
        if (mode != 2) {
            box_ = test::StartLinkedBox(*ports_, kPort, config);
            QVERIFY(box_);
            box_->SetSetting(4, 1, 8);  // "HD(1080p)60"
        }
    }
    // What the box received, once `bytes` have arrived (none expected: a while later).
    QByteArray Wire(qsizetype bytes) const {
        if (box_) {
            (void)box_->WaitForReceived(size_t(std::max<qsizetype>(bytes, 1)), bytes ? 2000 : 200);
        }
        return box_ ? test::WireHex(*box_) : QByteArray();
    }

  private slots:
    void initTestCase() { ui::InstallDeviceHooks(); }
    void cleanupTestCase() { ui::RemoveDeviceHooks(); }
    void init() { ports_ = std::make_unique<test::PortsDir>(); }
    void cleanup() {
        box_.reset();
        ports_.reset();
    }

    // What a System dialog shows after the click, the frames on the wire, S afterwards, the
    // message boxes and dialogs that appeared, and what the dialog shows when opened again.
    void system_data() {
        QTest::addColumn<int>("k");
        for (int k = 0; k < int(std::size(kSystemCases)); ++k) {
            QTest::newRow(kSystemCases[k].name) << k;
        }
    }
    void system() {
        QFETCH(int, k);
        const SystemCase& c = kSystemCases[k];
        StartBox(c.box);
        test::MessageRecorder messages(c.button == 1002 ? c.entry : ui::kIdOk);
        QByteArray bytes = QByteArray::fromHex(c.before);
        const std::span<uint8_t> s(reinterpret_cast<uint8_t*>(bytes.data()), 4);
        const auto open = [&]() -> std::unique_ptr<SystemDialog> {
            if (c.variant == 201) {
                return std::make_unique<Dlg1>(kPort, s, static_cast<uint8_t>(c.portByte));
            }
            return std::make_unique<Dlg1_>(kPort, s, c.newer);
        };
        const int listId = c.variant == 201 ? 1006 : 1008;
        const auto dlg = open();
        QVERIFY(dlg->CreateModeless(nullptr));
        s[0] = 9;
        if (c.button == 1007) {
            dlg->ControlAs<QComboBox>(listId)->setCurrentIndex(c.entry);
        }
        QStringList seen;
        WhenModalOver(dlg.get(), dlg.get(), [&seen](ui::Dialog* d) {
            seen << QStringLiteral("[%1]").arg(d->Template().id);
            d->close();
        });
        if (c.button != 0) {
            dlg->Command(c.button);
        }
        QCOMPARE(Shown(*dlg, {1033, 1035, 1034, listId, 1007}), QString(c.view));
        QCOMPARE(Wire(qsizetype(strlen(c.wire) / 2)), QByteArray(c.wire));
        QCOMPARE(bytes.toHex(), QByteArray(c.after));
        QCOMPARE((messages.boxes() + seen).join(';'), QString(c.boxes));
        for (const ui::MessageRequest& r : messages.requests()) {
            QVERIFY(r.caption != "Confirm" || (r.buttons == ui::MessageButtons::OkCancel &&
                                               r.icon == ui::MessageIcon::Question));
        }
        if (c.button == 1007) {  // opened again: the entry applied, or still the one before
            const auto again = open();
            QVERIFY(again->CreateModeless(nullptr));
            QCOMPARE(again->ControlAs<QComboBox>(listId)->currentIndex(),
                     int(s[c.variant == 201 ? 1 : 2]));
        }
    }

    // The GenLock dialog on the box's registers (H delay, V delay, H period, V period), after
    // text typed into an edit box and one click; closing sends nothing.
    void genlock_data() {
        QTest::addColumn<QList<int>>("registers");
        QTest::addColumn<int>("edit");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QByteArray>("wire");
        const QList<int> zero{0, 0, 2200, 1125};
        QTest::newRow("signed around zero")
            << QList<int>{1100, 1124, 2200, 1125} << 0 << "" << 0
            << "-1100..1100@1100|1100|-562..562@-1|-1" << QByteArray();
        QTest::newRow("apply H -1")
            << zero << 1021 << "-1" << 1003 << "-1100..1100@-1|-1|-562..562@0|0"
            << QByteArray("086c934900089711");
        QTest::newRow("apply V 524")
            << zero << 1022 << "524" << 1004 << "-1100..1100@0|0|-562..562@524|524"
            << QByteArray("086c934901020ca1");
        QTest::newRow("apply H 5000, clamped")
            << zero << 1021 << "5000" << 1003 << "-1100..1100@1100|1100|-562..562@0|0"
            << QByteArray("086c934900044c60");
        QTest::newRow("> at the top") << QList<int>{1100, 0, 2200, 1125} << 0 << "" << 1018
                                      << "-1100..1100@1100|1100|-562..562@0|0" << QByteArray();
        QTest::newRow("< at the bottom") << zero << 1021 << "-1100" << 1026
                                         << "-1100..1100@-1100|-1100|-562..562@0|0" << QByteArray();
        QTest::newRow("< moves by one")
            << zero << 0 << "" << 1027 << "-1100..1100@0|0|-562..562@-1|-1" << QByteArray();
        QTest::newRow("silent box")
            << QList<int>() << 0 << "" << 0 << "0..0@0|0|0..0@0|0" << QByteArray();
    }
    void genlock() {
        QFETCH(QList<int>, registers);
        QFETCH(int, edit);
        QFETCH(int, button);
        QFETCH(QByteArray, wire);
        StartBox(registers.isEmpty() ? 1 : 0);
        for (qsizetype k = 0; k < registers.size(); ++k) {
            box_->SetGenlock(static_cast<uint8_t>(k + 2), static_cast<uint16_t>(registers[k]));
        }
        Dlg8 dlg(kPort);
        QVERIFY(dlg.CreateModeless(nullptr));
        QCOMPARE(Wire(kGenlockReads.size() / 2), kGenlockReads);
        box_->ClearReceived();
        if (edit != 0) {
            QFETCH(QString, typed);
            dlg.SetControlText(edit, typed);
        }
        dlg.Command(button);  // 0: none
        QTEST(Shown(dlg, {1028, 1021, 1029, 1022}), "shown");
        QCOMPARE(Wire(wire.size() / 2), wire);
        QVERIFY(dlg.close());
        QVERIFY(!box_->WaitForReceived(size_t(wire.size() / 2 + 1), 200));
    }

    // The program's launchers: System opens the variant of the model byte, and Firmware
    // Update there opens the Firmware Update dialog.
    void programWiring_data() {
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("opened");
        QTest::newRow("model 1") << 1 << "201 207";
        QTest::newRow("model 2") << 2 << "200 207";
    }
    void programWiring() {
        QFETCH(int, model);
        sim::BoxConfig config;
        config.modelByte = static_cast<uint8_t>(model);
        StartBox(0, config);
        RegisterSettingsDialogs();
        const test::MessageRecorder messages;
        CMainDlg main;
        QVERIFY(main.CreateModeless(nullptr));
        auto* combo = main.ControlAs<QComboBox>(1005);
        combo->setCurrentIndex(combo->findText(QStringLiteral("COM %1").arg(kPort)));
        main.Command(1025);
        QStringList opened;
        WhenModalOver(&main, nullptr, [&opened](ui::Dialog* system) {
            opened << QString::number(system->Template().id);
            WhenModalOver(system, system, [&opened](ui::Dialog* firmware) {
                opened << QString::number(firmware->Template().id);
                firmware->close();
            });
            system->Command(1003);
            system->close();
        });
        QTest::mouseClick(main.Control(1009), Qt::LeftButton);
        QTEST(opened.join(' '), "opened");
    }
};

QTEST_MAIN(TestSystemDialogs)
#include "test_systemdialogs.moc"
