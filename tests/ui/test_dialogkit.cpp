// The dialog layer: building from a template, commands by id, Enter/Esc with hidden buttons,
// trackbar notifications, message boxes and the device hooks across threads.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <thread>

#include "Dialog.h"
#include "Trackbar.h"
#include "UiTestSupport.h"

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

  protected:
    bool OnInitDialog() override { return ++inits > 0; }

  private:
    void OnApply() { ++applied; }
    void OnSlider(int pos) { SetControlText(1008, QString::number(pos)); }
};

}  // namespace

class TestDialogKit : public QObject {
    Q_OBJECT
  private slots:
    void buildsFromTemplate() {
        ProbeDialog dlg;
        QVERIFY(dlg.CreateModeless(nullptr));
        QCOMPARE(dlg.inits, 1);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Probe"));
        QCOMPARE(dlg.ControlText(1033), QStringLiteral("text"));
        QCOMPARE(dlg.Control(4711), nullptr);
        QVERIFY(!dlg.Control(1)->isVisible() && dlg.Control(1002)->isVisible());
        // Dialog units follow the font: the template's size and a control's place agree.
        QCOMPARE(dlg.size(), QSize(dlg.UnitsToPixelsX(200), dlg.UnitsToPixelsY(100)));
        QCOMPARE(dlg.Control(1033)->pos(), QPoint(dlg.UnitsToPixelsX(120), dlg.UnitsToPixelsY(10)));
        QVERIFY(dlg.UnitsToPixelsX(4) >= 5 && dlg.UnitsToPixelsY(8) >= 10);
        // Clicks reach their handler by id; an unmapped command does nothing.
        QTest::mouseClick(dlg.ControlAs<QPushButton>(1002), Qt::LeftButton);
        dlg.Command(4711);
        QCOMPARE(dlg.applied, 1);
        QVERIFY(dlg.isVisible());
        auto* edit = dlg.ControlAs<QLineEdit>(1008);
        QTest::keyClicks(edit, QStringLiteral("1a-2 3"));
        QCOMPARE(edit->text(), QStringLiteral("123"));
    }

    // The close box is tried on the main window (test_mainwindow).
    void keys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("focus");
        QTest::addColumn<int>("result");  // -1: stays open
        QTest::addColumn<int>("applied");
        QTest::newRow("Enter in edit, OK hidden") << int(Qt::Key_Return) << 1008 << 1 << 0;
        QTest::newRow("keypad Enter in combo") << int(Qt::Key_Enter) << 1005 << 1 << 0;
        QTest::newRow("Enter on a push button") << int(Qt::Key_Return) << 1002 << -1 << 1;
        QTest::newRow("Esc, Cancel hidden") << int(Qt::Key_Escape) << 1008 << 2 << 0;
    }
    void keys() {
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
        QTest::keyClick(target, static_cast<Qt::Key>(key));
        QTEST(dlg.applied, "applied");
        QCOMPARE(finished.size(), result < 0 ? 0 : 1);
        QCOMPARE(dlg.isVisible(), result < 0);
        if (result >= 0) {
            QCOMPARE(finished.at(0).at(0).toInt(), result);
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

    // The trackbar tells its position when it changes; a repaint leaves typed text alone.
    void trackbarTellsItsPosition() {
        ProbeDialog dlg;
        QVERIFY(dlg.CreateModeless(nullptr));
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* bar = dlg.ControlAs<Trackbar>(1027);
        bar->setRange(0, 255);
        bar->setValue(77);
        QCOMPARE(dlg.ControlText(1008), QStringLiteral("77"));
        dlg.SetControlText(1008, QStringLiteral("5"));
        bar->repaint();
        QCOMPARE(dlg.ControlText(1008), QStringLiteral("5"));
    }

    // A serial failure becomes a message box, shown on the GUI thread while the reporting
    // worker waits, with the arrow over a wait cursor that returns afterwards. The idle hook
    // paints on the GUI thread and does nothing on any other.
    void deviceHooks() {
        InstallDeviceHooks();
        QString seen;
        SetMessageHook([&seen](const MessageRequest& r) {
            const bool gui = QThread::currentThread() == qApp->thread();
            const bool arrow = !WaitCursorShown() && QGuiApplication::overrideCursor() != nullptr;
            seen = QStringList{r.caption,
                               r.text,
                               r.detail,
                               r.owned ? "owned" : "no owner",
                               gui ? "GUI thread" : "worker",
                               arrow ? "arrow" : "no arrow"}
                       .join('|');
            return kIdOk;
        });
        ShowWaitCursor();
        std::atomic<bool> done{false};
        std::thread worker([&done] {
            kestrow::ReportSerialFailure({"Failed in call to ReadFile\n", "Error", "I/O error"});
            done = true;
        });
        QTRY_VERIFY(done.load());
        worker.join();
        QVERIFY(WaitCursorShown());
        ShowArrowCursor();
        SetMessageHook({});
        QCOMPARE(seen, "Error|Failed in call to ReadFile\n|I/O error|no owner|GUI thread|arrow");

        bool ran = false;
        QTimer::singleShot(0, this, [&ran] { ran = true; });
        std::thread([] { kestrow::RunIdleHook(); }).join();
        QVERIFY(!ran);
        kestrow::RunIdleHook();
        QVERIFY(ran);
        RemoveDeviceHooks();
    }
};

QTEST_MAIN(TestDialogKit)
#include "test_dialogkit.moc"
