// The dialog layer: building from a template, commands by id, Enter/Esc with hidden buttons,
// trackbar notifications, message boxes and the device hooks across threads; windows over the
// main window keep readable colours and empty captions, and a double-click clicks once.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <cerrno>
#include <thread>

#include "tests/common/TestBox.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/dialogkit/Dialog.h"
#include "ui/dialogkit/Trackbar.h"
#include "ui/main/MainWindow.h"
#include "ui/main/MainWindowTemplate.h"

using namespace kestrow::ui;

namespace {

// The probe template's control ids; kNoSuchControl is in no template.
struct Ids {
    static constexpr int kApply = 1002;
    static constexpr int kEdit = 1008;
    static constexpr int kTrackbar = 1027;
    static constexpr int kList = 1005;
    static constexpr int kText = 1033;
    static constexpr int kNoSuchControl = 4711;
};

constexpr ControlTemplate kControls[] = {
    {Ids::kApply, ControlKind::PushButton, "Apply", 10, 10, 40, 14},
    {Ids::kEdit, ControlKind::Edit, "", 60, 10, 35, 12, kDigitsOnly | kBorder},
    {Ids::kTrackbar, ControlKind::Trackbar, "", 10, 30, 100, 15, kNoTicks},
    {Ids::kList, ControlKind::ComboDropDown, "", 10, 50, 60, 40, kVScroll},
    {Ids::kText, ControlKind::StaticText, "text", 120, 10, 40, 8},
    {kIdOk, ControlKind::PushButton, "OK", 150, 80, 50, 14, kDefault | kHidden},
    {kIdCancel, ControlKind::PushButton, "Cancel", 100, 80, 50, 14, kHidden},
};
constexpr DialogTemplate kTemplate{900, "Probe", 200, 100, "MS Shell Dlg", 8, kControls};

class ProbeDialog : public Dialog {
  public:
    ProbeDialog() : Dialog(kTemplate) {
        static constexpr CommandEntry<ProbeDialog> kMap[] = {{Ids::kApply, &ProbeDialog::OnApply}};
        static constexpr NotifyEntry<ProbeDialog> kNotify[] = {
            {Ids::kTrackbar, &ProbeDialog::OnSlider}};
        MapCommands(this, kMap);
        MapNotifications(this, kNotify);
    }
    int applied = 0;
    int inits = 0;

  protected:
    bool OnInitDialog() override { return ++inits > 0; }

  private:
    void OnApply() { ++applied; }
    void OnSlider(int pos) { SetControlText(Ids::kEdit, QString::number(pos)); }
};

// The title the window system shows: the platforms put the application's name into an empty
// window title.
QString PlatformTitle(const QWidget* w) {
    const QString title = w->windowHandle() != nullptr ? w->windowHandle()->title() : QString();
    return title.isEmpty() ? QCoreApplication::applicationName() : title;
}

}  // namespace

class TestDialogKit : public QObject {
    Q_OBJECT
  private slots:
    void buildsFromTemplate() {
        ProbeDialog dlg;
        QVERIFY(dlg.CreateModeless(nullptr));
        QCOMPARE(dlg.inits, 1);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Probe"));
        QCOMPARE(dlg.ControlText(Ids::kText), QStringLiteral("text"));
        QCOMPARE(dlg.Control(Ids::kNoSuchControl), nullptr);
        QVERIFY(!dlg.Control(kIdOk)->isVisible() && dlg.Control(Ids::kApply)->isVisible());
        // Dialog units follow the font: the template's size and a control's place agree.
        QCOMPARE(dlg.size(), QSize(dlg.UnitsToPixelsX(200), dlg.UnitsToPixelsY(100)));
        QCOMPARE(dlg.Control(Ids::kText)->pos(),
                 QPoint(dlg.UnitsToPixelsX(120), dlg.UnitsToPixelsY(10)));
        QVERIFY(dlg.UnitsToPixelsX(4) >= 5 && dlg.UnitsToPixelsY(8) >= 10);
        // Clicks reach their handler by id; an unmapped command does nothing.
        QTest::mouseClick(dlg.ControlAs<QPushButton>(Ids::kApply), Qt::LeftButton);
        dlg.Command(Ids::kNoSuchControl);
        QCOMPARE(dlg.applied, 1);
        QVERIFY(dlg.isVisible());
        auto* edit = dlg.ControlAs<QLineEdit>(Ids::kEdit);
        QTest::keyClicks(edit, QStringLiteral("1a-2 3"));
        QCOMPARE(edit->text(), QStringLiteral("123"));
        edit->setText(QStringLiteral("-20"));  // written by the dialog: digits still go in
        QTest::keyClicks(edit, QStringLiteral("5x"));
        QCOMPARE(edit->text(), QStringLiteral("-205"));
        // The trackbar tells its position when it changes; a repaint leaves typed text alone.
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* bar = dlg.ControlAs<Trackbar>(Ids::kTrackbar);
        bar->setRange(0, 255);
        bar->setValue(77);
        QCOMPARE(edit->text(), QStringLiteral("77"));
        edit->setText(QStringLiteral("5"));
        bar->repaint();
        QCOMPARE(edit->text(), QStringLiteral("5"));
    }

