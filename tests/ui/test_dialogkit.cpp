// The dialog layer: building from a template, commands by id, Enter/Esc/close with hidden
// buttons, trackbar notifications, message boxes and the device hooks across threads.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <thread>

#include "DeviceHooks.h"
#include "Dialog.h"
#include "MessageBox.h"
#include "SerialTypes.h"
#include "Trackbar.h"

using namespace kestrow::ui;

namespace {

constexpr ControlTemplate kControls[] = {
    {1002, ControlKind::PushButton, "Apply", 10, 10, 40, 14},
    {1008, ControlKind::Edit, "", 60, 10, 35, 12, kDigitsOnly | kBorder},
    {1027, ControlKind::Trackbar, "", 10, 30, 100, 15, kNoTicks},
    {1005, ControlKind::ComboDropDown, "", 10, 50, 60, 40, kVScroll},
    {1033, ControlKind::StaticText, "text", 120, 10, 40, 8},
    {1, ControlKind::PushButton, "OK", 150, 80, 50, 14, kDefault | kHidden},
    {2, ControlKind::PushButton, "Cancel", 100, 80, 50, 14, kHidden},
};
constexpr DialogTemplate kTemplate{900, "Probe", 200, 100, "MS Shell Dlg", 8, kControls};

class ProbeDialog : public Dialog {
  public:
    ProbeDialog() : Dialog(kTemplate) {
        static constexpr CommandEntry<ProbeDialog> kMap[] = {{1002, &ProbeDialog::OnApply}};
        static constexpr NotifyEntry<ProbeDialog> kNotify[] = {{1027, &ProbeDialog::OnSlider}};
        MapCommands(this, kMap);
        MapNotifications(this, kNotify);
    }
    int applied = 0;
    int inits = 0;
    QList<int> positions;

  protected:
    bool OnInitDialog() override {
        ++inits;
        return true;
    }

  private:
    void OnApply() { ++applied; }
    void OnSlider(int pos) {
        positions << pos;
        SetControlText(1008, QString::number(pos));
    }
};

}  // namespace

class TestDialogKit : public QObject {
    Q_OBJECT
  private slots:
    void buildsFromTemplate() {
        ProbeDialog dlg;
        QVERIFY(dlg.CreateModeless(nullptr));
        QCOMPARE(dlg.inits, 1);
        QVERIFY(dlg.Control(1033) != nullptr);
        QCOMPARE(dlg.Control(1033)->objectName(), QStringLiteral("1033"));
        QCOMPARE(dlg.ControlText(1033), QStringLiteral("text"));
        QCOMPARE(dlg.Control(4711), nullptr);
        QVERIFY(!dlg.Control(1)->isVisible());
        QVERIFY(dlg.Control(1002)->isVisible());
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Probe"));
        // Dialog units follow the font: the template's size and a control's place agree.
        QCOMPARE(dlg.size(), QSize(dlg.UnitsToPixelsX(200), dlg.UnitsToPixelsY(100)));
        QCOMPARE(dlg.Control(1033)->geometry().topLeft(),
                 QPoint(dlg.UnitsToPixelsX(120), dlg.UnitsToPixelsY(10)));
        QVERIFY(dlg.UnitsToPixelsX(4) >= 5 && dlg.UnitsToPixelsY(8) >= 10);
    }

    void commandsById() {
        ProbeDialog dlg;
        QVERIFY(dlg.CreateModeless(nullptr));
        QTest::mouseClick(dlg.ControlAs<QPushButton>(1002), Qt::LeftButton);
        QCOMPARE(dlg.applied, 1);
        dlg.Command(4711);  // unmapped: nothing
        QVERIFY(dlg.isVisible());
    }

