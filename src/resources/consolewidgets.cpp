#include "resources/consolewidgets.h"

#include "resources/artwork.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>

namespace {
const QColor FocusFrame{0x2f, 0x9c, 0xff}; // the artwork's blue
} // namespace

TPicture::TPicture(QWidget *parent, const QString &name, const QString &artwork,
                   const QRect &geometry)
    : QLabel(parent) {
    setObjectName(name);
    setGeometry(geometry);
    setPixmap(ArtworkPixmap(artwork));
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void TPicture::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton)
        emit MouseDown(event->position().toPoint());
}

void TPicture::mouseMoveEvent(QMouseEvent *event) {
    emit MouseMove(event->position().toPoint());
}

void TPicture::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pos = event->position().toPoint();
    emit MouseUp(pos);
    // The handler of MouseUp may have hidden the picture; a click needs it still under the mouse.
    if (isVisible() && rect().contains(pos))
        emit Click();
}

void TPicture::mouseDoubleClickEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton)
        emit DblClick();
}

TKeyButton::TKeyButton(QWidget *parent, const QString &name, const QRect &geometry,
                       const QString &accessibleName, const QString &toolTip)
    : QAbstractButton(parent) {
    setObjectName(name);
    setGeometry(geometry);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAccessibleName(accessibleName);
    setToolTip(toolTip);
}

void TKeyButton::focusInEvent(QFocusEvent *event) {
    QAbstractButton::focusInEvent(event);
    FocusByKeyboard =
        event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
}

void TKeyButton::paintEvent(QPaintEvent *) {
    if (!hasFocus() || !FocusByKeyboard)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(FocusFrame, 2));
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
}

TLimitedEdit::TLimitedEdit(QWidget *parent, const QString &name, const QRect &geometry,
                           int pixelHeight, const QColor &background, int typingLimit)
    : QLineEdit(parent), typingLimit_(typingLimit) {
    setObjectName(name);
    setGeometry(geometry);
    setFrame(false);
    setAlignment(Qt::AlignCenter);
    setFont(ConsoleFont(pixelHeight));
    setAcceptDrops(false);
    QPalette pal = palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Base, background);
        pal.setColor(group, QPalette::Text, Qt::white);
    }
    setPalette(pal);
}

bool TLimitedEdit::Fits(const QString &insert) const {
    return text().size() - selectedText().size() + insert.size() <= typingLimit_;
}

void TLimitedEdit::keyPressEvent(QKeyEvent *event) {
    if (event->matches(QKeySequence::Paste)) {
        if (!Fits(QGuiApplication::clipboard()->text()))
            return;
    } else if (!event->text().isEmpty() && event->text().at(0).isPrint() &&
               !(event->modifiers() & Qt::ControlModifier) && !Fits(event->text())) {
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TLimitedEdit::inputMethodEvent(QInputMethodEvent *event) {
    if (!event->commitString().isEmpty() && !Fits(event->commitString())) {
        event->ignore();
        return;
    }
    QLineEdit::inputMethodEvent(event);
}

void TLimitedEdit::contextMenuEvent(QContextMenuEvent *event) {
    QMenu *menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setPalette(DarkPalette());
    const bool pasteFits = Fits(QGuiApplication::clipboard()->text());
    for (QAction *action : menu->actions()) {
        if (action->objectName() == QLatin1String("edit-paste") && !pasteFits)
            action->setEnabled(false);
    }
    menu->popup(event->globalPos());
}

void TLimitedEdit::focusInEvent(QFocusEvent *event) {
    QLineEdit::focusInEvent(event);
    // The line edit itself selects the text for the keyboard's reasons.
    if (event->reason() != Qt::TabFocusReason && event->reason() != Qt::BacktabFocusReason)
        deselect();
}

void TLimitedEdit::mouseReleaseEvent(QMouseEvent *event) {
    QLineEdit::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit Click();
}

QPalette DarkPalette() {
    QPalette pal;
    pal.setColor(QPalette::Window, QColor(0x23, 0x23, 0x23));
    pal.setColor(QPalette::WindowText, QColor(0xe4, 0xe4, 0xe4));
    pal.setColor(QPalette::Base, QColor(0x16, 0x16, 0x16));
    pal.setColor(QPalette::AlternateBase, QColor(0x27, 0x27, 0x27));
    pal.setColor(QPalette::Text, QColor(0xe4, 0xe4, 0xe4));
    pal.setColor(QPalette::Button, QColor(0x33, 0x33, 0x33));
    pal.setColor(QPalette::ButtonText, QColor(0xe4, 0xe4, 0xe4));
    pal.setColor(QPalette::Highlight, FocusFrame);
    pal.setColor(QPalette::HighlightedText, Qt::black);
    pal.setColor(QPalette::ToolTipBase, QColor(0x27, 0x27, 0x27));
    pal.setColor(QPalette::ToolTipText, QColor(0xe4, 0xe4, 0xe4));
    pal.setColor(QPalette::PlaceholderText, QColor(0x6c, 0x6c, 0x6c));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        pal.setColor(QPalette::Disabled, role, QColor(0x6c, 0x6c, 0x6c));
    return pal;
}

QFont ConsoleFont(int pixelHeight) {
    QFont font(QStringLiteral("Open Sans"));
    font.setPixelSize(pixelHeight);
    return font;
}

QWidget *NewPanel(QWidget *parent, const QString &name, const QRect &geometry,
                  const QColor &background) {
    auto *panel = new QWidget(parent);
    panel->setObjectName(name);
    panel->setGeometry(geometry);
    panel->setAutoFillBackground(true);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, background);
    panel->setPalette(pal);
    return panel;
}

QLabel *NewLabel(QWidget *parent, const QString &name, const QRect &geometry, int pixelHeight,
                 const QColor &text, const QColor &background) {
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignCenter);
    label->setFont(ConsoleFont(pixelHeight));
    label->setAutoFillBackground(true);
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, background);
    label->setPalette(pal);
    SetTextColour(label, text);
    return label;
}

void SetTextColour(QWidget *widget, const QColor &colour) {
    QPalette pal = widget->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        pal.setColor(group, widget->foregroundRole(), colour);
    widget->setPalette(pal);
}

QColor TextColour(const QWidget *widget) {
    return widget->palette().color(QPalette::Active, widget->foregroundRole());
}

namespace {
constexpr double RefusalOpacity = 0.35;
constexpr int RefusalFlashMs = 250;
} // namespace

void FlashRefusal(QWidget *control) {
    if (!control || IsFlashingRefusal(control))
        return;
    auto *dim = new QGraphicsOpacityEffect(control);
    dim->setObjectName(QStringLiteral("RefusalFlash"));
    dim->setOpacity(RefusalOpacity);
    control->setGraphicsEffect(dim); // the control owns the effect from here
    const QPointer<QWidget> flashed(control);
    QTimer::singleShot(RefusalFlashMs, control, [flashed] {
        if (flashed)
            flashed->setGraphicsEffect(nullptr);
    });
}

bool IsFlashingRefusal(const QWidget *control) {
    const QGraphicsEffect *effect = control ? control->graphicsEffect() : nullptr;
    return effect && effect->objectName() == QLatin1String("RefusalFlash");
}
