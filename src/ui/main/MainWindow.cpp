#include "ui/main/MainWindow.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPixmapCache>
#include <QSvgRenderer>

#include "ports/NetworkPorts.h"
#include "serial/SerialTypes.h"
#include "ui/dialogkit/MessageBox.h"
#include "ui/dialogkit/PictureButton.h"
#include "ui/main/KeyChord.h"
#include "ui/main/MainWindowTemplate.h"
#include "ui/main/PortText.h"
#include "ui/skin/Pictures.h"

namespace kestrow {

namespace {

using Ids = ui::MainWindowIds;

constexpr int kClientWidth = 800;
constexpr int kClientHeight = 500;
constexpr int kIconPicture = 128;
constexpr int kBackgroundPicture = 136;

QIcon RenderIcon(int picture) {
    QSvgRenderer renderer(ui::PictureSvg(picture));
    QIcon icon;
    if (!renderer.isValid()) {
        return icon;
    }
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// The port selector in the skin's colours: a dark field, light text, the skin's blue.
QPalette SkinPalette(QPalette palette) {
    const QColor field(0x10, 0x13, 0x17);
    const QColor face(0x2e, 0x32, 0x38);
    const QColor ink(0xee, 0xf2, 0xf7);
    for (const auto role : {QPalette::Base, QPalette::AlternateBase}) {
        palette.setColor(role, field);
    }
    for (const auto role : {QPalette::Window, QPalette::Button}) {
        palette.setColor(role, face);
    }
    for (const auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText}) {
        palette.setColor(role, ink);
    }
    palette.setColor(QPalette::Highlight, QColor(0x15, 0x65, 0xc0));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    return palette;
}

}  // namespace

MainWindow::MainWindow(DialogLauncher launcher, DiscoveryRoots roots)
    : Dialog(ui::kMainWindowTemplate),
      launcher_(std::move(launcher)),
      roots_(std::move(roots)),
      background_(std::make_unique<QSvgRenderer>(ui::PictureSvg(kBackgroundPicture))),
      saveSettings_(QStringLiteral("Save settings...")),
      loadSettings_(QStringLiteral("Load settings...")) {
    static constexpr ui::CommandEntry<MainWindow> kMap[] = {
        {Ids::kOutputSetupButton, &MainWindow::OnOutputSetup},
        {Ids::kImageButton, &MainWindow::OnImage},
        {Ids::kAdjustmentButton, &MainWindow::OnAdjustment},
        {Ids::kSystemButton, &MainWindow::OnSystem},
        {Ids::kEnhancementButton, &MainWindow::OnEnhancement},
        {Ids::kInOutModeButton, &MainWindow::OnInOutMode},
        {Ids::kRefreshButton, &MainWindow::OnRefresh},
        {Ids::kSearchPortsButton, &MainWindow::OnSearchPorts},
    };
    MapCommands(this, kMap);
    MapCommand(ui::kIdOk, [this] { CloseDialog(ui::kIdOk); });
    MapCommand(ui::kIdCancel, [this] { CloseDialog(ui::kIdCancel); });
    MapQuickCommands();
    // The settings files: the window's shortcuts, and its context menu (contextMenuEvent).
    saveSettings_.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    loadSettings_.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(&saveSettings_, &QAction::triggered, this, [this] { OnSettingsFile(true); });
    connect(&loadSettings_, &QAction::triggered, this, [this] { OnSettingsFile(false); });
    addAction(&saveSettings_);
    addAction(&loadSettings_);
}

MainWindow::~MainWindow() {
    statusLink.Close();
}

bool MainWindow::OnInitDialog() {
    CenterOnParent();  // at the template's size, before the client area is set
    setFixedSize(kClientWidth, kClientHeight);
    // The skin's colours go to the window's own controls, as palettes: a palette does not
    // pass to other windows, so message boxes and dialogs over this one keep the standard,
    // readable colours (a style sheet here would reach into every window it owns).
    for (QLabel* label : findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        label->setPalette(SkinPalette(label->palette()));
    }
    if (auto* combo = ControlAs<QComboBox>(Ids::kPortCombo)) {
        combo->setPalette(SkinPalette(combo->palette()));
        combo->view()->setPalette(SkinPalette(combo->view()->palette()));
    }
    FillPortList();
    refreshed = 0;
    setWindowIcon(RenderIcon(kIconPicture));
    chord_ = std::make_unique<KeyChord>();
    return true;
}

void MainWindow::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    if (background_ && background_->isValid()) {
        // The skin is rendered once per size: every repaint, down to the blinking text cursor
        // of the port field, would otherwise render the whole picture again (milliseconds that
        // the event processing during a device wait cannot spare).
        const qreal dpr = devicePixelRatioF();
        const QString key =
            QStringLiteral("kestrow-skin-%1x%2@%3").arg(width()).arg(height()).arg(dpr);
        QPixmap skin;
        if (!QPixmapCache::find(key, &skin)) {
            skin = QPixmap(size() * dpr);
            skin.setDevicePixelRatio(dpr);
            skin.fill(Qt::transparent);
            QPainter skinPainter(&skin);
            background_->render(&skinPainter, QRectF(rect()));
            skinPainter.end();
            QPixmapCache::insert(key, skin);
        }
        painter.drawPixmap(0, 0, skin);
    } else {
        painter.fillRect(rect(), QColor(0x1d, 0x21, 0x27));
    }
}

