// The main window against the simulated box: refresh, port search, launchers, quick commands,
// closing commands and typed port text.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>
#include <memory>
#include <optional>
#include <set>

#include "CMainDlg.h"
#include "Cursors.h"
#include "DeviceHooks.h"
#include "DialogLaunchers.h"
#include "Frames.h"
#include "PictureButton.h"
#include "PortText.h"
#include "TestBox.h"
#include "UiTestSupport.h"

using kestrow::CMainDlg;
using kestrow::LaunchRequest;
using kestrow::sim::BoxConfig;
using kestrow::test::MessageRecorder;
using kestrow::test::PortsDir;
using Frames = QList<QByteArray>;

namespace {

constexpr int kBoxPort = 3;
const QString kOpenFailure = QStringLiteral("Failed to open up the comms port\n");
const QString kRefreshFirst = QStringLiteral("Please refresh first !");
const QString kClickRefresh = QStringLiteral("Please click refresh button");

QByteArray Bytes(const kestrow::Frame& f) {
    return QByteArray(reinterpret_cast<const char*>(f.bytes.data()), f.size);
}

Frames Received(const kestrow::sim::BoxSim& box) {
    Frames out;
    for (const auto& f : box.frames()) {
        out << QByteArray(reinterpret_cast<const char*>(f.bytes.data()),
                          static_cast<qsizetype>(f.bytes.size()));
    }
    return out;
}

// The frames of a refresh up to and including (4,4).
Frames RefreshFrames() {
    using kestrow::ReadSettingFrame;
    Frames f{Bytes(kestrow::ProbeFrame()), Bytes(ReadSettingFrame(4, 1)),
             Bytes(ReadSettingFrame(1, 1))};
    const std::pair<int, int> rest[] = {{1, 2}, {1, 3}, {1, 4}, {1, 5}, {2, 1}, {2, 2}, {2, 3},
                                        {2, 4}, {2, 5}, {2, 6}, {2, 7}, {2, 8}, {3, 1}, {3, 2},
                                        {3, 3}, {3, 4}, {3, 5}, {3, 6}, {4, 2}, {4, 4}};
    for (auto [g, i] : rest) {
        f << Bytes(ReadSettingFrame(static_cast<uint8_t>(g), static_cast<uint8_t>(i)));
    }
    return f;
}

// Every setting of the box gets a value that names its place: group * 16 + item.
void FillSettings(kestrow::sim::BoxSim& box) {
    for (uint8_t g = 1; g <= 4; ++g) {
        for (uint8_t i = 1; i <= 8; ++i) {
            box.SetSetting(g, i, static_cast<uint8_t>(g * 16 + i));
        }
    }
    box.SetSetting(4, 1, 116);  // "NO-SYNC"
    box.SetSetting(1, 1, 36);   // "Bypass"
}

struct Launches {
    Launches() {
        for (int id = 200; id <= 206; ++id) {
            kestrow::RegisterDialogLauncher(
                id, [this](const LaunchRequest& r) { requests.push_back(r); });
        }
    }
    ~Launches() {
        for (int id = 200; id <= 206; ++id) {
            kestrow::RegisterDialogLauncher(id, {});
        }
    }
    std::vector<LaunchRequest> requests;
};

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<PortsDir> ports_;
    std::unique_ptr<MessageRecorder> messages_;
    std::unique_ptr<kestrow::sim::BoxSim> box_;
    std::unique_ptr<CMainDlg> dlg_;

