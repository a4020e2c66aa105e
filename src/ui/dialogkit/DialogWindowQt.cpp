// The Qt realisation's window: built from the template, one widget per control, and the
// keyboard rules of a Windows dialog.
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSvgRenderer>
#include <algorithm>

#include "ui/dialogkit/DialogWindowQt.h"
#include "ui/dialogkit/PictureButtonQt.h"
#include "ui/dialogkit/SupportQt.h"

namespace kestrow::ui {

namespace {

// The Windows dialog fonts do not exist here; ask for them and fall back to a sans font.
// A dialog laid out on a fixed pixel grid (a skin) keeps its texts in proportion with the
// picture at any screen setting: the size goes in pixels (points at 96 dpi), and the fallbacks
// are narrow faces like the Windows ones, so texts fit the places the template gives them.
QFont DialogFont(const DialogTemplate& t) {
    const bool onGrid = t.fixedBaseUnits.x > 0 && t.fixedBaseUnits.y > 0;
    QFont font;
    font.setFamilies(onGrid ? QStringList{Utf8(t.fontFamily), QStringLiteral("Tahoma"),
                                          QStringLiteral("DejaVu Sans Condensed"),
                                          QStringLiteral("Liberation Sans Narrow")}
                            : QStringList{Utf8(t.fontFamily), QStringLiteral("Tahoma"),
                                          QStringLiteral("DejaVu Sans"),
                                          QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    const int points = t.fontPointSize > 0 ? t.fontPointSize : 8;
    if (onGrid) {
        font.setPixelSize((points * 96 + 36) / 72);
    } else {
        font.setPointSize(points);
    }
    return font;
}

constexpr const char* kDigitsOnlyProperty = "kestrowDigitsOnly";

// A key that would type something other than digits into a digits-only edit.
bool RefusedByDigitsOnly(const QObject* watched, const QKeyEvent* key) {
    if (!watched->property(kDigitsOnlyProperty).toBool() || key->text().isEmpty() ||
        (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) != 0) {
        return false;
    }
    const QString text = key->text();
    return std::any_of(text.begin(), text.end(),
                       [](QChar ch) { return ch.isPrint() && !(ch >= u'0' && ch <= u'9'); });
}

bool Has(uint32_t flags, ControlFlag f) {
    return (flags & f) != 0;
}

}  // namespace

DialogWindow::DialogWindow(Dialog& dialog)
    : QDialog(nullptr), dialog_(dialog), tmpl_(dialog.Template()) {}

DialogWindow::~DialogWindow() {
    // A dialog opened over this one is owned by its own Dialog, not by this window.
    for (auto* child : findChildren<DialogWindow*>(Qt::FindDirectChildrenOnly)) {
        child->setParent(nullptr);
    }
}

int DialogWindow::UnitsToPixelsX(int units) const {
    return units * baseX_ / 4;
}
int DialogWindow::UnitsToPixelsY(int units) const {
    return units * baseY_ / 8;
}

bool DialogWindow::Build() {
    if (built_) {
        return true;
    }
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (tmpl_.minimizeBox) {
        flags |= Qt::WindowMinimizeButtonHint;
    }
    setWindowFlags(flags);
    setWindowTitle(WindowTitle(Utf8(tmpl_.caption)));
    setSizeGripEnabled(false);
    const QFont font = DialogFont(tmpl_);
    setFont(font);
    if (tmpl_.fixedBaseUnits.x > 0 && tmpl_.fixedBaseUnits.y > 0) {
        baseX_ = tmpl_.fixedBaseUnits.x;
        baseY_ = tmpl_.fixedBaseUnits.y;
    } else {
        // Windows' dialog base units: average width of the alphabet, rounded, and the height.
        const QFontMetrics fm(font);
        const int letters = fm.horizontalAdvance(
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        baseX_ = (letters / 26 + 1) / 2;
        baseY_ = fm.height();
    }
    setFixedSize(UnitsToPixelsX(tmpl_.width), UnitsToPixelsY(tmpl_.height));
    for (const ControlTemplate& c : tmpl_.controls) {
        if (MakeControl(c) == nullptr) {
            return false;
        }
    }
    // Keys reach the focused control first; take Enter and Esc there, as IsDialogMessage does.
    for (QWidget* child : findChildren<QWidget*>()) {
        child->installEventFilter(this);
    }
    Dress();
    WatchKeys();
    built_ = true;
    return true;
}

QWidget* DialogWindow::MakeControl(const ControlTemplate& c) {
    const QString text = Utf8(c.text);
    QWidget* w = nullptr;
    const int id = c.id;
    switch (c.kind) {
        case ControlKind::PushButton: {
            auto* b = new QPushButton(text, this);
            b->setAutoDefault(false);  // Enter is ours (HandleKey)
            connect(b, &QPushButton::clicked, this, [this, id] { dialog_.Command(id); });
            w = b;
            break;
        }
        case ControlKind::StaticText: {
            auto* l = new QLabel(text, this);
            l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            l->setWordWrap(true);
            if (Has(c.flags, kBorder)) {
                l->setFrameShape(QFrame::Box);
            }
            w = l;
            break;
        }
        case ControlKind::Edit:
            if (Has(c.flags, kMultiLine)) {
                auto* e = new QPlainTextEdit(text, this);
                e->setReadOnly(Has(c.flags, kReadOnly));
                e->setVerticalScrollBarPolicy(Has(c.flags, kVScroll) ? Qt::ScrollBarAlwaysOn
                                                                     : Qt::ScrollBarAsNeeded);
                w = e;
            } else {
                auto* e = new QLineEdit(text, this);
                e->setReadOnly(Has(c.flags, kReadOnly));
                e->setFrame(Has(c.flags, kBorder));
                // Only typed characters are filtered (eventFilter): a text the dialog writes,
                // such as a negative value, stays editable.
                e->setProperty(kDigitsOnlyProperty, Has(c.flags, kDigitsOnly));
                w = e;
            }
            break;
        case ControlKind::ComboDropDown:
        case ControlKind::ComboList: {
            auto* cb = new QComboBox(this);
            if (c.kind == ControlKind::ComboDropDown) {
                cb->setEditable(true);
                cb->setInsertPolicy(QComboBox::NoInsert);  // typed text never becomes an entry
            }
            w = cb;
            break;
        }
        case ControlKind::Trackbar: {
            auto* t = new QSlider(Has(c.flags, kVertical) ? Qt::Vertical : Qt::Horizontal, this);
            t->setTickPosition(Has(c.flags, kNoTicks) ? QSlider::NoTicks : QSlider::TicksBelow);
            // Every change of position, whoever made it; a repaint alone tells nothing.
            connect(t, &QSlider::valueChanged, this,
                    [this, id](int pos) { dialog_.Notify(id, pos); });
            w = t;
            break;
        }
        case ControlKind::ProgressBar: {
            auto* p = new QProgressBar(this);
            p->setTextVisible(false);
            p->setRange(0, 100);
            p->setValue(0);
            w = p;
            break;
        }
        case ControlKind::RadioButton: {
            auto* r = new QRadioButton(text, this);
            connect(r, &QRadioButton::clicked, this, [this, id] { dialog_.Command(id); });
            w = r;
            break;
        }
        case ControlKind::CheckBox: {
            auto* x = new QCheckBox(text, this);
            connect(x, &QCheckBox::clicked, this, [this, id] { dialog_.Command(id); });
            w = x;
            break;
        }
        case ControlKind::GroupBox:
            w = new QGroupBox(text, this);
            break;
        case ControlKind::Picture: {
            auto* p = new PictureButton(this);
            p->SetCaption(text);
            p->SetPicture(c.picture);
            connect(p, &PictureButton::clicked, this, [this, id] { dialog_.Command(id); });
            w = p;
            break;
        }
    }
    if (w == nullptr) {
        return nullptr;
    }
    if (id > 0) {
        w->setObjectName(QString::number(id));
    }
    int height = UnitsToPixelsY(c.h);
    if (c.kind == ControlKind::ComboDropDown || c.kind == ControlKind::ComboList) {
        // A combo's template height includes its dropped list; the field itself is one line.
        height = std::min(height, std::max(w->sizeHint().height(), 20));
    }
    w->setGeometry(UnitsToPixelsX(c.x), UnitsToPixelsY(c.y), UnitsToPixelsX(c.w), height);
    if (Has(c.flags, kDisabled)) {
        w->setEnabled(false);
    }
    if (Has(c.flags, kHidden)) {
        w->setVisible(false);  // explicit: stays hidden when the dialog shows
    }
    ApplySkin(w);
    return w;
}

QWidget* DialogWindow::Control(int id) const {
    return id > 0 ? findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly) : nullptr;
}

int DialogWindow::DefaultCommandId() const {
    for (const ControlTemplate& c : tmpl_.controls) {
        if (c.kind == ControlKind::PushButton && Has(c.flags, kDefault) && c.id > 0) {
            return c.id;
        }
    }
    return 1;
}

bool DialogWindow::HandleKey(QKeyEvent* event, QWidget* receiver) {
    const int key = event->key();
    if (key == Qt::Key_Escape) {
        dialog_.Command(2);
        return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        // The key goes to the control that has the focus; a push button gives its own id.
        auto* button = qobject_cast<QPushButton*>(receiver);
        bool ok = false;
        const int focusedId = button != nullptr ? button->objectName().toInt(&ok) : 0;
        dialog_.Command(ok && focusedId > 0 ? focusedId : DefaultCommandId());
        return true;
    }
    return false;
}

bool DialogWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        if (RefusedByDigitsOnly(watched, static_cast<QKeyEvent*>(event))) {
            return true;
        }
        auto* w = qobject_cast<QWidget*>(watched);
        if (w != nullptr && w->window() == this && HandleKey(static_cast<QKeyEvent*>(event), w)) {
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
    if (!HandleKey(event, focusWidget())) {
        QDialog::keyPressEvent(event);
    }
}

void DialogWindow::closeEvent(QCloseEvent* event) {
    // The close box is command 2; the window closes only if the handler ended the dialog.
    event->ignore();
    dialog_.Command(2);
    if (!isVisible()) {
        event->accept();
    }
}

void DialogWindow::reject() {
    dialog_.Command(2);
}
void DialogWindow::accept() {
    dialog_.Command(1);
}

}  // namespace kestrow::ui