    // The close box is tried on the main window (test_mainwindow).
    void keys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("focus");
        QTest::addColumn<int>("result");  // -1: stays open
        QTest::addColumn<int>("applied");
        QTest::newRow("Enter in edit, OK hidden") << int(Qt::Key_Return) << Ids::kEdit << 1 << 0;
        QTest::newRow("keypad Enter in combo") << int(Qt::Key_Enter) << Ids::kList << 1 << 0;
        QTest::newRow("Enter on a push button") << int(Qt::Key_Return) << Ids::kApply << -1 << 1;
        QTest::newRow("Esc, Cancel hidden") << int(Qt::Key_Escape) << Ids::kEdit << 2 << 0;
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
        QCOMPARE(dlg.isVisible(), result < 0);
        QCOMPARE(finished.isEmpty() ? -1 : finished.at(0).at(0).toInt(), result);
    }

    // A dialog and message boxes over the main window (whose labels are light on its dark skin)
    // show text in the normal colour and their own caption, an empty one as an empty title.
    void shownOverMainWindow_data() {
        QTest::addColumn<bool>("messageBox");
        QTest::addColumn<QString>("caption");
        QTest::newRow("dialog") << false << "Probe";
        QTest::newRow("message box, empty caption") << true << "";
        QTest::newRow("message box with caption") << true << "Confirm";
    }
    void shownOverMainWindow() {
        QFETCH(bool, messageBox);
        QFETCH(QString, caption);
        kestrow::MainWindow main;
        QVERIFY(main.CreateModeless(nullptr));
        QColor ink;
        QString title;
        const auto look = [&](QWidget* window, QLabel* label) {
            label->ensurePolished();
            ink = label->palette().color(label->foregroundRole());
            title = PlatformTitle(window).trimmed();
        };
        ProbeDialog probe;
        if (messageBox) {
            QTimer::singleShot(0, this, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (box != nullptr) {
                    look(box, box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")));
                    box->button(QMessageBox::Ok)->click();
                }
            });
            ShowMessage(&main, QStringLiteral("Please refresh first !"), caption);
        } else {
            QVERIFY(probe.CreateModeless(&main));
            look(&probe, probe.ControlAs<QLabel>(Ids::kText));
        }
        QCOMPARE(ink, QApplication::palette().color(QPalette::WindowText));
        QCOMPARE(title, caption);
    }

    // The second click of a double-click is no command: Freeze goes out once.
    void doubleClickClicksOnce() {
        const kestrow::test::PortsDir ports;
        const auto box = kestrow::test::StartLinkedBox(ports, 3);
        QVERIFY(box);
        kestrow::MainWindow main(kestrow::RunSettingsDialog, ports.Roots());
        QVERIFY(main.CreateModeless(nullptr));
        auto* combo = main.ControlAs<QComboBox>(MainWindowIds::kPortCombo);
        combo->setCurrentIndex(combo->findText(QStringLiteral("COM 3")));
        QWidget* freeze = main.Control(MainWindowIds::kFreezeButton);
        QTest::mousePress(freeze, Qt::LeftButton);
        QTest::mouseRelease(freeze, Qt::LeftButton);
        QTest::mouseDClick(freeze, Qt::LeftButton);
        QTest::mouseRelease(freeze, Qt::LeftButton);
        QVERIFY(box->WaitForReceived(5, 2000));
        QVERIFY(!box->WaitForReceived(6, 300));
        QCOMPARE(kestrow::test::WireHex(*box), QByteArray("056c9302fa"));
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
            seen = QStringLiteral("%1|%2|%3|%4|%5|%6")
                       .arg(r.caption, r.text, r.detail, r.owned ? "owned" : "no owner",
                            gui ? "GUI thread" : "worker", arrow ? "arrow" : "no arrow");
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

        // A port the user may not open: the box names the device and what lets the user in.
        QTemporaryFile device;
        QVERIFY(device.open());
        QVERIFY(device.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        const std::string path = QFileInfo(device.fileName()).canonicalFilePath().toStdString();
        SetMessageHook([&seen](const MessageRequest& r) {
            seen = r.detail;
            return kIdOk;
        });
        kestrow::ReportSerialFailure({"Failed to open up the comms port\n",
                                      "Error",
                                      "Permission denied",
                                      {.kind = kestrow::ErrorKind::Permission,
                                       .domain = kestrow::ErrorDomain::Errno,
                                       .code = EACCES,
                                       .path = path}});
        SetMessageHook({});
        const QString expected = QString::fromStdString(
            "Permission denied\n" + path + " (mode 0600) opens for its owner only:\nsudo chgrp " +
            "dialout " + path + " && sudo chmod 0660 " + path);
        QVERIFY2(seen.startsWith(expected), qPrintable(seen));

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