void MainWindow::FillPortList() {
    comPorts = FindPorts(roots_);
    if (comPorts.size() > kMaxComPorts) {
        comPorts.resize(kMaxComPorts);
    }
    auto* combo = ControlAs<QComboBox>(Ids::kPortCombo);
    if (combo == nullptr) {
        return;
    }
    combo->clear();
    for (size_t i = 0; i < comPorts.size(); ++i) {
        const ComPortInfo& info = comPorts[i];
        // "COM 5", or a network port's label (its URL without one).
        combo->addItem(QString::fromStdString(info.Name()));
        QString tip = QString::fromStdString(info.path);
        if (!info.product.empty()) {
            tip += QLatin1Char('\n') + QString::fromStdString(info.product);
        }
        combo->setItemData(static_cast<int>(i), tip, Qt::ToolTipRole);
    }
    // Entry 0 when there is one; an empty list stays without selection.
    combo->setCurrentIndex(comPorts.empty() ? -1 : 0);
}

std::optional<ComPort> MainWindow::SelectedPort() const {
    const auto* combo = ControlAs<QComboBox>(Ids::kPortCombo);
    if (combo == nullptr) {
        return std::nullopt;
    }
    const int index = combo->currentIndex();
    if (index >= 0 && static_cast<size_t>(index) < comPorts.size() &&
        combo->currentText() == combo->itemText(index)) {
        // A number the port byte cannot carry names no port (the dialogs get one byte).
        const ComPort& port = comPorts[static_cast<size_t>(index)];
        const bool named = port.IsNetwork() || (port.number >= 0 && port.number <= kMaxComPort);
        return named ? std::optional<ComPort>(port) : std::nullopt;
    }
    // No valid selection: the typed text may still name a port ("COM 5", "5" or a URL).
    return ParsePortName(combo->currentText(), roots_.portsDir);
}

void MainWindow::ReportNoPort() const {
    // The same report as for a port that does not open.
    ReportSerialFailure({"Failed to open up the comms port\n", "Error", ""});
}

void MainWindow::SetButtonPicture(int id, int picture, bool paintNow) {
    if (auto* button = ControlAs<ui::PictureButton>(id)) {
        button->SetPicture(picture);
        if (paintNow && button->isVisible()) {
            button->repaint();
        }
    }
}

void MainWindow::CloseDialog(int id) {
    if (busy_) {
        pendingClose_ = id;
        return;
    }
    statusLink.Close();
    EndDialog(id);
}

bool MainWindow::RefreshedOrSay() {
    if (refreshed == 0) {
        ui::ShowMessage(this, QStringLiteral("Please refresh first !"), QString());
        return false;
    }
    return true;
}

void MainWindow::Launch(int templateId, std::span<uint8_t> group) {
    const std::optional<ComPort> port = SelectedPort();
    if (!port) {
        ReportNoPort();
        return;
    }
    if (launcher_) {
        launcher_({templateId, *port, group, box,
                   ui::ActiveWindow() != nullptr ? ui::ActiveWindow() : this});
    }
}

void MainWindow::OnOutputSetup() {
    if (RefreshedOrSay()) {
        Launch(204, statusCache.output);
    }
}

void MainWindow::OnImage() {
    if (RefreshedOrSay()) {
        Launch(203, statusCache.image);
    }
}

void MainWindow::OnAdjustment() {
    if (!RefreshedOrSay()) {
        return;
    }
    if (chord_ && chord_->ShiftF7Held()) {
        Launch(206, {});
    } else {
        Launch(205, statusCache.adjustment);
    }
}

void MainWindow::OnSystem() {
    if (!RefreshedOrSay()) {
        return;
    }
    Launch(statusCache.system[3] == 1 ? 201 : 200, statusCache.system);
}

void MainWindow::OnEnhancement() {
    if (RefreshedOrSay()) {
        Launch(201, statusCache.system);
    }
}

void MainWindow::OnInOutMode() {
    if (RefreshedOrSay()) {
        Launch(202, {});
    }
}

}  // namespace kestrow
