#include "console/formcontrolview.h"

#include "core/numbers.h"
#include "resources/consolewidgets.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace {

const QColor Background{0x16, 0x16, 0x16};
const QColor RangeText{0xa4, 0xa4, 0xa4};
const QColor CWLText{0xff, 0xff, 0x00};
const QColor EdgeText{0x00, 0xff, 0x00};

// Lefts of the rest placement: the boxes and markers around the bar's middle.
constexpr int RestEdit3 = 364;
constexpr int RestEdit4 = 351;
constexpr int RestEdit5 = 457;
// The least room between the SW and the LW box.
constexpr int EdgeBoxGap = 4;

// trunc toward zero. A pixel beyond any screen (or not a number, from a range without width) is
// held to a finite left, so that placing a box never overflows an int.
int TruncPixel(double x) {
    constexpr double Limit = 1.0e6;
    if (std::isnan(x))
        return 0;
    return static_cast<int>(std::trunc(std::clamp(x, -Limit, Limit)));
}

} // namespace

TForm_ControlView::TForm_ControlView(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form_ControlView"));
    setFixedSize(910, 170);
    Panel_Base = NewPanel(this, QStringLiteral("Panel_Base"), QRect(0, 0, 910, 170), Background);

    // Created in drawing order: later components lie on top.
    Image_Base = new TPicture(Panel_Base, QStringLiteral("Image_Base"), QStringLiteral("view_base"),
                              QRect(0, 0, 910, 170));
    Label_RangeMin = NewLabel(Panel_Base, QStringLiteral("Label_RangeMin"), QRect(60, 70, 72, 32),
                              21, RangeText, Qt::black);
    Label_RangeMax = NewLabel(Panel_Base, QStringLiteral("Label_RangeMax"), QRect(780, 70, 72, 32),
                              21, RangeText, Qt::black);
    Image_Edit4_Base = new TPicture(Panel_Base, QStringLiteral("Image_Edit4_Base"),
                                    QStringLiteral("view_edit4_base"), QRect(351, 108, 103, 46));
    Image_Edit5_Base = new TPicture(Panel_Base, QStringLiteral("Image_Edit5_Base"),
                                    QStringLiteral("view_edit5_base"), QRect(457, 108, 103, 46));
    Label_Edit4 = NewLabel(Panel_Base, QStringLiteral("Label_Edit4"), QRect(360, 129, 56, 22), 16,
                           EdgeText, Qt::black);
    Label_Edit5 = NewLabel(Panel_Base, QStringLiteral("Label_Edit5"), QRect(495, 129, 56, 22), 16,
                           EdgeText, Qt::black);
    Image_Edit3_Base = new TPicture(Panel_Base, QStringLiteral("Image_Edit3_Base"),
                                    QStringLiteral("view_edit3_base"), QRect(364, 16, 182, 46));
    Label_Edit3 = NewLabel(Panel_Base, QStringLiteral("Label_Edit3"), QRect(412, 19, 56, 22), 16,
                           CWLText, Qt::black);
    Label_Edit6 = NewLabel(Panel_Base, QStringLiteral("Label_Edit6"), QRect(468, 19, 72, 22), 16,
                           CWLText, Qt::black);
    Image_Pos_Range = new TPicture(Panel_Base, QStringLiteral("Image_Pos_Range"),
                                   QStringLiteral("view_pos_range"), QRect(444, 68, 20, 33));
    Image_Pos_Range->setScaledContents(true);
    Image_Pos_CWL = new TPicture(Panel_Base, QStringLiteral("Image_Pos_CWL"),
                                 QStringLiteral("view_pos_cwl"), QRect(451, 68, 8, 33));
    Image_Pos_SW = new TPicture(Panel_Base, QStringLiteral("Image_Pos_SW"),
                                QStringLiteral("view_pos_sw"), QRect(442, 68, 8, 33));
    Image_Pos_LW = new TPicture(Panel_Base, QStringLiteral("Image_Pos_LW"),
                                QStringLiteral("view_pos_lw"), QRect(460, 68, 8, 33));

    ClearView();
}

double TForm_ControlView::MapLinear(double x0, double y0, double x1, double y1, double x) {
    const double dy = y1 - y0;
    const double dx = x1 - x0;
    return y0 + (x - x0) * dy / dx;
}

double TForm_ControlView::WavelengthToPixel(double rangeMin, double rangeMax, double x) {
    const double mid = RoundTo((rangeMin + rangeMax) * 0.5, -1);
    if (x < mid)
        return MapLinear(rangeMin, PixelStart, mid, PixelCentre, x);
    if (x > mid)
        return MapLinear(mid, PixelCentre, rangeMax, PixelEnd - 1, x);
    return PixelCentre;
}

