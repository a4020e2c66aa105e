// The main window on network ports, through ser2net in front of a simulated box: a typed
// rfc2217:// or socket:// URL refreshes and applies like a COM port, the network ports file's
// entry is listed after the COM ports and found by the port search, and a URL nobody listens on
// gets the open-failure report.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/common/Ser2net.h"
#include "tests/common/TestBox.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/dialogs/ImageDialogTemplate.h"
#include "ui/dialogs/SettingsDialogs.h"
#include "ui/main/MainWindow.h"
#include "ui/main/MainWindowTemplate.h"

using kestrow::MainWindow;
using kestrow::test::RefreshWire;
using kestrow::test::WireHex;
using Ids = kestrow::ui::MainWindowIds;
using Image = kestrow::ui::ImageIds;

namespace {

const QString kClickRefresh = QStringLiteral("Please click refresh button");
const QStringList kUnrefreshed{"", kClickRefresh, "", kClickRefresh};
// The box of Start(): SDI in, VGA out, (4,1) "NO-SYNC", (1,1) "Bypass".
const QStringList kShown{"VGA", "NO-SYNC", "SDI", "Bypass"};
const QByteArray kContrastWrite = "086c930002018c6a";  // (2,1) = 140

void AddForms() {
    QTest::addColumn<QString>("form");
    QTest::newRow("rfc2217") << "rfc2217";
    QTest::newRow("socket") << "socket";
}

}  // namespace

class TestNetworkPanel : public QObject {
    Q_OBJECT

    QTemporaryDir files_;  // the network ports file, an empty device tree
    std::unique_ptr<kestrow::test::PortsDir> ports_;
    std::unique_ptr<kestrow::test::MessageRecorder> messages_;
    std::unique_ptr<kestrow::test::RecordingReporter> reports_;
    std::unique_ptr<kestrow::sim::BoxSim> box_;
    std::unique_ptr<kestrow::test::Ser2net> server_;
    std::unique_ptr<MainWindow> dlg_;

    [[nodiscard]] QString NetworkPortsFile() const { return files_.filePath("network-ports"); }

    // A new box of kShown with contrast 17 and ser2net in front of it, in place of the last
    // ones; linked as COM 3 when `linked`. Each step below starts on a line that has not been
    // through a hang-up: ser2net flushes its device when its client hangs up, and a
    // pseudo-terminal has been seen to pass the box only the first byte of each later write, or
    // nothing, for seconds after such a flush on a busy machine (a serial line does not).
    [[nodiscard]] bool Start(bool linked) {
        server_.reset();
        box_.reset();
        kestrow::sim::BoxConfig config;
        config.portByte = 0x93;
        config.modelByte = 2;
        box_ = linked ? kestrow::test::StartLinkedBox(*ports_, 3, config)
                      : kestrow::sim::BoxSim::Start(config);
        if (!box_) {
            return false;
        }
        box_->SetSetting(4, 1, 116);
        box_->SetSetting(1, 1, 36);
        box_->SetSetting(2, 1, 17);
        std::string why;
        server_ = kestrow::test::Ser2net::Start(box_->slavePath(), &why);
        if (!server_) {
            qWarning("ser2net: %s", why.c_str());
        }
        return server_ != nullptr;
    }
    [[nodiscard]] QString Url(const QString& form) const {
        return QString::fromStdString(form == "rfc2217" ? server_->Rfc2217Url()
                                                        : server_->RawUrl());
    }
    // The main window over the COM links of ports_ and the network ports file only: the
    // machine's own serial ports are left out.
    void Open() {
        kestrow::DiscoveryRoots roots = ports_->Roots();
        QCOMPARE(QString::fromStdString(roots.networkPortsFile), NetworkPortsFile());
        const QString none = files_.filePath("no-devices");
        QVERIFY(QDir().mkpath(none));
        roots.devDir = roots.sysClassTty = roots.byIdDir = none.toStdString();
        dlg_ = std::make_unique<MainWindow>(kestrow::RunSettingsDialog, roots);
        QVERIFY(dlg_->CreateModeless(nullptr));
        QVERIFY(QTest::qWaitForWindowExposed(dlg_.get()));
    }
    [[nodiscard]] QComboBox* Combo() const { return dlg_->ControlAs<QComboBox>(Ids::kPortCombo); }
    void TypePort(const QString& text) {
        QLineEdit* field = Combo()->lineEdit();
        field->clear();
        QTest::keyClicks(field, text);
        QCOMPARE(Combo()->currentText(), text);
    }
    void Click(int id) { QTest::mouseClick(dlg_->Control(id), Qt::LeftButton); }
    [[nodiscard]] QStringList Texts() const {
        return {dlg_->ControlText(Ids::kInputPortText), dlg_->ControlText(Ids::kInputTimingText),
                dlg_->ControlText(Ids::kOutputPortText),
                dlg_->ControlText(Ids::kOutputResolutionText)};
    }
    [[nodiscard]] QString Port() const {
        return QString::fromStdString(dlg_->SelectedPort().value_or(kestrow::ComPort{}).path);
    }
    [[nodiscard]] static QStringList Entries(const QComboBox* combo) {
        QStringList out;
        for (int i = 0; i < combo->count(); ++i) {
            out << combo->itemText(i) + '|' + combo->itemData(i, Qt::ToolTipRole).toString();
        }
        return out;
    }
    void ExpectNothingSaid() {
        QStringList said = messages_->boxes();
        for (const auto& r : reports_->reports()) {
            said << QString::fromStdString(r.text + r.detail);
        }
        QCOMPARE(said, QStringList());
        QVERIFY(!dlg_->statusLink.IsOpen());
    }

