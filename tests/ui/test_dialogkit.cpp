// The dialog layer: building from a template, commands by id (also Enter on a push button),
// trackbar notifications, message boxes and the device hooks across threads; windows over the
// main window keep readable colours and empty captions.
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryFile>
#include <cerrno>
#include <thread>

#include "tests/ui/UiTestSupport.h"
#include "ui/dialogkit/Dialog.h"

using namespace kestrow;
using namespace kestrow::ui;

namespace {

// The probe template's control ids; kNoSuchControl is in no template.
struct Ids {
    enum : int { kApply = 1002, kEdit = 1008, kTrackbar = 1027, kList = 1005, kText = 1033 };
    enum : int { kNoSuchControl = 4711 };
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

  private:
    void OnApply() { ++applied; }
    void OnSlider(int pos) { SetItemText(Ids::kEdit, std::to_string(pos)); }
};

}  // namespace

class TestDialogKit : public QObject {
    Q_OBJECT
  private slots:
    void buildsFromTemplate() {
        ProbeDialog dlg;
        QVERIFY(dlg.CreateModeless(nullptr));
        const DialogWindow& w = dlg.Window();
        QCOMPARE(ControlOf(dlg, Ids::kNoSuchControl), nullptr);
        // Dialog units follow the font: the template's size and a control's place agree.
        QCOMPARE(w.size(), QSize(w.UnitsToPixelsX(200), w.UnitsToPixelsY(100)));
        QCOMPARE(ControlOf(dlg, Ids::kText)->pos(),
                 QPoint(w.UnitsToPixelsX(120), w.UnitsToPixelsY(10)));
        QVERIFY(w.UnitsToPixelsX(4) >= 5 && w.UnitsToPixelsY(8) >= 10);
        // Clicks reach their handler by id, and so does Enter on a push button (not the hidden
        // default OK); an unmapped command does nothing.
        QTest::mouseClick(ControlOf(dlg, Ids::kApply), Qt::LeftButton);
        QTest::keyClick(ControlOf(dlg, Ids::kApply), Qt::Key_Return);
        dlg.Command(Ids::kNoSuchControl);
        QCOMPARE(dlg.applied, 2);
        QVERIFY(w.isVisible());
        auto* edit = ControlOf<QLineEdit>(dlg, Ids::kEdit);
        QTest::keyClicks(edit, QStringLiteral("1a-2 3"));
        QCOMPARE(edit->text(), QStringLiteral("123"));
        edit->setText(QStringLiteral("-20"));  // written by the dialog: digits still go in
        QTest::keyClicks(edit, QStringLiteral("5x"));
        QCOMPARE(edit->text(), QStringLiteral("-205"));
        // The trackbar tells its position when it changes, also one set beyond its range and
        // held to it.
        QVERIFY(QTest::qWaitForWindowExposed(&dlg.Window()));
        dlg.SetTrackbarRange(Ids::kTrackbar, -5, 5);
        dlg.SetTrackbarPos(Ids::kTrackbar, 9);
        QCOMPARE(dlg.TrackbarPos(Ids::kTrackbar), 5);
        QCOMPARE(edit->text(), QStringLiteral("5"));

        // A list by id: entries, the selection (none beyond the list), an entry found by its
        // exact text, emptied; an id the template lacks reads as empty. (Tips: the main window's
        // port list; enable and show: the Firmware Update and settings dialogs; the title:
        // shownOverMainWindow.)
        dlg.AddListEntry(Ids::kList, "COM 3");
        dlg.AddListEntry(Ids::kList, "Lock To SDI", "/dev/ttyS2");
        dlg.SetListSelection(Ids::kList, 1);
        QCOMPARE(dlg.ListCount(Ids::kList), 2);
        QCOMPARE(dlg.ListSelection(Ids::kList), 1);
        QCOMPARE(dlg.ItemText(Ids::kList), std::string("Lock To SDI"));
        QCOMPARE(dlg.ListEntry(Ids::kList, 0), std::string("COM 3"));
        QCOMPARE(dlg.FindListEntry(Ids::kList, "Lock To SDI"), 1);
        QCOMPARE(dlg.FindListEntry(Ids::kList, "lock to sdi"), -1);
        dlg.SetListSelection(Ids::kList, 2);
        QCOMPARE(dlg.ListSelection(Ids::kList), -1);
        dlg.ResetList(Ids::kList);
        QCOMPARE(dlg.ListCount(Ids::kList), 0);
        QCOMPARE(dlg.ItemText(Ids::kNoSuchControl) +
                     std::to_string(dlg.ListSelection(Ids::kNoSuchControl)),
                 std::string("-1"));
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
        MainWindow main;
        QVERIFY(main.CreateModeless(nullptr));
        QColor ink;
        QString title;
        const auto look = [&](QWidget* window, QLabel* label) {
            label->ensurePolished();
            ink = label->palette().color(label->foregroundRole());
            // As the window system shows it: the application's name for an empty title.
            title = window->windowHandle() != nullptr ? window->windowHandle()->title() : "";
            title = (title.isEmpty() ? QCoreApplication::applicationName() : title).trimmed();
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
            ShowMessage(&main, "Please refresh first !", caption.toStdString());
        } else {
            QVERIFY(probe.CreateModeless(&main));
            look(&probe.Window(), ControlOf<QLabel>(probe, Ids::kText));
        }
        QCOMPARE(ink, QApplication::palette().color(QPalette::WindowText));
        QCOMPARE(title, caption);
    }