void TForm_ControlView::ClearView() {
    Label_RangeMin->clear();
    Label_RangeMax->clear();
    EmptyValueLabels();
    ApplyRestPlacement();
    QCoreApplication::processEvents();
}

void TForm_ControlView::ShowRange(double rangeMin, double rangeMax) {
    SetRangeLabels(rangeMin, rangeMax);
    EmptyValueLabels();
    ApplyRestPlacement();
    QCoreApplication::processEvents();
}

void TForm_ControlView::ShowSetPoint(double rangeMin, double rangeMax, double CWL, double FWHM,
                                     double SW, double LW) {
    SetRangeLabels(rangeMin, rangeMax);
    Label_Edit3->setText(FormatFloat(QStringLiteral("0.00"), CWL));
    Label_Edit4->setText(FormatFloat(QStringLiteral("0.00"), SW));
    Label_Edit5->setText(FormatFloat(QStringLiteral("0.00"), LW));
    Label_Edit6->setText(QStringLiteral("[ ") + FormatFloat(QStringLiteral("0.00"), FWHM) +
                         QStringLiteral(" ]"));

    // The offsets put each box's triangle over its marker: the CWL triangle at the box's middle,
    // the SW triangle near its right end, the LW triangle near its left end.
    const int edit3 = TruncPixel(WavelengthToPixel(rangeMin, rangeMax, CWL) - 90);
    SetLeft(Image_Edit3_Base, edit3);
    SetLeft(Label_Edit3, edit3 + 48);
    SetLeft(Label_Edit6, edit3 + 104);
    const int sw = TruncPixel(WavelengthToPixel(rangeMin, rangeMax, SW) - 93);
    const int lw = TruncPixel(WavelengthToPixel(rangeMin, rangeMax, LW) - 7);
    // A narrow band would put the SW box over the LW box: they part around the band, and only
    // the markers stay on the edges' pixels.
    const int overlap = sw + Image_Edit4_Base->width() + EdgeBoxGap - lw;
    const int edit4 = overlap > 0 ? sw - (overlap + 1) / 2 : sw;
    const int edit5 = overlap > 0 ? lw + overlap / 2 : lw;
    SetLeft(Image_Edit4_Base, edit4);
    SetLeft(Label_Edit4, edit4 + 9);
    SetLeft(Image_Edit5_Base, edit5);
    SetLeft(Label_Edit5, edit5 + 38);
    SetLeft(Image_Pos_CWL, edit3 + 87);
    SetLeft(Image_Pos_SW, sw + 91);
    SetLeft(Image_Pos_LW, lw + 3);
    PlaceBand();
    QCoreApplication::processEvents();
}

void TForm_ControlView::SetRangeLabels(double rangeMin, double rangeMax) {
    Label_RangeMin->setText(FormatFloat(QStringLiteral("0.0"), rangeMin));
    Label_RangeMax->setText(FormatFloat(QStringLiteral("0.0"), rangeMax));
}

void TForm_ControlView::EmptyValueLabels() {
    Label_Edit3->clear();
    Label_Edit4->clear();
    Label_Edit5->clear();
    Label_Edit6->clear();
}

void TForm_ControlView::ApplyRestPlacement() {
    SetLeft(Image_Edit3_Base, RestEdit3);
    SetLeft(Label_Edit3, RestEdit3 + 48);
    SetLeft(Label_Edit6, RestEdit3 + 104);
    SetLeft(Image_Edit4_Base, RestEdit4);
    SetLeft(Label_Edit4, RestEdit4 + 9);
    SetLeft(Image_Edit5_Base, RestEdit5);
    SetLeft(Label_Edit5, RestEdit5 + 38);
    SetLeft(Image_Pos_CWL, RestEdit3 + 87);
    SetLeft(Image_Pos_SW, RestEdit4 + 91);
    SetLeft(Image_Pos_LW, RestEdit5 + 3);
    PlaceBand();
}

// The band runs from the SW marker's left to the LW marker's right.
void TForm_ControlView::PlaceBand() {
    const int left = Image_Pos_SW->x();
    const int right = Image_Pos_LW->x() + Image_Pos_LW->width();
    Image_Pos_Range->setGeometry(left, Image_Pos_Range->y(), right - left,
                                 Image_Pos_Range->height());
}

void TForm_ControlView::SetLeft(QWidget *widget, int left) {
    widget->move(left, widget->y());
}