    // A box on COM 3 and a main window that found it.
    void Open(const BoxConfig& config = {}) {
        box_ = kestrow::test::StartLinkedBox(*ports_, kBoxPort, config);
        QVERIFY(box_);
        FillSettings(*box_);
        dlg_ = std::make_unique<CMainDlg>();
        QVERIFY(dlg_->CreateModeless(nullptr));
        QVERIFY(QTest::qWaitForWindowExposed(dlg_.get()));
        // Ports of the machine itself may come first in the list; choose the box's entry.
        auto* combo = dlg_->ControlAs<QComboBox>(1005);
        combo->setCurrentIndex(combo->findText(QStringLiteral("COM 3")));
        QCOMPARE(dlg_->SelectedPort(), std::optional<int>(kBoxPort));
    }
    QString Text(int id) const { return dlg_->ControlText(id); }
    kestrow::ui::PictureButton* Picture(int id) const {
        return dlg_->ControlAs<kestrow::ui::PictureButton>(id);
    }
    void Click(int id, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::mouseClick(Picture(id), Qt::LeftButton, mods);
    }
    void ExpectIdle() {
        QCOMPARE(Picture(1025)->Picture(), 150);
        QVERIFY(!kestrow::ui::WaitCursorShown());
        QVERIFY(!dlg_->statusLink.serial().IsOpen());
    }

  private slots:
    void initTestCase() { kestrow::ui::InstallDeviceHooks(); }
    void cleanupTestCase() { kestrow::ui::RemoveDeviceHooks(); }
    void init() {
        ports_ = std::make_unique<PortsDir>();
        messages_ = std::make_unique<MessageRecorder>();
    }
    void cleanup() {
        dlg_.reset();
        box_.reset();
        messages_.reset();
        ports_.reset();
    }

    void initialState() {
        Open();
        QCOMPARE(dlg_->size(), QSize(800, 500));
        QCOMPARE(Text(1026), kClickRefresh);
        QCOMPARE(Text(1027), kClickRefresh);
        QCOMPARE(Text(1028), QString());
        QCOMPARE(Text(1029), QString());
        QCOMPARE(dlg_->refreshed, 0);
        auto* combo = dlg_->ControlAs<QComboBox>(1005);
        const int entry = combo->findText(QStringLiteral("COM 3"));
        QVERIFY(entry >= 0);
        QVERIFY(combo->itemData(entry, Qt::ToolTipRole).toString().contains("COM3"));
        // Controls sit on the skin's grid: x * 7 / 4, y * 15 / 8.
        QCOMPARE(Picture(1010)->geometry(), QRect(413, 230, 101, 54));
        QCOMPARE(Picture(1025)->accessibleName(), QStringLiteral("Refresh"));
        QVERIFY(!dlg_->Control(1011)->isVisible());
    }

    void completedRefresh_data() {
        QTest::addColumn<bool>("newer");
        QTest::addColumn<bool>("silent44");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("newModel");
        QTest::addColumn<int>("settingA");
        QTest::addColumn<int>("portPlace");
        QTest::newRow("older model") << false << false << 24 << 0 << 0x42 << 0x93;
        QTest::newRow("newer model") << true << false << 25 << 1 << 0x43 << 0x42;
        QTest::newRow("(4,4) unanswered") << false << true << 23 << 0 << 0x42 << 0x93;
    }
    void completedRefresh() {
        QFETCH(bool, newer);
        QFETCH(bool, silent44);
        QFETCH(int, frames);
        BoxConfig config;
        config.portByte = 0x93;
        config.modelByte = 2;
        config.newerModel = newer;
        if (silent44) {
            config.unanswered = {{4, 4}};
        }
        Open(config);
        dlg_->Command(1025);

        Frames expected = RefreshFrames();
        using kestrow::ReadSettingFrame;
        if (!silent44) {
            expected << Bytes(ReadSettingFrame(4, 2));
        }
        if (newer) {
            expected << Bytes(ReadSettingFrame(4, 3));
        }
        QCOMPARE(expected.size(), frames);
        QCOMPARE(Received(*box_), expected);

        QCOMPARE(Text(1028), QStringLiteral("VGA"));
        QCOMPARE(Text(1029), QStringLiteral("SDI"));
        QCOMPARE(Text(1026), QStringLiteral("NO-SYNC"));
        QCOMPARE(Text(1027), QStringLiteral("Bypass"));
        const kestrow::StatusCache& c = dlg_->statusCache;
        QCOMPARE(c.output[0], 36);
        for (size_t k = 1; k < c.output.size(); ++k) {
            QCOMPARE(int(c.output[k]), int(0x11 + k));
        }
        for (size_t k = 0; k < c.image.size(); ++k) {
            QCOMPARE(int(c.image[k]), int(0x21 + k));
        }
        for (size_t k = 0; k < c.adjustment.size(); ++k) {
            QCOMPARE(int(c.adjustment[k]), int(0x31 + k));
        }
        QCOMPARE(int(c.system[0]), 116);
        QTEST(int(c.system[1]), "settingA");
        QTEST(int(c.system[2]), "portPlace");
        QCOMPARE(int(c.system[3]), 2);
        QCOMPARE(int(dlg_->probePortByte), 0x93);
        QTEST(int(dlg_->isNewModel), "newModel");
        QCOMPARE(dlg_->refreshed, 1);
        ExpectIdle();
        QVERIFY(messages_->texts().isEmpty());
    }

