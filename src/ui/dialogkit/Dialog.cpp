#include "ui/dialogkit/Dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <algorithm>

#include "ui/dialogkit/PictureButton.h"
#include "ui/dialogkit/QtSupport.h"
#include "ui/dialogkit/Trackbar.h"

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

Dialog::Dialog(const DialogTemplate& tmpl) : QDialog(nullptr), tmpl_(tmpl) {}

Dialog::~Dialog() = default;

int Dialog::UnitsToPixelsX(int units) const {
    return units * baseX_ / 4;
}
int Dialog::UnitsToPixelsY(int units) const {
    return units * baseY_ / 8;
}

bool Dialog::Build() {
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
    built_ = true;
    return true;
}

QWidget* Dialog::MakeControl(const ControlTemplate& c) {
    const QString text = Utf8(c.text);
    QWidget* w = nullptr;
    const int id = c.id;
    switch (c.kind) {
        case ControlKind::PushButton: {
            auto* b = new QPushButton(text, this);
            b->setAutoDefault(false);  // Enter is ours (HandleKey)
            connect(b, &QPushButton::clicked, this, [this, id] { Command(id); });
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
            auto* t = new Trackbar(Has(c.flags, kVertical) ? Qt::Vertical : Qt::Horizontal, this);
            t->setTickPosition(Has(c.flags, kNoTicks) ? QSlider::NoTicks : QSlider::TicksBelow);
            connect(t, &Trackbar::positionShown, this, [this, id](int pos) { Notify(id, pos); });
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
            connect(r, &QRadioButton::clicked, this, [this, id] { Command(id); });
            w = r;
            break;
        }
        case ControlKind::CheckBox: {
            auto* x = new QCheckBox(text, this);
            connect(x, &QCheckBox::clicked, this, [this, id] { Command(id); });
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
            connect(p, &PictureButton::clicked, this, [this, id] { Command(id); });
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
    return w;
}

bool Dialog::CreateModeless(QWidget* parent) {
    if (parent != nullptr) {
        setParent(parent, windowFlags());
    }
    if (!Build()) {
        return false;
    }
    if (!initialized_) {
        initialized_ = true;
        OnInitDialog();
    }
    show();
    return true;
}

int Dialog::RunModal(QWidget* parent) {
    if (parent != nullptr && parent != parentWidget()) {
        setParent(parent, windowFlags());
    }
    if (!Build()) {
        return -1;
    }
    setWindowModality(Qt::ApplicationModal);
    if (!initialized_) {
        initialized_ = true;
        OnInitDialog();
    }
    return exec();
}

QWidget* Dialog::Control(int id) const {
    return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

void Dialog::SetControlText(int id, const QString& text) {
    QWidget* w = Control(id);
    if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(text);
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(text);
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(text);
    } else if (auto* m = qobject_cast<QPlainTextEdit*>(w)) {
        m->setPlainText(text);
    } else if (auto* cb = qobject_cast<QComboBox*>(w)) {
        if (cb->isEditable()) {
            cb->setEditText(text);
        }
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        g->setTitle(text);
    } else if (auto* p = qobject_cast<PictureButton*>(w)) {
        p->SetCaption(text);
    }
}

QString Dialog::ControlText(int id) const {
    QWidget* w = Control(id);
    if (auto* l = qobject_cast<QLabel*>(w)) {
        return l->text();
    }
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        return b->text();
    }
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        return e->text();
    }
    if (auto* m = qobject_cast<QPlainTextEdit*>(w)) {
        return m->toPlainText();
    }
    if (auto* cb = qobject_cast<QComboBox*>(w)) {
        return cb->currentText();
    }
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        return g->title();
    }
    if (auto* p = qobject_cast<PictureButton*>(w)) {
        return p->Caption();
    }
    return {};
}

void Dialog::Command(int id) {
    if (auto it = commands_.find(id); it != commands_.end()) {
        it->second();
        return;
    }
    if (id == 1 || id == 2) {
        EndDialog(id);
    }
}

void Dialog::Notify(int id, int position) {
    if (auto it = notifications_.find(id); it != notifications_.end()) {
        it->second(position);
    }
}

void Dialog::EndDialog(int id) {
    done(id);
}

void Dialog::CenterOnParent() {
    QRect area;
    if (QWidget* p = parentWidget(); p != nullptr) {
        area = p->window()->frameGeometry();
    } else if (QScreen* s = screen(); s != nullptr) {
        area = s->availableGeometry();
    } else if (QScreen* primary = QGuiApplication::primaryScreen(); primary != nullptr) {
        area = primary->availableGeometry();
    }
    if (area.isValid()) {
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

int Dialog::DefaultCommandId() const {
    for (const ControlTemplate& c : tmpl_.controls) {
        if (c.kind == ControlKind::PushButton && Has(c.flags, kDefault) && c.id > 0) {
            return c.id;
        }
    }
    return 1;
}

bool Dialog::HandleKey(QKeyEvent* event, QWidget* receiver) {
    const int key = event->key();
    if (key == Qt::Key_Escape) {
        Command(2);
        return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        // The key goes to the control that has the focus; a push button gives its own id.
        auto* button = qobject_cast<QPushButton*>(receiver);
        bool ok = false;
        const int focusedId = button != nullptr ? button->objectName().toInt(&ok) : 0;
        Command(ok && focusedId > 0 ? focusedId : DefaultCommandId());
        return true;
    }
    return false;
}

bool Dialog::eventFilter(QObject* watched, QEvent* event) {
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

void Dialog::keyPressEvent(QKeyEvent* event) {
    if (!HandleKey(event, focusWidget())) {
        QDialog::keyPressEvent(event);
    }
}

void Dialog::closeEvent(QCloseEvent* event) {
    // The close box is command 2; the window closes only if the handler ended the dialog.
    event->ignore();
    Command(2);
    if (!isVisible()) {
        event->accept();
    }
}

void Dialog::reject() {
    Command(2);
}
void Dialog::accept() {
    Command(1);
}

QWidget* ActiveWindow() {
    if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr) {
        return modal;
    }
    return QApplication::activeWindow();
}

}  // namespace kestrow::ui
