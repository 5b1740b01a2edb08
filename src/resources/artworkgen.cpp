// Draws the interface pictures at their pixel sizes and writes them as PNG files. Runs at build
// time: artworkgen <output folder> <Open Sans font folder>. Every picture is drawn twice: for 1:1
// display as name.png, where lines sit on pixel centres and text is hinted at its final size, and
// at twice the size as name@2x.png for screens scaled by two, where Qt would otherwise enlarge
// the first and blur it.

#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <vector>

namespace {

// Palette of the console.
const QColor Back{0x16, 0x16, 0x16};
const QColor CardTop{0x27, 0x27, 0x27};
const QColor CardBottom{0x1b, 0x1b, 0x1b};
const QColor CardLine{0x34, 0x34, 0x34};
const QColor FaceTop{0x33, 0x33, 0x33};
const QColor FaceBottom{0x25, 0x25, 0x25};
const QColor FaceLine{0x40, 0x40, 0x40};
const QColor Well{0x08, 0x08, 0x08};
const QColor TextLight{0xe4, 0xe4, 0xe4};
const QColor TextGrey{0xa4, 0xa4, 0xa4};
const QColor TextDim{0x6c, 0x6c, 0x6c};
const QColor Blue{0x2f, 0x9c, 0xff};
const QColor Yellow{0xff, 0xe6, 0x1a};
const QColor Green{0x3c, 0xe8, 0x5a};
const QColor BandGrey{0x3f, 0x3f, 0x3f};

QColor WithAlpha(QColor c, int alpha) {
    c.setAlpha(alpha);
    return c;
}

QFont OpenSans(int px, QFont::Weight weight = QFont::Normal, qreal spacing = 0) {
    QFont f(QStringLiteral("Open Sans"));
    f.setPixelSize(px);
    f.setWeight(weight);
    f.setHintingPreference(QFont::PreferVerticalHinting);
    if (spacing != 0)
        f.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    return f;
}

// Device pixels per picture pixel of the pictures being drawn. The painter takes it from the
// canvas, so the drawing code works in picture pixels at either size.
int Scale = 1;

QImage Canvas(int w, int h, const QColor &fill = Qt::transparent) {
    QImage img(w * Scale, h * Scale, QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(Scale);
    img.fill(fill);
    return img;
}

void Begin(QPainter &p) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
}

void Text(QPainter &p, const QRectF &r, int flags, const QString &text, const QFont &font,
          const QColor &colour) {
    p.setFont(font);
    p.setPen(colour);
    p.drawText(r, flags, text);
}

qreal TextWidth(const QString &text, const QFont &font) {
    return QFontMetricsF(font).horizontalAdvance(text);
}

// A raised card: vertical gradient, one-pixel outline, a faint highlight along the top.
void Card(QPainter &p, const QRectF &r, qreal radius, const QColor &top = CardTop,
          const QColor &bottom = CardBottom, const QColor &line = CardLine) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setPen(QPen(line, 1));
    p.setBrush(g);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    p.setPen(QPen(WithAlpha(Qt::white, 14), 1));
    p.drawLine(QPointF(r.left() + radius, r.top() + 1.5),
               QPointF(r.right() - radius, r.top() + 1.5));
}

// A sunken well: darker fill, dark upper edge and a light lower lip so it reads as cut in.
void Well_(QPainter &p, const QRectF &r, qreal radius, const QColor &fill) {
    p.setPen(Qt::NoPen);
    p.setBrush(WithAlpha(Qt::white, 18));
    p.drawRoundedRect(r.adjusted(-1, -1, 1, 1.5), radius + 1, radius + 1);
    p.setBrush(QColor(0x05, 0x05, 0x05));
    p.drawRoundedRect(r.adjusted(-1, -1, 1, 0), radius + 1, radius + 1);
    p.setBrush(fill);
    p.drawRoundedRect(r, radius, radius);
}

// The band-pass mark: a round aperture holding a dimmed spectrum, with one narrow band let
// through at full strength.
QColor Spectral(double nm) {
    double r = 0, g = 0, b = 0;
    if (nm < 440) {
        r = -(nm - 440) / 60;
        b = 1;
    } else if (nm < 490) {
        g = (nm - 440) / 50;
        b = 1;
    } else if (nm < 510) {
        g = 1;
        b = -(nm - 510) / 20;
    } else if (nm < 580) {
        r = (nm - 510) / 70;
        g = 1;
    } else if (nm < 645) {
        r = 1;
        g = -(nm - 645) / 65;
    } else {
        r = 1;
    }
    double edge = 1;
    if (nm < 420)
        edge = 0.3 + 0.7 * (nm - 380) / 40;
    else if (nm > 700)
        edge = 0.3 + 0.7 * (780 - nm) / 80;
    auto c = [edge](double v) { return qBound(0, int(255 * std::pow(v * edge, 0.8)), 255); };
    return QColor(c(r), c(g), c(b));
}

QLinearGradient SpectrumGradient(qreal x0, qreal x1) {
    QLinearGradient g(QPointF(x0, 0), QPointF(x1, 0));
    for (int i = 0; i <= 20; ++i)
        g.setColorAt(i / 20.0, Spectral(400 + i * 15));
    return g;
}

void Logo(QPainter &p, const QPointF &c, qreal d) {
    p.save();
    const QRectF disc(c.x() - d / 2, c.y() - d / 2, d, d);
    const QRectF inner = disc.adjusted(d * 0.09, d * 0.09, -d * 0.09, -d * 0.09);
    QRadialGradient face(c - QPointF(0, d * 0.2), d * 0.7);
    face.setColorAt(0, QColor(0x2c, 0x2c, 0x2c));
    face.setColorAt(1, QColor(0x0a, 0x0a, 0x0a));
    p.setPen(Qt::NoPen);
    p.setBrush(face);
    p.drawEllipse(disc);
    QPainterPath clip;
    clip.addEllipse(inner);
    p.setClipPath(clip);
    // The spectrum along the floor, and the one band that the filter lets through.
    const qreal floor = c.y() + d * 0.2;
    p.setBrush(SpectrumGradient(inner.left(), inner.right()));
    p.setOpacity(0.55);
    p.drawRect(QRectF(inner.left(), floor, inner.width(), d * 0.12));
    p.setOpacity(1);
    QPainterPath bell;
    const qreal half = d * 0.36, top = c.y() - d * 0.26;
    bell.moveTo(c.x() - half, floor);
    for (int i = 0; i <= 48; ++i) {
        const qreal t = -1 + i / 24.0;
        bell.lineTo(c.x() + t * half, floor - (floor - top) * std::exp(-4.2 * t * t));
    }
    QLinearGradient fill(QPointF(0, top), QPointF(0, floor));
    fill.setColorAt(0, QColor(0xff, 0xe8, 0x6a));
    fill.setColorAt(1, QColor(0xff, 0x9a, 0x1e));
    p.setBrush(fill);
    p.drawPath(bell);
    p.setClipping(false);
    QConicalGradient ring(c, 90);
    ring.setColorAt(0, QColor(0xf2, 0xf2, 0xf2));
    ring.setColorAt(0.5, QColor(0x80, 0x80, 0x80));
    ring.setColorAt(1, QColor(0xf2, 0xf2, 0xf2));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QBrush(ring), d * 0.07));
    p.drawEllipse(disc.adjusted(d * 0.05, d * 0.05, -d * 0.05, -d * 0.05));
    p.restore();
}