    void silentBox() {
        BoxConfig config;
        config.silent = true;
        Open(config);
        // During the wait: green Refresh picture, wait cursor, window kept painted.
        std::set<int> held;
        bool waitCursor = true;
        kestrow::SetIdleHook([&] {
            held.insert(Picture(1025)->PaintedPicture());
            waitCursor = waitCursor && kestrow::ui::WaitCursorShown();
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        });
        QElapsedTimer timer;
        timer.start();
        dlg_->Command(1025);
        const qint64 elapsed = timer.elapsed();
        kestrow::ui::InstallDeviceHooks();
        QVERIFY(elapsed >= 6500);
        QCOMPARE(held, std::set<int>{161});
        QVERIFY(waitCursor);
        QCOMPARE(Received(*box_), Frames{Bytes(kestrow::ProbeFrame())});
        QCOMPARE(Text(1028), QString());
        QCOMPARE(Text(1026), kClickRefresh);
        QCOMPARE(dlg_->refreshed, 0);
        ExpectIdle();
        QVERIFY(messages_->texts().isEmpty());  // an abort says nothing
    }

    // The box stops answering at (4,1); the next refresh (box answering again) completes.
    void stopsAtInputTimingThenRefreshesAgain() {
        BoxConfig config;
        config.portByte = 0x0A;
        config.silentFrom = std::make_pair<uint8_t, uint8_t>(4, 1);
        Open(config);
        dlg_->Command(1025);
        QCOMPARE(Received(*box_).size(), 2);
        QCOMPARE(Text(1028), QStringLiteral("Component"));
        QCOMPARE(Text(1029), QString());  // code 10 has no text
        QCOMPARE(Text(1026), kClickRefresh);
        QCOMPARE(Text(1027), kClickRefresh);
        QCOMPARE(int(dlg_->statusCache.system[2]), 0x0A);
        QCOMPARE(dlg_->refreshed, 0);
        ExpectIdle();

        config.silentFrom.reset();
        box_->SetConfig(config);
        box_->ClearReceived();
        dlg_->Command(1025);
        QCOMPARE(Received(*box_).size(), 24);
        QCOMPARE(dlg_->refreshed, 1);
        QVERIFY(messages_->texts().isEmpty());
    }

