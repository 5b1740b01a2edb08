#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QString>

class QColor;
class QRect;

// A fixed bitmap at a fixed place that reports the mouse the way the console's forms bind it:
// press, move and release with the position inside the picture, a click (left press and release
// on the picture) and a double click. Hidden or disabled pictures report nothing.
class TPicture : public QLabel {
    Q_OBJECT
public:
    TPicture(QWidget *parent, const QString &name, const QString &artwork, const QRect &geometry);

signals:
    void Click();
    void DblClick();
    void MouseDown(const QPoint &pos);
    void MouseMove(const QPoint &pos);
    void MouseUp(const QPoint &pos);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};

// The keyboard's side of a picture button: an invisible button over the button's place that
// takes the focus by Tab, shows it with a frame, and clicks on Space. The mouse passes through
// it to the pictures below, which keep their own click handling. The focus that a window gives
// its first control when it opens shows no frame, so the console opens looking as it always has.
class TKeyButton : public QAbstractButton {
    Q_OBJECT
public:
    TKeyButton(QWidget *parent, const QString &name, const QRect &geometry,
               const QString &accessibleName, const QString &toolTip);

protected:
    void focusInEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool FocusByKeyboard = false;
};

// A borderless single-line entry box with centred text. The typing limit applies to what the
// operator types, pastes or drops; setText() puts any text in whole, so a program can place a
// longer value than an operator could type. Entered by Tab or Shift+Tab it selects its text, so
// typing replaces it; entered otherwise it selects nothing. Its context menu is drawn in the
// console's dark colours.
class TLimitedEdit : public QLineEdit {
    Q_OBJECT
public:
    TLimitedEdit(QWidget *parent, const QString &name, const QRect &geometry, int pixelHeight,
                 const QColor &background, int typingLimit);

    int TypingLimit() const { return typingLimit_; }

signals:
    void Click();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool Fits(const QString &insert) const;

    int typingLimit_;
};

// The console's dark colours, for the menus and dialogs it opens.
QPalette DarkPalette();

// Open Sans with the given character height in pixels.
QFont ConsoleFont(int pixelHeight);

// A plain panel with a solid background at a fixed place.
QWidget *NewPanel(QWidget *parent, const QString &name, const QRect &geometry,
                  const QColor &background);

// A fixed-size label (no automatic sizing) with centred Open Sans text on a solid background.
QLabel *NewLabel(QWidget *parent, const QString &name, const QRect &geometry, int pixelHeight,
                 const QColor &text, const QColor &background);

// The font colour of a label or an edit box.
void SetTextColour(QWidget *widget, const QColor &colour);

// A refused click or key: the control dims for a moment, so the operator sees that it was heard
// and turned down. No text changes.
void FlashRefusal(QWidget *control);
// True while a control shows that cue.
bool IsFlashingRefusal(const QWidget *control);
QColor TextColour(const QWidget *widget);