    // A serial failure becomes a message box, shown on the GUI thread while the reporting
    // worker waits, with the arrow over a wait cursor that returns afterwards. The idle hook
    // paints on the GUI thread and does nothing on any other.
    void deviceHooks() {
        InstallDeviceHooks();
        // A port the user may not open: the box names the device and what lets the user in.
        QTemporaryFile device;
        QVERIFY(device.open());
        QVERIFY(device.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        const std::string path = QFileInfo(device.fileName()).canonicalFilePath().toStdString();
        QStringList seen;
        SetMessageHook([&seen](const MessageRequest& r) {
            const bool gui = QThread::currentThread() == qApp->thread();
            const bool arrow = !WaitCursorShown() && QGuiApplication::overrideCursor() != nullptr;
            seen << QString::fromStdString(
                r.caption + '|' + r.text + '|' + r.detail + '|' + (r.owned ? "owned" : "no owner") +
                '|' + (gui ? "GUI thread" : "worker") + '|' + (arrow ? "arrow" : "no arrow"));
            return kIdOk;
        });
        ShowWaitCursor();
        std::atomic<bool> done{false};
        std::thread worker([&done, &path] {
            ReportSerialFailure({"Failed in call to ReadFile\n", "Error", "I/O error"});
            ReportSerialFailure({"Failed to open up the comms port\n",
                                 "Error",
                                 "Permission denied",
                                 {.kind = ErrorKind::Permission,
                                  .domain = ErrorDomain::Errno,
                                  .code = EACCES,
                                  .path = path}});
            done = true;
        });
        QTRY_VERIFY(done.load());
        worker.join();
        QVERIFY(WaitCursorShown());
        ShowArrowCursor();
        SetMessageHook({});
        const std::string advice = path + " (mode 0600) opens for its owner only:\nsudo chgrp " +
                                   "dialout " + path + " && sudo chmod 0660 " + path +
                                   " (until the system starts again)";
        const QString where = "|no owner|GUI thread|arrow";
        QCOMPARE(seen, QStringList({"Error|Failed in call to ReadFile\n|I/O error" + where,
                                    "Error|Failed to open up the comms port\n|Permission denied\n" +
                                        test::Text(advice) + where}));

        bool ran = false;
        QTimer::singleShot(0, this, [&ran] { ran = true; });
        std::thread([] { RunIdleHook(); }).join();
        QVERIFY(!ran);
        RunIdleHook();
        QVERIFY(ran);
        RemoveDeviceHooks();
    }
};

QTEST_MAIN(TestDialogKit)
#include "test_dialogkit.moc"