void Triangle(QPainter &p, const QPointF &tip, qreal halfBase, qreal height, const QColor &c) {
    QPainterPath t;
    t.moveTo(tip);
    t.lineTo(tip.x() - halfBase, tip.y() - height);
    t.lineTo(tip.x() + halfBase, tip.y() - height);
    t.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(t);
}

// ---------------------------------------------------------------------------------------------
// Main window

QImage TitleBase() {
    QImage img = Canvas(910, 60, Back);
    QPainter p(&img);
    Begin(p);
    Logo(p, QPointF(46, 23), 34);
    const QFont name = OpenSans(23, QFont::Bold, 3.2);
    const QFont version = OpenSans(15, QFont::DemiBold);
    const QFont role = OpenSans(11, QFont::DemiBold, 1.6);
    // One baseline for the name, the version and the role.
    const qreal baseline = 31;
    p.setFont(name);
    p.setPen(TextLight);
    p.drawText(QPointF(78, baseline), QStringLiteral("KESTRUNE"));
    qreal x = 78 + TextWidth(QStringLiteral("KESTRUNE"), name) + 6;
    p.setFont(version);
    p.setPen(Blue);
    p.drawText(QPointF(x, baseline), QStringLiteral("v1.0"));
    x += TextWidth(QStringLiteral("v1.0"), version) + 22;
    p.setPen(QPen(QColor(0x3a, 0x3a, 0x3a), 1));
    p.drawLine(QPointF(x - 11.5, 12), QPointF(x - 11.5, 34));
    p.setFont(role);
    p.setPen(TextDim);
    p.drawText(QPointF(x, baseline - 1), QStringLiteral("WAVE SELECTOR CONSOLE"));
    QLinearGradient rule(QPointF(0, 0), QPointF(910, 0));
    rule.setColorAt(0, WithAlpha(QColor(0x3a, 0x3a, 0x3a), 0));
    rule.setColorAt(0.04, QColor(0x3a, 0x3a, 0x3a));
    rule.setColorAt(0.96, QColor(0x3a, 0x3a, 0x3a));
    rule.setColorAt(1, WithAlpha(QColor(0x3a, 0x3a, 0x3a), 0));
    p.setPen(QPen(QBrush(rule), 1));
    p.drawLine(QPointF(0, 57.5), QPointF(910, 57.5));
    return img;
}

QImage TitleButtonFace() {
    QImage img = Canvas(40, 40);
    QPainter p(&img);
    Begin(p);
    Card(p, QRectF(4, 4, 32, 32), 7, FaceTop, FaceBottom, FaceLine);
    return img;
}

QImage TitleMinimise() {
    QImage img = TitleButtonFace();
    QPainter p(&img);
    Begin(p);
    p.setPen(QPen(TextGrey, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14, 25), QPointF(26, 25));
    return img;
}

