#include "calculator/ui/sci_calc_grid_control.h"

#include <QStyleOptionButton>
#include <QStylePainter>

#include "numeric/num_context.h"
#include "platform/control.h"
#include "platform/ui_globals.h"
#include "shell/string_table.h"

namespace {

constexpr int kKeyWidth = 38;
constexpr int kKeyHeight = 25;
constexpr QColor kMarkedLabel(139, 0, 0);

// The number types in slider order.
constexpr uint32_t kSliderTypes[4] = {kTypeUnsigned, kTypeRational, kTypeReal, kTypeComplex};

QFont key_font(bool monospace) {
    QFont font;
    font.setFamilies(monospace ? QStringList{"Consolas", "DejaVu Sans Mono"} : QStringList{"Verdana", "DejaVu Sans"});
    font.setStyleHint(monospace ? QFont::Monospace : QFont::SansSerif);
    font.setPixelSize(11);
    font.setWeight(QFont::Normal);
    return font;
}

QSlider* create_slider(QWidget* parent, int x, int y, int width, int height, int first, int count) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setGeometry(x, y, width, height);
    slider->setRange(first, first + count - 1);
    slider->setSingleStep(1);
    slider->setPageStep(1);
    slider->setTickPosition(QSlider::NoTicks);
    slider->setFocusPolicy(Qt::StrongFocus);
    attach_control(slider);
    slider->show();
    return slider;
}

QLabel* create_slider_label(QWidget* parent, int id, int x, int width, std::u16string_view text) {
    QLabel* label = create_label(parent, x, 0, width, 15, text);
    label->setObjectName(QString::number(id));
    label->setWordWrap(false);
    // The labels stand close together above the slider positions; a condensed face keeps wide dialog fonts apart.
    QFont font = label->font();
    font.setStretch(QFont::SemiCondensed);
    label->setFont(font);
    return label;
}

void mark_labels(const QSlider* slider, QLabel* const* labels, int count, int first) {
    for (int i = 0; i < count; ++i) {
        QPalette palette = labels[i]->parentWidget()->palette();
        if (slider->sliderPosition() == first + i) palette.setColor(QPalette::WindowText, kMarkedLabel);
        labels[i]->setPalette(palette);
    }
}

}  // namespace

CalcKey::CalcKey(QWidget* parent) : QPushButton(parent) {}

void CalcKey::paintEvent(QPaintEvent* event) {
    if (!isEnabled()) {
        QPushButton::paintEvent(event);
        return;
    }
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    painter.setPen(QColor::fromRgb(keypad_category_colour(category)));
    painter.drawText(rect().adjusted(3, 0, -3, 0), static_cast<int>(alignment | Qt::AlignVCenter | Qt::TextSingleLine),
                     text());
}

SciCalcGridControl::SciCalcGridControl(QWidget* parent) : QWidget(parent) {
    setObjectName("SciCalcGridControl");
    setFont(ui_font());
    resize(kPanelWidth, kPanelHeight);

    type_slider = create_slider(this, 19, 15, 70, 21, kTypeSliderFirst, 4);
    type_labels[0] = create_slider_label(this, kTypeSliderFirst, 11, 22, u"uint");
    type_labels[1] = create_slider_label(this, kTypeSliderFirst + 1, 36, 22, string_table.text[20]);
    type_labels[2] = create_slider_label(this, kTypeSliderFirst + 2, 54, 22, string_table.text[19]);
    type_labels[3] = create_slider_label(this, kTypeSliderFirst + 3, 81, 25, string_table.text[21]);

    precision_label = create_label(this, 115, 0, 70, 20, string_table.text[18]);
    precision = create_numeric_up_down(this, 115, 16, 65, 19);
    numeric_up_down_set_min(precision, kPrecisionMin);
    numeric_up_down_set_max(precision, kPrecisionMax);

    angle_slider = create_slider(this, 203, 15, 55, 21, kAngleSliderFirst, 3);
    angle_labels[0] = create_slider_label(this, kAngleSliderFirst, 195, 20, u"deg");
    angle_labels[1] = create_slider_label(this, kAngleSliderFirst + 1, 220, 20, u"rad");
    angle_labels[2] = create_slider_label(this, kAngleSliderFirst + 2, 243, 22, u"gon");

    for (int cell = 0; cell < kKeypadCells; ++cell) {
        const int row = cell / kKeypadColumns;
        const int column = cell % kKeypadColumns;
        auto* key = new CalcKey(this);
        key->setObjectName(QString::number(100000 + cell));
        key->setAutoDefault(false);
        key->setFocusPolicy(Qt::StrongFocus);
        key->setGeometry(10 + 39 * column, 38 + 26 * row, kKeyWidth, kKeyHeight);
        attach_control(key);
        key->setFont(key_font(false));
        key->show();
        keys[cell] = key;
    }

    paren_indicator = create_label(this, 300, 0, 20, 20, u"");
    register_indicator = create_label(this, 300, 17, 40, 20, u"");
    inexact_indicator = create_label(this, 325, 0, 40, 20, u"[ ]");
    inexact_indicator->hide();

    base_control = create_number_base_control(this, 110, 5, kNumberBaseWide | kNumberBaseOffer2 | kNumberBaseOffer8);
    number_base_set_labels(base_control);
    number_base_select_10(base_control);
}

SciCalcGridControl* create_sci_calc_grid(QWidget* parent, int x, int y) {
    auto* panel = new SciCalcGridControl(parent);
    panel->move(x, y);
    panel->show();
    return panel;
}

void sci_calc_label_keys(SciCalcGridControl* panel, uint32_t number_type, uint32_t os_version) {
    for (int cell = 0; cell < kKeypadCells; ++cell) {
        const KeypadKey key = keypad_key(cell, number_type);
        const char16_t* label = keypad_label(key, os_version);
        CalcKey* button = panel->keys[cell];
        button->setText(label != nullptr ? to_qstring(label) : QString());
        button->category = key.category;
        button->setEnabled(key.command != kCmdNone);
        button->setFont(key_font(key.command == kCmdPi));
    }
    const bool integers = number_type == kTypeUnsigned;
    panel->precision_label->setVisible(!integers);
    panel->precision->setVisible(!integers);
    panel->angle_slider->setVisible(!integers);
    for (QLabel* label : panel->angle_labels) label->setVisible(!integers);
    panel->base_control->setVisible(integers);
}

void sci_calc_mark_slider_labels(SciCalcGridControl* panel) {
    mark_labels(panel->type_slider, panel->type_labels, 4, kTypeSliderFirst);
    mark_labels(panel->angle_slider, panel->angle_labels, 3, kAngleSliderFirst);
}

uint32_t number_type_at(int position) {
    const int i = position - kTypeSliderFirst;
    return i >= 0 && i < 4 ? kSliderTypes[i] : kTypeReal;
}

int number_type_position(uint32_t number_type) {
    for (int i = 0; i < 4; ++i) {
        if (kSliderTypes[i] == number_type) return kTypeSliderFirst + i;
    }
    return number_type_position(kTypeReal);
}

uint32_t angle_unit_at(int position) {
    const int i = position - kAngleSliderFirst;
    return i >= 0 && i < 3 ? static_cast<uint32_t>(i + 1) : 1u;
}

int angle_unit_position(uint32_t angle_unit) {
    return angle_unit >= 1 && angle_unit <= 3 ? kAngleSliderFirst + static_cast<int>(angle_unit) - 1
                                              : kAngleSliderFirst;
}