  private slots:
    void initTestCase() {
        if (!kestrow::test::Ser2net::Available()) {
            QSKIP("ser2net is not installed");
        }
        QVERIFY(files_.isValid());
        // Read when the discovery roots are made: set before any main window.
        qputenv("KESTROW_NETWORK_PORTS", NetworkPortsFile().toLocal8Bit());
    }
    void cleanupTestCase() {
        qunsetenv("KESTROW_NETWORK_PORTS");
        kestrow::ui::RemoveDeviceHooks();
    }
    void init() {
        kestrow::ui::InstallDeviceHooks();
        ports_ = std::make_unique<kestrow::test::PortsDir>();
        messages_ = std::make_unique<kestrow::test::MessageRecorder>();
        reports_ = std::make_unique<kestrow::test::RecordingReporter>();
    }
    void cleanup() {
        dlg_.reset();
        server_.reset();
        box_.reset();
        reports_.reset();
        messages_.reset();
        ports_.reset();
        QFile::remove(NetworkPortsFile());
    }

    // Refresh and an Image Apply on a typed port: the same frames, names and memory whether
    // the text is a COM port or a URL of either form.
    void typedPort_data() {
        AddForms();
        QTest::newRow("COM 3") << "COM 3";
    }
    void typedPort() {
        QFETCH(QString, form);
        const bool com = form.startsWith("COM");
        QVERIFY(Start(com));
        Open();
        QCOMPARE(Combo()->count(), com ? 1 : 0);
        TypePort(com ? form : Url(form));

        Click(Ids::kRefreshButton);
        QVERIFY(box_->WaitForQuiet(3000));
        QCOMPARE(WireHex(*box_), RefreshWire(24));
        QCOMPARE(Texts(), kShown);
        QCOMPARE(int(dlg_->refreshed), 1);
        QCOMPARE(int(dlg_->statusCache.image[0]), 17);

        QVERIFY(Start(com));  // the Apply on a fresh line, typed anew
        TypePort(com ? form : Url(form));
        int opened = 0;
        QObject scope;  // ends the wait for a dialog that did not open
        kestrow::test::WhenModalOver(&scope, dlg_.get(), [&opened](kestrow::ui::Dialog* d) {
            opened = d->Template().id;
            d->SetControlText(Image::kContrastEdit, QStringLiteral("140"));
            QTest::mouseClick(d->Control(Image::kContrastApply), Qt::LeftButton);
            d->close();
        });
        Click(Ids::kImageButton);
        QCOMPARE(opened, 203);
        ExpectNothingSaid();
        const auto bytes = size_t(kContrastWrite.size() / 2);
        (void)box_->WaitForReceived(bytes, 2000);
        (void)box_->WaitForReceived(bytes + 1, 100);  // and nothing more
        QCOMPARE(WireHex(*box_), kContrastWrite);
        QCOMPARE(int(box_->setting(2, 1)), 140);
        QCOMPARE(int(dlg_->statusCache.image[0]), 140);
    }