    void keysAndCloseBox_data() {
        QTest::addColumn<int>("key");  // 0: close box
        QTest::addColumn<int>("focus");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("applied");
        QTest::newRow("Enter in edit, OK hidden") << int(Qt::Key_Return) << 1008 << 1 << 0;
        QTest::newRow("keypad Enter in combo") << int(Qt::Key_Enter) << 1005 << 1 << 0;
        QTest::newRow("Enter on a push button") << int(Qt::Key_Return) << 1002 << -1 << 1;
        QTest::newRow("Esc, Cancel hidden") << int(Qt::Key_Escape) << 1008 << 2 << 0;
        QTest::newRow("close box") << 0 << 1008 << 2 << 0;
    }
    void keysAndCloseBox() {
        QFETCH(int, key);
        QFETCH(int, focus);
        QFETCH(int, result);
        ProbeDialog dlg;
        QSignalSpy finished(&dlg, &QDialog::finished);
        QVERIFY(dlg.CreateModeless(nullptr));
        QWidget* target = dlg.Control(focus);
        if (auto* combo = qobject_cast<QComboBox*>(target)) {
            target = combo->lineEdit();
        }
        target->setFocus();
        if (key == 0) {
            dlg.close();
        } else {
            QTest::keyClick(target, static_cast<Qt::Key>(key));
        }
        QTEST(dlg.applied, "applied");
        if (result < 0) {
            QCOMPARE(finished.size(), 0);
            QVERIFY(dlg.isVisible());
        } else {
            QCOMPARE(finished.size(), 1);
            QCOMPARE(finished.at(0).at(0).toInt(), result);
            QVERIFY(!dlg.isVisible());
        }
    }

    void runModalEndsWithId() {
        ProbeDialog dlg;
        QTimer::singleShot(50, &dlg, [&dlg] { QTest::keyClick(&dlg, Qt::Key_Escape); });
        QCOMPARE(dlg.RunModal(nullptr), 2);
        QTimer::singleShot(50, &dlg, [&dlg] { dlg.Command(1); });
        QCOMPARE(dlg.RunModal(nullptr), 1);
        QCOMPARE(dlg.inits, 1);
    }

    void digitsOnlyEdit() {
        ProbeDialog dlg;
        QVERIFY(dlg.CreateModeless(nullptr));
        auto* edit = dlg.ControlAs<QLineEdit>(1008);
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("1a-2 3"));
        QCOMPARE(edit->text(), QStringLiteral("123"));
    }

    void trackbarTellsItsPosition() {
        ProbeDialog dlg;
        QVERIFY(dlg.CreateModeless(nullptr));
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* bar = dlg.ControlAs<Trackbar>(1027);
        bar->setRange(0, 255);
        bar->setValue(77);
        QCOMPARE(dlg.positions.last(), 77);
        // Typed text is overwritten by the next paint of the trackbar.
        dlg.SetControlText(1008, QStringLiteral("5"));
        dlg.positions.clear();
        bar->repaint();
        QVERIFY(!dlg.positions.isEmpty());
        QCOMPARE(dlg.ControlText(1008), QStringLiteral("77"));
    }

    // Serial failures become message boxes; from a worker thread they are shown on the GUI
    // thread while the worker waits.
    void serialReportFromWorker() {
        InstallDeviceHooks();
        std::atomic<bool> onGuiThread{false};
        MessageRequest seen;
        SetMessageHook([&](const MessageRequest& r) {
            onGuiThread = QThread::currentThread() == qApp->thread();
            seen = r;
            return kIdOk;
        });
        std::atomic<bool> done{false};
        std::thread worker([&] {
            kestrow::ReportSerialFailure(
                {"Failed in call to ReadFile\n", "Error", "Input/output error"});
            done = true;
        });
        QTRY_VERIFY(done.load());
        worker.join();
        SetMessageHook({});
        RemoveDeviceHooks();
        QVERIFY(onGuiThread.load());
        QCOMPARE(seen.text, QStringLiteral("Failed in call to ReadFile\n"));
        QCOMPARE(seen.caption, QStringLiteral("Error"));
        QCOMPARE(seen.detail, QStringLiteral("Input/output error"));
        QVERIFY(!seen.owned);
    }

    // The idle hook paints on the GUI thread and does nothing on any other.
    void idleHookOnlyOnGuiThread() {
        InstallDeviceHooks();
        bool ran = false;
        QTimer::singleShot(0, this, [&ran] { ran = true; });
        std::thread worker([] { kestrow::RunIdleHook(); });
        worker.join();
        QVERIFY(!ran);
        kestrow::RunIdleHook();
        QVERIFY(ran);
        RemoveDeviceHooks();
    }
};

QTEST_MAIN(TestDialogKit)
#include "test_dialogkit.moc"
