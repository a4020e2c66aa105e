// The Qt realisation of a skinned window: its background picture, the skin's colours on its
// texts and lists, its icon, and its context menu with the entries' shortcut keys.
#include <QAbstractItemView>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QSvgRenderer>

#include "ui/dialogkit/DialogWindowQt.h"
#include "ui/dialogkit/SupportQt.h"
#include "ui/skin/Pictures.h"

namespace kestrow::ui {

namespace {

QByteArray Svg(int picture) {
    return QByteArray::fromStdString(PictureSvg(picture));
}

QIcon RenderIcon(int picture) {
    QSvgRenderer renderer(Svg(picture));
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

QColor Rgb(uint32_t rgb) {
    return QColor::fromRgb(static_cast<QRgb>(rgb));
}

// A skin's colours as a palette: a palette does not pass to other windows, so message boxes
// and dialogs over a skinned window keep the standard, readable colours (a style sheet would
// reach into every window it owns).
QPalette SkinPalette(QPalette palette, const SkinColours& skin) {
    for (const auto role : {QPalette::Base, QPalette::AlternateBase}) {
        palette.setColor(role, Rgb(skin.field));
    }
    for (const auto role : {QPalette::Window, QPalette::Button}) {
        palette.setColor(role, Rgb(skin.face));
    }
    for (const auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText}) {
        palette.setColor(role, Rgb(skin.ink));
    }
    palette.setColor(QPalette::Highlight, Rgb(skin.highlight));
    palette.setColor(QPalette::HighlightedText, Rgb(skin.highlightedInk));
    return palette;
}

QKeySequence Shortcut(const MenuCommand& m) {
    if (m.key == 0) {
        return {};
    }
    Qt::KeyboardModifiers mods;
    mods.setFlag(Qt::ControlModifier, (m.modifiers & kCtrl) != 0);
    mods.setFlag(Qt::ShiftModifier, (m.modifiers & kShift) != 0);
    mods.setFlag(Qt::AltModifier, (m.modifiers & kAlt) != 0);
    return QKeySequence(QKeyCombination(mods, Qt::Key(m.key)));
}

}  // namespace

void DialogWindow::Dress() {
    if (tmpl_.background != 0) {
        background_ = std::make_unique<QSvgRenderer>(Svg(tmpl_.background));
    }
    if (tmpl_.icon != 0) {
        setWindowIcon(RenderIcon(tmpl_.icon));
    }
    for (const MenuCommand& m : tmpl_.contextMenu) {
        auto* action = new QAction(Utf8(m.text), this);
        action->setShortcut(Shortcut(m));
        connect(action, &QAction::triggered, this, [this, id = m.id] { dialog_.Command(id); });
        addAction(action);
    }
}

void DialogWindow::ApplySkin(QWidget* control) const {
    if (tmpl_.skin == nullptr) {
        return;
    }
    if (qobject_cast<QLabel*>(control) != nullptr) {
        control->setPalette(SkinPalette(control->palette(), *tmpl_.skin));
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        combo->setPalette(SkinPalette(combo->palette(), *tmpl_.skin));
        combo->view()->setPalette(SkinPalette(combo->view()->palette(), *tmpl_.skin));
    }
}

void DialogWindow::contextMenuEvent(QContextMenuEvent* event) {
    if (actions().isEmpty()) {
        QDialog::contextMenuEvent(event);
        return;
    }
    QMenu menu(this);
    menu.addActions(actions());
    (void)menu.exec(event->globalPos());
}

void DialogWindow::paintEvent(QPaintEvent* event) {
    if (!background_) {
        QDialog::paintEvent(event);
        return;
    }
    QPainter painter(this);
    if (!background_->isValid()) {
        painter.fillRect(rect(), QColor(0x1d, 0x21, 0x27));
        return;
    }
    // The picture is rendered once per size: every repaint, down to the blinking text cursor of
    // a field, would otherwise render the whole picture again (milliseconds that the event
    // processing during a device wait cannot spare).
    const qreal dpr = devicePixelRatioF();
    const QString key = QStringLiteral("kestrow-skin-%1-%2x%3@%4")
                            .arg(tmpl_.background)
                            .arg(width())
                            .arg(height())
                            .arg(dpr);
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
}

}  // namespace kestrow::ui