    // The network ports file's entry follows the COM ports under its label (its URL as the
    // tip); chosen, it refreshes; the search reads the file again, passes the silent COM 3 and
    // stops at the entry.
    void networkPortsFile() {
        kestrow::sim::BoxConfig silent;
        silent.silent = true;
        auto com3 = kestrow::test::StartLinkedBox(*ports_, 3, silent);
        QVERIFY(com3);
        const auto serveAsRackOne = [this] {
            QFile file(NetworkPortsFile());
            const bool served = Start(false) && file.open(QIODevice::WriteOnly) &&
                                file.write((Url("rfc2217") + "  Rack one\n").toUtf8()) > 0;
            return served ? Url("rfc2217") : QString();
        };
        const QString url = serveAsRackOne();
        QVERIFY(!url.isEmpty());
        Open();
        const QString com3Path = QString::fromStdString(ports_->Port(3).path);
        QCOMPARE(Entries(Combo()), (QStringList{"COM 3|" + com3Path, "Rack one|" + url}));

        Combo()->setCurrentIndex(Combo()->findText(QStringLiteral("Rack one")));
        QCOMPARE(Port(), url);
        Click(Ids::kRefreshButton);
        QVERIFY(box_->WaitForQuiet(3000));
        QCOMPARE(WireHex(*box_), RefreshWire(24));
        QCOMPARE(Texts(), kShown);
        QCOMPARE(WireHex(*com3), QByteArray());

        const QString moved = serveAsRackOne();  // the search on a fresh line
        QVERIFY(!moved.isEmpty() && moved != url);
        Combo()->setCurrentIndex(0);
        Click(Ids::kSearchPortsButton);
        ExpectNothingSaid();
        QCOMPARE(Combo()->currentText(), QStringLiteral("Rack one"));
        QCOMPARE(Port(), moved);
        QVERIFY(box_->WaitForQuiet(3000));
        QCOMPARE(WireHex(*com3), RefreshWire(1));
        QCOMPARE(WireHex(*box_), RefreshWire(1));
    }

    // A URL nobody listens on: the serial layer's open failure, once; nothing goes out, also
    // not to the COM port selected before the URL was typed, and the window stays as it was.
    void nobodyListening_data() { AddForms(); }
    void nobodyListening() {
        QFETCH(QString, form);
        QVERIFY(Start(true));
        Open();
        Combo()->setCurrentIndex(Combo()->findText(QStringLiteral("COM 3")));
        const uint16_t port = kestrow::test::FreeLoopbackPort();
        QVERIFY(port != 0);
        const QString url = form + "://127.0.0.1:" + QString::number(port);
        TypePort(url);
        Click(Ids::kRefreshButton);
        QCOMPARE(reports_->texts(), std::vector<std::string>{"Failed to open up the comms port\n"});
        QCOMPARE(QString::fromStdString(reports_->reports()[0].error.path), url);
        QCOMPARE(messages_->boxes(), QStringList());
        QCOMPARE(WireHex(*box_), QByteArray());
        QCOMPARE(Texts(), kUnrefreshed);
        QCOMPARE(int(dlg_->refreshed), 0);
        QVERIFY(!dlg_->statusLink.IsOpen());
    }
};

QTEST_MAIN(TestNetworkPanel)
#include "test_network_panel.moc"