QImage TitleClose() {
    QImage img = TitleButtonFace();
    QPainter p(&img);
    Begin(p);
    p.setPen(QPen(TextGrey, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(15, 15), QPointF(25, 25));
    p.drawLine(QPointF(25, 15), QPointF(15, 25));
    return img;
}

// Opacity groove; the knob's centre travels from x 28.5 to 92.5 of this picture.
QImage SlideBase() {
    QImage img = Canvas(120, 27);
    QPainter p(&img);
    Begin(p);
    Well_(p, QRectF(22, 10, 77, 7), 3.5, QColor(0x0c, 0x0c, 0x0c));
    QLinearGradient fill(QPointF(22, 0), QPointF(99, 0));
    fill.setColorAt(0, WithAlpha(Blue, 40));
    fill.setColorAt(1, WithAlpha(Blue, 150));
    p.setBrush(fill);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(23, 11, 75, 5), 2.5, 2.5);
    // Faint disc at the see-through end, solid disc at the opaque end.
    p.setPen(QPen(TextDim, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(8.5, 13.5), 4.5, 4.5);
    p.setPen(Qt::NoPen);
    p.setBrush(TextGrey);
    p.drawEllipse(QPointF(112, 13.5), 5, 5);
    return img;
}

QImage SlideButton() {
    QImage img = Canvas(29, 29);
    QPainter p(&img);
    Begin(p);
    p.setPen(Qt::NoPen);
    p.setBrush(WithAlpha(Qt::black, 110));
    p.drawEllipse(QPointF(14.5, 15.5), 13, 13);
    QRadialGradient g(QPointF(11, 9), 17);
    g.setColorAt(0, QColor(0x7a, 0x7a, 0x7a));
    g.setColorAt(0.6, QColor(0x46, 0x46, 0x46));
    g.setColorAt(1, QColor(0x2a, 0x2a, 0x2a));
    p.setBrush(g);
    p.setPen(QPen(QColor(0x12, 0x12, 0x12), 1));
    p.drawEllipse(QPointF(14.5, 14.5), 12.5, 12.5);
    p.setPen(QPen(WithAlpha(Qt::white, 40), 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(14.5, 14.5), 11.3, 11.3);
    p.setPen(Qt::NoPen);
    p.setBrush(Blue);
    p.drawEllipse(QPointF(14.5, 14.5), 3, 3);
    return img;
}

// Tabs sit on the top edge of the panel card below them: the lit tab opens into the card.
QImage Tab(const QString &caption, bool lit) {
    QImage img = Canvas(140, 40);
    QPainter p(&img);
    Begin(p);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(0.5, 0.5, 139, 48), 8, 8);
    p.setClipRect(QRectF(0, 0, 140, 40));
    if (lit) {
        QLinearGradient g(QPointF(0, 0), QPointF(0, 40));
        g.setColorAt(0, QColor(0x31, 0x31, 0x31));
        g.setColorAt(1, CardTop);
        p.setPen(QPen(CardLine, 1));
        p.setBrush(g);
        p.drawPath(shape);
        p.setPen(Qt::NoPen);
        p.setBrush(Blue);
        p.drawRoundedRect(QRectF(14, 0, 112, 3), 1.5, 1.5);
        Text(p, QRectF(0, 3, 140, 37), Qt::AlignCenter, caption, OpenSans(16, QFont::Bold, 2),
             TextLight);
    } else {
        p.setPen(QPen(QColor(0x29, 0x29, 0x29), 1));
        p.setBrush(QColor(0x1c, 0x1c, 0x1c));
        p.drawPath(shape);
        p.setPen(QPen(CardLine, 1));
        p.drawLine(QPointF(0, 39.5), QPointF(140, 39.5));
        Text(p, QRectF(0, 3, 140, 37), Qt::AlignCenter, caption, OpenSans(16, QFont::Bold, 2),
             TextDim);
    }
    return img;
}

// The message bar: a dark inset frame whose black window holds Label_Message (64,20 704 x 28).
QImage MessageBase() {
    QImage img = Canvas(910, 70, Back);
    QPainter p(&img);
    Begin(p);
    Card(p, QRectF(32, 4, 846, 62), 10);
    Well_(p, QRectF(52, 14, 728, 40), 6, Qt::black);
    p.setPen(Qt::NoPen);
    p.setBrush(Blue);
    p.drawRoundedRect(QRectF(57, 26, 3, 16), 1.5, 1.5);
    p.drawRoundedRect(QRectF(772, 26, 3, 16), 1.5, 1.5);
    // The footer ends well inside the card's right edge (x 877).
    Logo(p, QPointF(798, 35), 26);
    Text(p, QRectF(814, 20, 52, 30), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("KESTRUNE"),
         OpenSans(9, QFont::Bold, 0.8), TextGrey);
    return img;
}

QImage Logo64() {
    QImage img = Canvas(64, 64);
    QPainter p(&img);
    Begin(p);
    Logo(p, QPointF(32, 32), 62);
    return img;
}

// ---------------------------------------------------------------------------------------------
// Panels

// Background shared by the SET and SCAN panels: the card, the "Input" heading with its rule,
// and the black box behind Label_Product (440,24 416 x 28).
// The card of a tab page. Its top edge is left open over x 32..592, where the tab pictures
// above draw it: the lit tab opens into the card, the dim ones close it with their bottom line.
void PageCard(QPainter &p, int height) {
    const qreal l = 32.5, r = 877.5, b = height - 4.5, rad = 12;
    QPainterPath outline;
    outline.moveTo(592, 0.5);
    outline.lineTo(r - rad, 0.5);
    outline.quadTo(r, 0.5, r, rad);
    outline.lineTo(r, b - rad);
    outline.quadTo(r, b, r - rad, b);
    outline.lineTo(l + rad, b);
    outline.quadTo(l, b, l, b - rad);
    outline.lineTo(l, 0);
    QPainterPath area = outline;
    area.lineTo(592, 0);
    area.closeSubpath();
    QLinearGradient g(QPointF(0, 0), QPointF(0, height));
    g.setColorAt(0, CardTop);
    g.setColorAt(1, CardBottom);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPath(area);
    p.setPen(QPen(CardLine, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(outline);
}

QImage PanelBase(int height, const QString &subtitle) {
    QImage img = Canvas(910, height, Back);
    QPainter p(&img);
    Begin(p);
    PageCard(p, height);
    Triangle(p, QPointF(63, 45), 7, 11, Blue);
    Text(p, QRectF(76, 22, 120, 32), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Input"),
         OpenSans(21, QFont::DemiBold), TextLight);
    Text(p,
         QRectF(76 + TextWidth(QStringLiteral("Input"), OpenSans(21, QFont::DemiBold)) + 12, 22,
                200, 32),
         Qt::AlignLeft | Qt::AlignVCenter, subtitle, OpenSans(12), TextDim);
    p.setPen(QPen(QColor(0x38, 0x38, 0x38), 1));
    p.drawLine(QPointF(56, 70.5), QPointF(857, 70.5));
    p.setPen(QPen(WithAlpha(Qt::black, 120), 1));
    p.drawLine(QPointF(56, 71.5), QPointF(857, 71.5));
    Well_(p, QRectF(434, 19, 428, 38), 7, Qt::black);
    return img;
}

QImage SetBase() {
    return PanelBase(242, QStringLiteral("one pass band"));
}
QImage ScanBase() {
    return PanelBase(242, QStringLiteral("a series of pass bands"));
}

// A key face with an LED, for the entry-mode selectors.
QImage ModeButton(const QString &caption, const QColor &accent, bool on) {
    QImage img = Canvas(178, 60);
    QPainter p(&img);
    Begin(p);
    if (on) {
        Card(p, QRectF(0, 0, 178, 60), 9, QColor(0x36, 0x36, 0x36), QColor(0x27, 0x27, 0x27),
             WithAlpha(accent, 150));
        QRadialGradient glow(QPointF(26, 30), 14);
        glow.setColorAt(0, WithAlpha(accent, 120));
        glow.setColorAt(1, WithAlpha(accent, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(QPointF(26, 30), 14, 14);
        p.setBrush(accent);
        p.drawEllipse(QPointF(26, 30), 5, 5);
        Text(p, QRectF(38, 0, 130, 60), Qt::AlignCenter, caption, OpenSans(19, QFont::Bold),
             accent);
    } else {
        Card(p, QRectF(0, 0, 178, 60), 9, QColor(0x2a, 0x2a, 0x2a), QColor(0x20, 0x20, 0x20),
             QColor(0x36, 0x36, 0x36));
        p.setPen(QPen(QColor(0x12, 0x12, 0x12), 1));
        p.setBrush(QColor(0x3a, 0x3a, 0x3a));
        p.drawEllipse(QPointF(26, 30), 5, 5);
        Text(p, QRectF(38, 0, 130, 60), Qt::AlignCenter, caption, OpenSans(19, QFont::Bold),
             TextDim);
    }
    return img;
}

// An entry frame: caption and hint above, the well that Edit1/Edit2 sit in (16,72 144 x 48).
QImage EditFrame(const QString &caption, const QString &hint, const QColor &accent) {
    QImage img = Canvas(176, 135);
    QPainter p(&img);
    Begin(p);
    Card(p, QRectF(0, 0, 176, 135), 10);
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    p.drawRoundedRect(QRectF(14, 0, 148, 3), 1.5, 1.5);
    Text(p, QRectF(0, 8, 176, 36), Qt::AlignCenter, caption, OpenSans(26, QFont::Bold), accent);
    Text(p, QRectF(0, 42, 176, 20), Qt::AlignCenter, hint, OpenSans(11), TextGrey);
    Well_(p, QRectF(14, 70, 148, 52), 5, QColor(0x23, 0x23, 0x23));
    return img;
}

// A tall push key. On: pressed face and blue caption while its operation runs.
QImage TallKey(int w, int h, const QString &caption, int captionPx,
               const std::function<void(QPainter &, const QColor &)> &icon, bool on) {
    QImage img = Canvas(w, h);
    QPainter p(&img);
    Begin(p);
    // Two pixels below the face for its shadow, so that the face keeps its rounded bottom edge.
    const QRectF r(0, 0, w, h - 2);
    if (on) {
        Card(p, r, 10, QColor(0x1c, 0x1c, 0x1c), QColor(0x2a, 0x2a, 0x2a), WithAlpha(Blue, 170));
        QRadialGradient glow(QPointF(w / 2.0, h * 0.45), w * 0.55);
        glow.setColorAt(0, WithAlpha(Blue, 45));
        glow.setColorAt(1, WithAlpha(Blue, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 9, 9);
    } else {
        Card(p, r, 10, FaceTop, FaceBottom, FaceLine);
        p.setPen(QPen(WithAlpha(Qt::black, 140), 1));
        p.drawLine(QPointF(10, h - 1.5), QPointF(w - 10, h - 1.5));
    }
    const QColor ink = on ? Blue : QColor(0xc4, 0xc4, 0xc4);
    icon(p, ink);
    Text(p, QRectF(0, h * 0.62, w, h * 0.26), Qt::AlignCenter, caption,
         OpenSans(captionPx, QFont::Bold), ink);
    p.setPen(Qt::NoPen);
    p.setBrush(on ? Blue : QColor(0x3a, 0x3a, 0x3a));
    p.drawRoundedRect(QRectF(w / 2.0 - 12, h - 14, 24, 3), 1.5, 1.5);
    return img;
}

void ResetIcon(QPainter &p, const QColor &ink, qreal cx, qreal cy) {
    p.setPen(QPen(ink, 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QRectF arc(cx - 14, cy - 14, 28, 28);
    p.drawArc(arc, 100 * 16, 290 * 16);
    const qreal a = qDegreesToRadians(100.0);
    const QPointF end(cx + 14 * std::cos(a), cy - 14 * std::sin(a));
    QPainterPath head;
    head.moveTo(end + QPointF(8, -1));
    head.lineTo(end + QPointF(-2, -7));
    head.lineTo(end + QPointF(-1, 6));
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPath(head);
}

void GoIcon(QPainter &p, const QColor &ink, qreal cx, qreal cy, qreal s) {
    QPainterPath t;
    t.moveTo(cx - s * 0.45, cy - s * 0.55);
    t.lineTo(cx + s * 0.6, cy);
    t.lineTo(cx - s * 0.45, cy + s * 0.55);
    t.closeSubpath();
    p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(WithAlpha(ink, 60));
    p.drawPath(t);
}

QImage ResetKey(bool on) {
    return TallKey(
        75, 135, QStringLiteral("Reset"), 16,
        [](QPainter &p, const QColor &ink) { ResetIcon(p, ink, 37.5, 52); }, on);
}

QImage GoKey(int w, bool on) {
    return TallKey(
        w, 135, QStringLiteral("Go"), 24,
        [w](QPainter &p, const QColor &ink) { GoIcon(p, ink, w / 2.0, 50, 30); }, on);
}

// A scan's Go while the scan runs: it stops the scan.
QImage StopKey(int w) {
    return TallKey(
        w, 135, QStringLiteral("Stop"), 24,
        [w](QPainter &p, const QColor &ink) {
            p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(WithAlpha(ink, 60));
            p.drawRoundedRect(QRectF(w / 2.0 - 14, 36, 28, 28), 3, 3);
        },
        true);
}

void StepIcon(QPainter &p, const QColor &ink, qreal cx, qreal cy) {
    GoIcon(p, ink, cx - 5, cy, 22);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawRoundedRect(QRectF(cx + 10, cy - 12, 4, 24), 1.5, 1.5);
}

void NextIcon(QPainter &p, const QColor &ink, qreal cx, qreal cy) {
    p.setPen(QPen(ink, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    for (const qreal dx : {-7.0, 5.0}) {
        QPainterPath chevron;
        chevron.moveTo(cx + dx - 6, cy - 11);
        chevron.lineTo(cx + dx + 5, cy);
        chevron.lineTo(cx + dx - 6, cy + 11);
        p.drawPath(chevron);
    }
}

// The LIST tab's keys: Reset, Go (a timed run), Step (a stepped run) and Next, narrower than the
// other tabs' so that the table fits beside them.
QImage ListKey(int which, bool on) {
    const int w = which == 0 ? 66 : 70;
    const QString captions[] = {QStringLiteral("Reset"), QStringLiteral("Go"),
                                QStringLiteral("Step"), QStringLiteral("Next")};
    return TallKey(
        w, 135, captions[which], which == 1 ? 22 : 16,
        [which, w](QPainter &p, const QColor &ink) {
            const qreal cx = w / 2.0;
            if (which == 0)
                ResetIcon(p, ink, cx, 52);
            else if (which == 1)
                GoIcon(p, ink, cx, 50, 28);
            else if (which == 2)
                StepIcon(p, ink, cx, 50);
            else
                NextIcon(p, ink, cx, 50);
        },
        on);
}

// A small key for the list's edits.
QImage SmallKey(const QString &caption) {
    QImage img = Canvas(48, 36);
    QPainter p(&img);
    Begin(p);
    Card(p, QRectF(0, 0, 48, 36), 7, FaceTop, FaceBottom, FaceLine);
    Text(p, QRectF(0, 0, 48, 34), Qt::AlignCenter, caption, OpenSans(11, QFont::Bold),
         QColor(0xc4, 0xc4, 0xc4));
    return img;
}

// The LIST page: the heading, the well the table sits in (56,82 390 x 146), and the cycles
// caption above the well of its box (462,103 88 x 28).
QImage ListBase() {
    QImage img = PanelBase(242, QStringLiteral("a list of pass bands"));
    QPainter p(&img);
    Begin(p);
    Well_(p, QRectF(52, 78, 398, 154), 7, Well);
    Text(p, QRectF(456, 78, 100, 20), Qt::AlignCenter, QStringLiteral("Cycles"),
         OpenSans(13, QFont::DemiBold), TextGrey);
    Well_(p, QRectF(458, 100, 96, 34), 5, QColor(0x22, 0x22, 0x22));
    return img;
}

// SCAN key caps: caption, unit, and the well that Edit1..Edit5 sit in (12,76 96 x 48).
QImage ScanCap(const QString &caption, const QString &unit) {
    QImage img = Canvas(119, 135);
    QPainter p(&img);
    Begin(p);
    Card(p, QRectF(0, 0, 119, 135), 9);
    p.setPen(Qt::NoPen);
    p.setBrush(Blue);
    p.drawRoundedRect(QRectF(12, 0, 95, 3), 1.5, 1.5);
    Text(p, QRectF(0, 12, 119, 28), Qt::AlignCenter, caption, OpenSans(17, QFont::Bold), TextLight);
    Text(p, QRectF(0, 40, 119, 22), Qt::AlignCenter, unit, OpenSans(13, QFont::DemiBold), TextGrey);
    Well_(p, QRectF(10, 74, 100, 52), 5, QColor(0x22, 0x22, 0x22));
    return img;
}

// ---------------------------------------------------------------------------------------------
// Position view

// The bar maps the range onto x 140..768; its ends (x 62..849) hold the range labels.
QImage ViewBase() {
    QImage img = Canvas(910, 170, Back);
    QPainter p(&img);
    Begin(p);
    Card(p, QRectF(32, 0, 846, 166), 12);
    // Scale: ten divisions on each half, meeting at the midpoint pixel.
    p.setPen(Qt::NoPen);
    p.setBrush(WithAlpha(Qt::white, 16));
    p.drawRoundedRect(QRectF(61, 64, 790, 41), 9, 9);
    p.setBrush(Qt::black);
    p.drawRoundedRect(QRectF(62, 65, 788, 39), 8, 8);
    for (int i = 0; i <= 20; ++i) {
        const qreal x = i <= 10 ? 140 + i * 31.4 : 454 + (i - 10) * 31.4;
        const bool major = i % 5 == 0;
        p.setPen(QPen(major ? QColor(0x4a, 0x4a, 0x4a) : QColor(0x30, 0x30, 0x30), 1));
        const qreal px = std::floor(x) + 0.5;
        p.drawLine(QPointF(px, major ? 93 : 97), QPointF(px, 102));
        p.drawLine(QPointF(px, 66), QPointF(px, major ? 76 : 72));
    }
    p.setPen(QPen(QColor(0x9a, 0x9a, 0x9a), 1));
    for (qreal x : {129.5, 781.5})
        p.drawLine(QPointF(x, 58), QPointF(x, 111));
    return img;
}

// A value box: black body with a caption, and the pointer triangle.
QImage ViewBox(int w, const QRectF &body, const QPointF &tip, bool tipDown, const QString &caption,
               const QRectF &captionRect, const QColor &accent) {
    QImage img = Canvas(w, 46);
    QPainter p(&img);
    Begin(p);
    p.setPen(QPen(WithAlpha(accent, 110), 1));
    p.setBrush(Qt::black);
    p.drawRoundedRect(body.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    if (tipDown)
        Triangle(p, tip, 7, 14, accent);
    else
        Triangle(p, tip, 7, -14, accent);
    Text(p, captionRect, Qt::AlignCenter, caption, OpenSans(13, QFont::Bold), accent);
    return img;
}

QImage ViewBoxCWL() {
    return ViewBox(182, QRectF(0, 0, 182, 30), QPointF(91, 45), true, QStringLiteral("CWL"),
                   QRectF(2, 3, 46, 22), Yellow);
}
QImage ViewBoxSW() {
    return ViewBox(103, QRectF(0, 16, 103, 30), QPointF(94.5, 1), false, QStringLiteral("SW"),
                   QRectF(65, 21, 36, 22), Green);
}
QImage ViewBoxLW() {
    return ViewBox(103, QRectF(0, 16, 103, 30), QPointF(7.5, 1), false, QStringLiteral("LW"),
                   QRectF(2, 21, 36, 22), Green);
}

// The markers are drawn pixel by pixel: they are 8 x 33 and must stay exact.
void BandColumn(QImage &img, int x) {
    img.setPixelColor(x, 0, QColor(0x1e, 0x1e, 0x1e));
    for (int y = 1; y < img.height() - 1; ++y)
        img.setPixelColor(x, y, BandGrey);
    img.setPixelColor(x, img.height() - 1, QColor(0x1e, 0x1e, 0x1e));
}

void LineColumn(QImage &img, int x, const QColor &c) {
    for (int y = 0; y < img.height(); ++y)
        img.setPixelColor(x, y, c);
}

QImage PosRange() {
    QImage img = Canvas(20, 33);
    for (int x = 0; x < 20; ++x)
        BandColumn(img, x);
    return img;
}

// A marker of the position bar, 8 columns wide: the band's colour in columns [bandFrom, bandTo),
// `outside` elsewhere, and the marker's line over the given columns.
QImage PosMarker(const QColor &outside, int bandFrom, int bandTo,
                 std::initializer_list<int> lineColumns, const QColor &line) {
    QImage img = Canvas(8, 33, outside);
    for (int x = bandFrom; x < bandTo; ++x)
        BandColumn(img, x);
    for (const int x : lineColumns)
        LineColumn(img, x, line);
    return img;
}

QImage PosCWL() {
    return PosMarker(Qt::transparent, 0, 8, {3, 4}, QColor(0xff, 0xff, 0x00));
}

// The columns outside an edge line take the bar's black, so the band ends at the line.
QImage PosSW() {
    return PosMarker(Qt::black, 4, 8, {3}, QColor(0x00, 0xff, 0x00));
}

QImage PosLW() {
    return PosMarker(Qt::black, 0, 4, {4}, QColor(0x00, 0xff, 0x00));
}

// ---------------------------------------------------------------------------------------------
// HELP picture

void MiniField(QPainter &p, const QRectF &r, const QString &caption, const QString &value,
               const QColor &accent) {
    Card(p, r, 7);
    Text(p, QRectF(r.left(), r.top() + 4, r.width(), 20), Qt::AlignCenter, caption,
         OpenSans(caption.size() > 6 ? 11 : 13, QFont::Bold), accent);
    const QRectF well(r.left() + 7, r.top() + 27, r.width() - 14, r.height() - 34);
    Well_(p, well, 4, QColor(0x23, 0x23, 0x23));
    Text(p, well, Qt::AlignCenter, value, OpenSans(18, QFont::DemiBold), Qt::white);
}

void Note(QPainter &p, qreal x, qreal y, int number, const QString &text, qreal width) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x33, 0x33, 0x33));
    p.drawEllipse(QPointF(x + 8, y + 9), 8, 8);
    Text(p, QRectF(x, y, 16, 18), Qt::AlignCenter, QString::number(number),
         OpenSans(10, QFont::Bold), TextLight);
    Text(p, QRectF(x + 24, y - 1, width - 24, 20), Qt::AlignLeft | Qt::AlignVCenter, text,
         OpenSans(12), TextGrey);
}

// A pass band drawn as a smooth bell whose half height is reached at cwl +- fwhm / 2.
QPainterPath BandPath(const std::function<QPointF(double, double)> &to, double cwl, double fwhm,
                      double from, double till) {
    QPainterPath path;
    const double sigma = fwhm / 2.3548;
    for (int i = 0; i <= 240; ++i) {
        const double nm = from + (till - from) * i / 240.0;
        const double v = std::exp(-0.5 * std::pow((nm - cwl) / sigma, 2));
        const QPointF pt = to(nm, v);
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    return path;
}

void FillBand(QPainter &p, const QPainterPath &curve, const QRectF &plot, double cwl) {
    QPainterPath area = curve;
    area.lineTo(curve.currentPosition().x(), plot.bottom());
    area.lineTo(curve.elementAt(0).x, plot.bottom());
    area.closeSubpath();
    QLinearGradient g(QPointF(0, plot.top()), QPointF(0, plot.bottom()));
    g.setColorAt(0, WithAlpha(Spectral(cwl), 140));
    g.setColorAt(1, WithAlpha(Spectral(cwl), 20));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPath(area);
    p.setPen(QPen(Spectral(cwl), 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(curve);
}

// Wavelength axis with an arrow and its unit past the right end.
void Axis(QPainter &p, const QRectF &plot) {
    p.setPen(QPen(QColor(0x55, 0x55, 0x55), 1));
    p.drawLine(QPointF(plot.left(), plot.bottom() + 0.5),
               QPointF(plot.right(), plot.bottom() + 0.5));
    p.drawLine(QPointF(plot.left() + 0.5, plot.top()), QPointF(plot.left() + 0.5, plot.bottom()));
    QPainterPath head;
    head.moveTo(plot.right() + 6, plot.bottom() + 0.5);
    head.lineTo(plot.right(), plot.bottom() - 2.5);
    head.lineTo(plot.right(), plot.bottom() + 3.5);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x55, 0x55, 0x55));
    p.drawPath(head);
    Text(p, QRectF(plot.right() + 9, plot.bottom() - 8, 30, 16), Qt::AlignLeft | Qt::AlignVCenter,
         QStringLiteral("nm"), OpenSans(11), TextDim);
}

void SetGraph(QPainter &p, const QRectF &plot) {
    const double from = 590, till = 610, cwl = 600, fwhm = 5;
    auto to = [&](double nm, double v) {
        return QPointF(plot.left() + (nm - from) / (till - from) * plot.width(),
                       plot.bottom() - v * (plot.height() - 14));
    };
    Axis(p, plot);
    FillBand(p, BandPath(to, cwl, fwhm, from, till), plot, cwl);
    const QFont small = OpenSans(11, QFont::Bold);
    // CWL at the peak.
    p.setPen(QPen(Yellow, 1, Qt::DashLine));
    p.drawLine(to(cwl, 1.08), QPointF(to(cwl, 0).x(), plot.bottom()));
    Text(p, QRectF(to(cwl, 1).x() - 60, plot.top() - 18, 120, 16), Qt::AlignCenter,
         QStringLiteral("CWL 600.0"), small, Yellow);
    // SW and LW at half height, FWHM between them.
    for (double edge : {cwl - fwhm / 2, cwl + fwhm / 2}) {
        p.setPen(QPen(Green, 1, Qt::DashLine));
        p.drawLine(to(edge, 0.5), QPointF(to(edge, 0).x(), plot.bottom()));
        Text(p, QRectF(to(edge, 0).x() - 40, plot.bottom() + 3, 80, 16), Qt::AlignCenter,
             edge < cwl ? QStringLiteral("SW 597.5") : QStringLiteral("LW 602.5"), small, Green);
    }
    const QPointF a = to(cwl - fwhm / 2, 0.5), b = to(cwl + fwhm / 2, 0.5);
    p.setPen(QPen(Yellow, 1.5));
    p.drawLine(a, b);
    QPainterPath heads;
    heads.moveTo(a);
    heads.lineTo(a + QPointF(6, -3.5));
    heads.lineTo(a + QPointF(6, 3.5));
    heads.closeSubpath();
    heads.moveTo(b);
    heads.lineTo(b + QPointF(-6, -3.5));
    heads.lineTo(b + QPointF(-6, 3.5));
    heads.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Yellow);
    p.drawPath(heads);
    Text(p, QRectF(b.x() + 8, a.y() - 9, 90, 18), Qt::AlignLeft | Qt::AlignVCenter,
         QStringLiteral("FWHM 5.0"), small, Yellow);
}

void ScanGraph(QPainter &p, const QRectF &plot) {
    const double from = 572, till = 618;
    auto to = [&](double nm, double v) {
        return QPointF(plot.left() + (nm - from) / (till - from) * plot.width(),
                       plot.bottom() - v * (plot.height() - 12));
    };
    Axis(p, plot);
    const QFont small = OpenSans(10, QFont::Bold);
    for (int i = 0; i < 4; ++i) {
        const double cwl = 580 + 10 * i;
        FillBand(p, BandPath(to, cwl, 5, cwl - 7, cwl + 7), plot, cwl);
        Text(p, QRectF(to(cwl, 0).x() - 30, plot.bottom() + 2, 60, 14), Qt::AlignCenter,
             QString::number(cwl, 'f', 0), small, TextGrey);
        Text(p, QRectF(to(cwl, 1).x() - 30, plot.top() - 16, 60, 14), Qt::AlignCenter,
             QStringLiteral("%1 s").arg(10), OpenSans(10), TextDim);
        if (i < 3) {
            const QPointF a = to(cwl + 2.4, 0.9), b = to(cwl + 7.6, 0.9);
            p.setPen(QPen(TextDim, 1, Qt::DotLine));
            p.drawLine(a, b - QPointF(5, 0));
            QPainterPath head;
            head.moveTo(b);
            head.lineTo(b + QPointF(-6, -3.5));
            head.lineTo(b + QPointF(-6, 3.5));
            head.closeSubpath();
            p.setPen(Qt::NoPen);
            p.setBrush(TextDim);
            p.drawPath(head);
        }
    }
}

void SectionHeading(QPainter &p, qreal y, const QString &tab, const QString &line) {
    p.setPen(Qt::NoPen);
    p.setBrush(Blue);
    p.drawRoundedRect(QRectF(56, y, 60, 22), 5, 5);
    Text(p, QRectF(56, y, 60, 22), Qt::AlignCenter, tab, OpenSans(12, QFont::Bold, 1.2), Qt::white);
    Text(p, QRectF(128, y - 1, 600, 24), Qt::AlignLeft | Qt::AlignVCenter, line,
         OpenSans(15, QFont::DemiBold), TextLight);
}

QImage HelpBase() {
    QImage img = Canvas(910, 426, Back);
    QPainter p(&img);
    Begin(p);
    PageCard(p, 426);

    // Upper half: the SET tab.
    SectionHeading(p, 16, QStringLiteral("SET"), QStringLiteral("Move Kestrune to one pass band"));
    MiniField(p, QRectF(56, 52, 92, 66), QStringLiteral("CWL"), QStringLiteral("600.0"), Yellow);
    MiniField(p, QRectF(154, 52, 92, 66), QStringLiteral("FWHM"), QStringLiteral("5.0"), Yellow);
    Text(p, QRectF(246, 52, 34, 66), Qt::AlignCenter, QStringLiteral("or"), OpenSans(13), TextDim);
    MiniField(p, QRectF(280, 52, 92, 66), QStringLiteral("SW"), QStringLiteral("597.5"), Green);
    MiniField(p, QRectF(378, 52, 92, 66), QStringLiteral("LW"), QStringLiteral("602.5"), Green);
    Note(p, 56, 130, 1, QStringLiteral("Enter either CWL and FWHM or SW and LW, in nm."), 430);
    Note(p, 56, 153, 2, QStringLiteral("Click Go after entering the values."), 430);
    Note(p, 56, 176, 3, QStringLiteral("Click Reset after an error to restart Kestrune."), 430);
    SetGraph(p, QRectF(520, 44, 310, 136));

    p.setPen(QPen(QColor(0x36, 0x36, 0x36), 1));
    p.drawLine(QPointF(56, 212.5), QPointF(854, 212.5));
    p.setPen(QPen(WithAlpha(Qt::black, 120), 1));
    p.drawLine(QPointF(56, 213.5), QPointF(854, 213.5));

    // Lower half: the SCAN tab.
    SectionHeading(p, 228, QStringLiteral("SCAN"),
                   QStringLiteral("Step Kestrune through a series of pass bands"));
    const struct {
        const char *caption, *value;
    } plan[] = {{"START", "580.0"},
                {"END", "610.0"},
                {"FWHM", "5.0"},
                {"STEP", "10.0"},
                {"Time delay", "10.0"}};
    for (int i = 0; i < 5; ++i)
        MiniField(p, QRectF(56 + i * 84, 264, 80, 66), QString::fromLatin1(plan[i].caption),
                  QString::fromLatin1(plan[i].value), TextLight);
    Note(p, 56, 342, 1, QStringLiteral("The CWL runs from START to END by STEP (nm)."), 440);
    Note(p, 56, 365, 2, QStringLiteral("FWHM stays fixed; each point is held Time delay (s)."),
         440);
    Note(p, 56, 388, 3, QStringLiteral("Click Go to start the scan, and Go again to stop it."),
         440);
    ScanGraph(p, QRectF(520, 270, 310, 100));
    Text(p, QRectF(500, 388, 360, 34), Qt::AlignCenter | Qt::TextWordWrap,
         QStringLiteral("Kestrune stays 10 s at every 10 nm step until it reaches 610 nm, "
                        "with the FWHM fixed at 5 nm."),
         OpenSans(11), TextGrey);
    return img;
}

struct Picture {
    const char *name;
    int width, height;
    std::function<QImage()> draw;
    // Set pixel by pixel at one size; the double-size copy doubles every pixel.
    bool pixelByPixel = false;
};

std::vector<Picture> Pictures() {
    return {
        {"logo", 64, 64, Logo64},
        {"title_base", 910, 60, TitleBase},
        {"title_minimise", 40, 40, TitleMinimise},
        {"title_close", 40, 40, TitleClose},
        {"slide_base", 120, 27, SlideBase},
        {"slide_button", 29, 29, SlideButton},
        {"tab_set_on", 140, 40, [] { return Tab(QStringLiteral("SET"), true); }},
        {"tab_set_off", 140, 40, [] { return Tab(QStringLiteral("SET"), false); }},
        {"tab_scan_on", 140, 40, [] { return Tab(QStringLiteral("SCAN"), true); }},
        {"tab_scan_off", 140, 40, [] { return Tab(QStringLiteral("SCAN"), false); }},
        {"tab_help_on", 140, 40, [] { return Tab(QStringLiteral("HELP"), true); }},
        {"tab_help_off", 140, 40, [] { return Tab(QStringLiteral("HELP"), false); }},
        {"tab_list_on", 140, 40, [] { return Tab(QStringLiteral("LIST"), true); }},
        {"tab_list_off", 140, 40, [] { return Tab(QStringLiteral("LIST"), false); }},
        {"message_base", 910, 70, MessageBase},
        {"set_base", 910, 242, SetBase},
        {"set_button1_on", 178, 60,
         [] { return ModeButton(QStringLiteral("CWL / FWHM"), Yellow, true); }},
        {"set_button1_off", 178, 60,
         [] { return ModeButton(QStringLiteral("CWL / FWHM"), Yellow, false); }},
        {"set_button2_on", 178, 60,
         [] { return ModeButton(QStringLiteral("SW / LW"), Green, true); }},
        {"set_button2_off", 178, 60,
         [] { return ModeButton(QStringLiteral("SW / LW"), Green, false); }},
        {"set_edit1_mode1", 176, 135,
         [] {
             return EditFrame(QStringLiteral("CWL"), QStringLiteral("centre wavelength (nm)"),
                              Yellow);
         }},
        {"set_edit2_mode1", 176, 135,
         [] {
             return EditFrame(QStringLiteral("FWHM"), QStringLiteral("full width at half max (nm)"),
                              Yellow);
         }},
        {"set_edit1_mode2", 176, 135,
         [] {
             return EditFrame(QStringLiteral("SW"), QStringLiteral("short-wave edge (nm)"), Green);
         }},
        {"set_edit2_mode2", 176, 135,
         [] {
             return EditFrame(QStringLiteral("LW"), QStringLiteral("long-wave edge (nm)"), Green);
         }},
        {"set_button3_on", 75, 135, [] { return ResetKey(true); }},
        {"set_button3_off", 75, 135, [] { return ResetKey(false); }},
        {"set_button4_on", 147, 135, [] { return GoKey(147, true); }},
        {"set_button4_off", 147, 135, [] { return GoKey(147, false); }},
        {"scan_base", 910, 242, ScanBase},
        {"scan_edit1", 119, 135,
         [] { return ScanCap(QStringLiteral("START"), QStringLiteral("(nm)")); }},
        {"scan_edit2", 119, 135,
         [] { return ScanCap(QStringLiteral("END"), QStringLiteral("(nm)")); }},
        {"scan_edit3", 119, 135,
         [] { return ScanCap(QStringLiteral("FWHM"), QStringLiteral("(nm)")); }},
        {"scan_edit4", 119, 135,
         [] { return ScanCap(QStringLiteral("STEP"), QStringLiteral("(nm)")); }},
        {"scan_edit5", 119, 135,
         [] { return ScanCap(QStringLiteral("Time delay"), QStringLiteral("(sec)")); }},
        {"scan_button3_on", 75, 135, [] { return ResetKey(true); }},
        {"scan_button3_off", 75, 135, [] { return ResetKey(false); }},
        {"scan_button4_on", 101, 135, [] { return GoKey(101, true); }},
        {"scan_button4_off", 101, 135, [] { return GoKey(101, false); }},
        {"scan_button4_stop", 101, 135, [] { return StopKey(101); }},
        {"list_base", 910, 242, ListBase},
        {"list_button3_on", 66, 135, [] { return ListKey(0, true); }},
        {"list_button3_off", 66, 135, [] { return ListKey(0, false); }},
        {"list_button4_on", 70, 135, [] { return ListKey(1, true); }},
        {"list_button4_off", 70, 135, [] { return ListKey(1, false); }},
        {"list_button5_on", 70, 135, [] { return ListKey(2, true); }},
        {"list_button5_off", 70, 135, [] { return ListKey(2, false); }},
        {"list_button6_on", 70, 135, [] { return ListKey(3, true); }},
        {"list_button6_off", 70, 135, [] { return ListKey(3, false); }},
        {"list_add", 48, 36, [] { return SmallKey(QStringLiteral("Add")); }},
        {"list_remove", 48, 36, [] { return SmallKey(QStringLiteral("Del")); }},
        {"list_load", 48, 36, [] { return SmallKey(QStringLiteral("Load")); }},
        {"list_save", 48, 36, [] { return SmallKey(QStringLiteral("Save")); }},
        {"view_base", 910, 170, ViewBase},
        {"view_edit3_base", 182, 46, ViewBoxCWL},
        {"view_edit4_base", 103, 46, ViewBoxSW},
        {"view_edit5_base", 103, 46, ViewBoxLW},
        {"view_pos_range", 20, 33, PosRange, true},
        {"view_pos_cwl", 8, 33, PosCWL, true},
        {"view_pos_sw", 8, 33, PosSW, true},
        {"view_pos_lw", 8, 33, PosLW, true},
        {"help_base", 910, 426, HelpBase},
    };
}

} // namespace

int main(int argc, char **argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: artworkgen <output folder> <font folder>\n");
        return 2;
    }
    const QDir fonts(args.at(2));
    for (const char *file :
         {"OpenSans-Regular.ttf", "OpenSans-Semibold.ttf", "OpenSans-Bold.ttf"}) {
        if (QFontDatabase::addApplicationFont(fonts.filePath(QString::fromLatin1(file))) < 0) {
            std::fprintf(stderr, "artworkgen: cannot load %s\n", file);
            return 1;
        }
    }
    const QDir out(args.at(1));
    if (!out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "artworkgen: cannot create the output folder\n");
        return 1;
    }
    for (const int scale : {1, 2}) {
        for (const Picture &pic : Pictures()) {
            Scale = pic.pixelByPixel ? 1 : scale;
            QImage img = pic.draw();
            if (img.width() != pic.width * Scale || img.height() != pic.height * Scale) {
                std::fprintf(stderr, "artworkgen: %s is %dx%d, not %dx%d\n", pic.name, img.width(),
                             img.height(), pic.width * Scale, pic.height * Scale);
                return 1;
            }
            if (Scale != scale)
                img = img.scaled(img.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
            const QString suffix = scale == 1 ? QStringLiteral(".png") : QStringLiteral("@2x.png");
            const QString path = out.filePath(QString::fromLatin1(pic.name) + suffix);
            if (!img.save(path)) {
                std::fprintf(stderr, "artworkgen: cannot write %s\n", qPrintable(path));
                return 1;
            }
        }
    }
    return 0;
}