    void portSearch() {
        // COM 10 a dead link; COM 11 held by another program; COM 12 silent; COM 13 and 14
        // answer. The search stops at 13 (before any port of the machine itself).
        QVERIFY(QFile::link(QStringLiteral("/nonexistent/tty"),
                            QString::fromStdString(ports_->path()) + "/COM10"));
        auto held = kestrow::test::StartLinkedBox(*ports_, 11);
        BoxConfig silent;
        silent.silent = true;
        auto quiet = kestrow::test::StartLinkedBox(*ports_, 12, silent);
        auto answering = kestrow::test::StartLinkedBox(*ports_, 13);
        auto later = kestrow::test::StartLinkedBox(*ports_, 14);
        QVERIFY(held && quiet && answering && later);
        kestrow::SerialPort other;
        other.Open(11, 115200, kestrow::SerialParity::None, 8, kestrow::SerialStopBits::One,
                   kestrow::SerialFlowControl::None, false);
        QVERIFY(other.IsOpen());

        dlg_ = std::make_unique<CMainDlg>();
        QVERIFY(dlg_->CreateModeless(nullptr));
        dlg_->Command(1032);
        std::vector<int> numbers;
        for (const auto& p : dlg_->comPorts) {
            numbers.push_back(p.number);
        }
        numbers.resize(std::min<size_t>(numbers.size(), 4));  // the machine's own ports follow
        QCOMPARE(numbers, (std::vector<int>{11, 12, 13, 14}));
        QCOMPARE(dlg_->ControlAs<QComboBox>(1005)->currentText(), QStringLiteral("COM 13"));
        QCOMPARE(dlg_->SelectedPort(), std::optional<int>(13));
        const Frames probe{Bytes(kestrow::ProbeFrame())};
        QCOMPARE(Received(*quiet), probe);
        QCOMPARE(Received(*answering), probe);
        QVERIFY(Received(*later).isEmpty());
        QCOMPARE(messages_->texts(), QStringList{kOpenFailure});  // the held port
        QCOMPARE(dlg_->refreshed, 0);
        QVERIFY(!kestrow::ui::WaitCursorShown());
    }

