// The main window's controls against the simulated box: the launchers, the quick commands,
// Enter and the close box, typed port text, and how the window looks.
#include <QLineEdit>
#include <QSignalSpy>

#include "tests/ui/UiTestSupport.h"

using namespace kestrow;
using namespace kestrow::sim;
using namespace kestrow::test;

class TestMainWindowControls : public MainWindowTest {
    Q_OBJECT

  private slots:
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
        QTest::newRow("hidden Enhancement")
            << Ids::kEnhancementButton << 0 << 0 << "201 3 19+4 59 1";
        QTest::newRow("hidden In/Out mode") << Ids::kInOutModeButton << 0 << 0 << "202 3 - - -";
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
                QTest::keyPress(&dlg_->Window(), key, mods);
            }
        }
        if (id == Ids::kEnhancementButton || id == Ids::kInOutModeButton) {
            dlg_->Command(id);  // hidden buttons: no click possible
        } else {
            QTest::mouseClick(Picture(id), Qt::LeftButton, mods);
        }
        for (const auto& [bit, key] : {std::pair{2, Qt::Key_F7}, std::pair{1, Qt::Key_Shift}}) {
            if ((keys & bit) != 0) {
                QTest::keyRelease(&dlg_->Window(), key);
            }
        }
        const auto* cache = reinterpret_cast<const uint8_t*>(&dlg_->statusCache);
        // What each dialog takes of the box: Output Setup and the template-201 System dialog its
        // port byte, both System dialogs whether it is a newer model.
        const auto lent = [](bool used, int v) { return used ? QString::number(v, 16) : "-"; };
        QStringList seen;
        for (const LaunchRequest& r : launches_) {
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
        QTest::addColumn<QString>("frame");
        QTest::newRow("Aspect Ratio") << Ids::kAspectRatioButton << 142 << 158 << "056c9304f8";
        QTest::newRow("Freeze") << Ids::kFreezeButton << 146 << 160 << "056c9302fa";
        QTest::newRow("Blank") << Ids::kBlankButton << 143 << 159 << "056c9303f9";
        QTest::newRow("1080p60") << Ids::k1080p60Button << 140 << 157 << "086c930001010ceb";
        QTest::newRow("1080i60") << Ids::k1080i60Button << 139 << 156 << "086c9300010109ee";
        QTest::newRow("720p60") << Ids::k720p60Button << 138 << 155 << "086c9300010104f3";
        QTest::newRow("480p60") << Ids::k480p60Button << 137 << 154 << "086c9300010102f5";
    }
    void quickCommands() {
        QFETCH(int, id);
        QFETCH(int, pressed);
        QFETCH(QString, frame);
        Open({.silent = true});  // no reply is read anyway
        QTEST(Picture(id)->Picture(), "normal");
        {
            // A double-click: its second click is no command.
            const IdleWatch watch(Picture(id));
            QTest::mousePress(Picture(id), Qt::LeftButton);
            QTest::mouseRelease(Picture(id), Qt::LeftButton);
            QTest::mouseDClick(Picture(id), Qt::LeftButton);
            QTest::mouseRelease(Picture(id), Qt::LeftButton);
            QVERIFY(watch.timer.elapsed() >= 500);
            QCOMPARE(watch.held, std::set<int>{pressed});
            QCOMPARE(watch.painted, std::set<int>{pressed});  // on screen during the wait
        }
        QTEST(Picture(id)->Picture(), "normal");
        QVERIFY(box_->WaitForReceived(size_t(frame.size() / 2), 2000));
        QVERIFY(!box_->WaitForReceived(size_t(frame.size() / 2) + 1, 300));
        QCOMPARE(WireHex(*box_), frame.toLatin1());
        QCOMPARE(dlg_->refreshed, 0);
        QVERIFY(messages_->texts().isEmpty());
    }

    // Enter (the keypad's; Return: In/Out mode) in the port field ends the window with 1 (Esc
    // and the close box: dialogkit's 2);
    // the close box pressed while a quick command waits closes the window afterwards, with 2
    // (the frame still goes out whole).
    void closingCommands_data() {
        QTest::addColumn<bool>("duringWait");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("Enter") << false << 1;
        QTest::newRow("close box during a wait") << true << 2;
    }
    void closingCommands() {
        Open();
        QSignalSpy finished(&dlg_->Window(), &QDialog::finished);
        if (Column<bool>("duringWait")) {
            SetIdleHook([&] {
                if (dlg_->Window().isVisible() && finished.isEmpty()) {
                    dlg_->Window().close();  // ignored while the command runs
                    QCOMPARE(finished.size(), 0);
                }
            });
            dlg_->Command(Ids::kFreezeButton);
            ui::InstallDeviceHooks();
            QVERIFY(box_->WaitForReceived(5, 2000));
            QCOMPARE(WireHex(*box_), QByteArray("056c9302fa"));
        } else {
            QTest::keyClick(ui::ControlOf<QComboBox>(*dlg_, Ids::kPortCombo)->lineEdit(),
                            Qt::Key_Enter);
        }
        QCOMPARE(finished.size(), 1);
        QTEST(finished.at(0).at(0).toInt(), "exitCode");
        QVERIFY(!dlg_->Window().isVisible());
    }

    // Typed text that names a port (the port names' own table has every form) opens it like a
    // selected entry; text that names none gets the open-failure report from Refresh, a quick
    // command and a launcher, and nothing else happens.
    void typedPortText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("names");
        QTest::newRow("names COM 3") << "com3" << true;
        QTest::newRow("names no port") << "COM 256" << false;
    }
    void typedPortText() {
        Open();
        ui::ControlOf<QComboBox>(*dlg_, Ids::kPortCombo)->setEditText(Column<QString>("text"));
        if (Column<bool>("names")) {
            QCOMPARE(dlg_->SelectedPort(), std::optional(ports_->Port(3)));
            dlg_->Command(Ids::kBlankButton);
            QVERIFY(box_->WaitForReceived(5, 2000));
            QCOMPARE(WireHex(*box_), QByteArray("056c9303f9"));
            return;
        }
        QCOMPARE(dlg_->SelectedPort(), std::nullopt);
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

    // The window before and after a refresh; the picture is written next to the test program.
    void skinAndScreenshot() {
        Open();
        QCOMPARE(dlg_->Window().size(), QSize(800, 500));
        // No word lost to a hidden second line.
        for (int id : {Ids::kInputTimingText, Ids::kOutputResolutionText}) {
            const QWidget* label = ui::ControlOf(*dlg_, id);
            QVERIFY(label->fontMetrics().horizontalAdvance(kClickRefresh) <= label->width());
        }
        auto* combo = ui::ControlOf<QComboBox>(*dlg_, Ids::kPortCombo);
        QVERIFY(
            combo->itemData(combo->currentIndex(), Qt::ToolTipRole).toString().contains("COM3"));
        // Controls sit on the skin's grid: x * 7 / 4, y * 15 / 8.
        QCOMPARE(Picture(Ids::kAspectRatioButton)->geometry(), QRect(413, 230, 101, 54));
        QCOMPARE(Picture(Ids::kRefreshButton)->accessibleName(), QStringLiteral("Refresh"));
        QVERIFY(!ui::ControlOf(*dlg_, Ids::kEnhancementButton)->isVisible());

        dlg_->Command(Ids::kRefreshButton);
        const QPixmap shot = dlg_->Window().grab();
        QCOMPARE(shot.deviceIndependentSize().toSize(), QSize(800, 500));
        const QString path = QCoreApplication::applicationDirPath() + "/mainwindow.png";
        QVERIFY(shot.save(path));
        qInfo("screenshot: %s", qPrintable(path));
    }
};

QTEST_MAIN(TestMainWindowControls)
#include "test_mainwindow_controls.moc"
