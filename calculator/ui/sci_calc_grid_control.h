// "SciCalcGridControl": the calculator's keypad panel, a fixed 370 x 250 child window at the bottom of the
// calculator window. It carries the mode controls (number-type slider, precision, angle slider, number base), the
// three indicators and the 72 keys at fixed pixel positions. Keys draw their labels in the colour of their kind; the
// label under each slider's thumb is drawn in dark red. The panel only shows; the calculator window connects it to
// the engine.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QWidget>
#include <cstdint>

#include "calculator/keypad_table.h"
#include "platform/number_base_control.h"
#include "platform/numeric_up_down_control.h"

inline constexpr int kPanelWidth = 370;
inline constexpr int kPanelHeight = 250;
// Slider positions are the identifiers of the labels above them.
inline constexpr int kTypeSliderFirst = 300000;   // uint, rat, real, cplx
inline constexpr int kAngleSliderFirst = 200000;  // deg, rad, gon
inline constexpr int kPrecisionMin = 5;
inline constexpr int kPrecisionMax = 10000;

// A keypad key: a push button whose enabled label is drawn in its category's colour, in one line, inside the key
// shrunk by 3 pixels left and right. Disabled keys are drawn greyed by the style.
class CalcKey : public QPushButton {
  public:
    explicit CalcKey(QWidget* parent);
    uint8_t category = kKeyEmpty;
    Qt::Alignment alignment = Qt::AlignHCenter;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

class SciCalcGridControl : public QWidget {
  public:
    explicit SciCalcGridControl(QWidget* parent);
    QSlider* type_slider;
    QLabel* type_labels[4];
    QLabel* precision_label;
    NumericUpDownControl* precision;
    QSlider* angle_slider;
    QLabel* angle_labels[3];
    CalcKey* keys[kKeypadCells];
    QLabel* paren_indicator;
    QLabel* register_indicator;
    QLabel* inexact_indicator;
    NumberBaseControl* base_control;
};

// The panel with every child at its place; the base control lists 2, 8, 10 and 16 with 10 chosen, the precision
// control has the range 5..10000.
SciCalcGridControl* create_sci_calc_grid(QWidget* parent, int x, int y);

// Gives every key its label (the older labels below os_version 0x0600), command-driven enabling, category and font
// for the number type; shows the precision and angle controls for every type but unsigned integers and the
// number-base control only for them.
void sci_calc_label_keys(SciCalcGridControl* panel, uint32_t number_type, uint32_t os_version);

// Draws the label under each slider's thumb (also while it is dragged) in dark red and the others normally.
void sci_calc_mark_slider_labels(SciCalcGridControl* panel);

// Slider positions and what they stand for; an unknown type or unit gives the real type or degrees.
uint32_t number_type_at(int position);
int number_type_position(uint32_t number_type);
uint32_t angle_unit_at(int position);
int angle_unit_position(uint32_t angle_unit);