    void launchersBeforeRefresh_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<bool>("chord");
        for (int id : {1006, 1007, 1008, 1009}) {
            QTest::addRow("%d", id) << id << false;
            QTest::addRow("%d with Shift+F7", id) << id << true;
        }
    }
    void launchersBeforeRefresh() {
        QFETCH(int, id);
        QFETCH(bool, chord);
        Open();
        Launches launches;
        Qt::KeyboardModifiers mods = Qt::NoModifier;
        if (chord) {
            QTest::keyPress(dlg_.get(), Qt::Key_Shift, Qt::ShiftModifier);
            QTest::keyPress(dlg_.get(), Qt::Key_F7, Qt::ShiftModifier);
            mods = Qt::ShiftModifier;
        }
        Click(id, mods);
        const auto requests = messages_->requests();
        QCOMPARE(requests.size(), size_t(1));
        QCOMPARE(requests[0].text, kRefreshFirst);
        QCOMPARE(requests[0].caption, QString());
        QVERIFY(requests[0].owned);
        QVERIFY(launches.requests.empty());
        QVERIFY(box_->received().empty());
    }

    void launchersAfterRefresh_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("model");
        QTest::addColumn<bool>("shift");
        QTest::addColumn<bool>("f7");
        QTest::addColumn<int>("templateId");
        QTest::addColumn<int>("groupSize");
        QTest::addColumn<bool>("portByte");
        QTest::newRow("Output Setup") << 1006 << 0 << false << false << 204 << 5 << true;
        QTest::newRow("Image") << 1007 << 0 << false << false << 203 << 8 << false;
        QTest::newRow("Adjustment") << 1008 << 0 << false << false << 205 << 6 << false;
        QTest::newRow("Engineer chord") << 1008 << 0 << true << true << 206 << 0 << false;
        QTest::newRow("F7 alone") << 1008 << 0 << false << true << 205 << 6 << false;
        QTest::newRow("Shift alone") << 1008 << 0 << true << false << 205 << 6 << false;
        QTest::newRow("System model 1") << 1009 << 1 << false << false << 201 << 4 << true;
        QTest::newRow("System model 0") << 1009 << 0 << false << false << 200 << 4 << false;
        QTest::newRow("System model 2") << 1009 << 2 << false << false << 200 << 4 << false;
        QTest::newRow("hidden 1011") << 1011 << 0 << false << false << 201 << 4 << true;
        QTest::newRow("hidden 1016") << 1016 << 0 << false << false << 202 << 0 << false;
    }
    void launchersAfterRefresh() {
        QFETCH(int, id);
        QFETCH(int, model);
        QFETCH(bool, shift);
        QFETCH(bool, f7);
        QFETCH(int, templateId);
        QFETCH(int, groupSize);
        QFETCH(bool, portByte);
        Open();
        dlg_->refreshed = 1;
        dlg_->statusCache.system = {7, 8, 0x42, static_cast<uint8_t>(model)};
        dlg_->probePortByte = 0x59;  // a newer model's System byte [2] holds (4,2) instead
        dlg_->isNewModel = 1;
        Launches launches;
        if (shift) {
            QTest::keyPress(dlg_.get(), Qt::Key_Shift, Qt::ShiftModifier);
        }
        if (f7) {
            QTest::keyPress(dlg_.get(), Qt::Key_F7, shift ? Qt::ShiftModifier : Qt::NoModifier);
        }
        if (id == 1011 || id == 1016) {
            dlg_->Command(id);  // hidden buttons: no click possible
        } else {
            Click(id, shift ? Qt::ShiftModifier : Qt::NoModifier);
        }
        if (f7) {
            QTest::keyRelease(dlg_.get(), Qt::Key_F7);
        }
        QVERIFY(messages_->texts().isEmpty());
        QCOMPARE(launches.requests.size(), size_t(1));
        const LaunchRequest& r = launches.requests[0];
        QCOMPARE(r.templateId, templateId);
        QCOMPARE(r.port, kBoxPort);
        QCOMPARE(int(r.group.size()), groupSize);
        QCOMPARE(r.portByte.has_value(), portByte);
        if (portByte) {
            QCOMPARE(int(*r.portByte), 0x59);
        }
        QCOMPARE(r.isNewModel.has_value(), templateId == 200 || templateId == 201);
        if (groupSize == 4) {
            QCOMPARE(r.group.data(), dlg_->statusCache.system.data());
        }
    }

    void quickCommands_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("normal");
        QTest::addColumn<int>("pressed");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("Aspect Ratio") << 1010 << 142 << 158 << QByteArray::fromHex("056C9304F8");
        QTest::newRow("Freeze") << 1012 << 146 << 160 << QByteArray::fromHex("056C9302FA");
        QTest::newRow("Blank") << 1013 << 143 << 159 << QByteArray::fromHex("056C9303F9");
        QTest::newRow("1080p60") << 1014 << 140 << 157 << QByteArray::fromHex("086C930001010CEB");
        QTest::newRow("1080i60") << 1015 << 139 << 156 << QByteArray::fromHex("086C9300010109EE");
        QTest::newRow("720p60") << 1017 << 138 << 155 << QByteArray::fromHex("086C9300010104F3");
        QTest::newRow("480p60") << 1018 << 137 << 154 << QByteArray::fromHex("086C9300010102F5");
    }
    void quickCommands() {
        QFETCH(int, id);
        QFETCH(int, normal);
        QFETCH(int, pressed);
        QFETCH(QByteArray, frame);
        BoxConfig config;
        config.silent = true;  // no reply is read anyway
        Open(config);
        auto* button = Picture(id);
        QCOMPARE(button->Picture(), normal);
        // Watch the button during the wait: what it holds and what was last painted.
        std::set<int> held;
        std::set<int> painted;
        kestrow::SetIdleHook([&] {
            held.insert(button->Picture());
            painted.insert(button->PaintedPicture());
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        });
        QElapsedTimer timer;
        timer.start();
        Click(id);
        const qint64 elapsed = timer.elapsed();
        kestrow::ui::InstallDeviceHooks();
        QVERIFY(elapsed >= 500);
        QCOMPARE(held, std::set<int>{pressed});
        QCOMPARE(painted, std::set<int>{pressed});
        QCOMPARE(button->Picture(), normal);
        QVERIFY(box_->WaitForReceived(static_cast<size_t>(frame.size()), 2000));
        QCOMPARE(Received(*box_), Frames{frame});
        QCOMPARE(dlg_->refreshed, 0);
        QVERIFY(messages_->texts().isEmpty());
    }

    void closingCommands_data() {
        QTest::addColumn<int>("how");  // 0 Enter in the port field, 1 Esc, 2 close box
        QTest::addColumn<int>("exitCode");
        QTest::newRow("Enter") << 0 << 1;
        QTest::newRow("Esc") << 1 << 2;
        QTest::newRow("close box") << 2 << 2;
    }
    void closingCommands() {
        QFETCH(int, how);
        Open();
        QSignalSpy finished(dlg_.get(), &QDialog::finished);
        QLineEdit* field = dlg_->ControlAs<QComboBox>(1005)->lineEdit();
        if (how == 0) {
            QTest::keyClick(field, Qt::Key_Return);
        } else if (how == 1) {
            QTest::keyClick(field, Qt::Key_Escape);
        } else {
            QVERIFY(dlg_->close());
        }
        QCOMPARE(finished.size(), 1);
        QTEST(finished.at(0).at(0).toInt(), "exitCode");
        QVERIFY(!dlg_->isVisible());
    }

    // The close box pressed while a quick command waits: the frame still goes out whole and
    // the window closes afterwards (the link is not closed under the running operation).
    void closeDuringWait() {
        Open();
        QSignalSpy finished(dlg_.get(), &QDialog::finished);
        bool closedEarly = false;
        kestrow::SetIdleHook([&] {
            if (finished.isEmpty() && !closedEarly) {
                closedEarly = true;
                dlg_->close();
                QCOMPARE(finished.size(), 0);
            }
        });
        dlg_->Command(1012);
        kestrow::ui::InstallDeviceHooks();
        QVERIFY(closedEarly);
        QVERIFY(box_->WaitForReceived(5, 2000));
        QCOMPARE(Received(*box_), Frames{QByteArray::fromHex("056C9302FA")});
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), 2);
        QVERIFY(messages_->texts().isEmpty());
    }

    void portText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port");  // -1: names no port
        QTest::newRow("entry") << "COM 3" << 3;
        QTest::newRow("no space") << "COM17" << 17;
        QTest::newRow("number") << "42" << 42;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("top") << "COM 255" << 255;
        QTest::newRow("beyond") << "COM 256" << -1;
        QTest::newRow("two spaces") << "COM  3" << -1;
        QTest::newRow("negative") << "-1" << -1;
        QTest::newRow("letters") << "COMx" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("trailing text") << "COM 3a" << -1;
    }
    void portText() {
        QFETCH(QString, text);
        QFETCH(int, port);
        const auto parsed = kestrow::ParsePortText(text);
        QCOMPARE(parsed.value_or(-1), port);
    }

    // Typed text that names no port: the open-failure report and nothing else.
    void typedTextWithoutPort() {
        Open();
        dlg_->ControlAs<QComboBox>(1005)->setEditText(QStringLiteral("printer"));
        QCOMPARE(dlg_->SelectedPort(), std::nullopt);
        for (int id : {1025, 1010}) {
            messages_->clear();
            dlg_->Command(id);
            const auto requests = messages_->requests();
            QCOMPARE(requests.size(), size_t(1));
            QCOMPARE(requests[0].text, kOpenFailure);
            QCOMPARE(requests[0].caption, QStringLiteral("Error"));
        }
        QVERIFY(box_->received().empty());
        QCOMPARE(Text(1026), kClickRefresh);
        ExpectIdle();
        // A typed number reaches the box like a selected entry.
        dlg_->ControlAs<QComboBox>(1005)->setEditText(QStringLiteral("COM3"));
        dlg_->Command(1013);
        QVERIFY(box_->WaitForReceived(5, 2000));
    }

    // The panel after a refresh, for the eye: written next to the test program.
    void screenshot() {
        Open();
        dlg_->Command(1025);
        QCOMPARE(dlg_->refreshed, 1);
        const QPixmap shot = dlg_->grab();
        QCOMPARE(shot.deviceIndependentSize().toSize(), QSize(800, 500));
        const QString path = QCoreApplication::applicationDirPath() + "/mainwindow.png";
        QVERIFY(shot.save(path));
        qInfo("screenshot: %s", qPrintable(path));
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
