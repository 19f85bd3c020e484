// "NumberBaseControl": the calculator's digit count display and number-base list. Choosing a base from the list
// reports it, also when it is the base already chosen (the caller ignores an unchanged base).
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QWidget>
#include <cstdint>
#include <functional>

enum NumberBaseStyle : uint32_t {
    kNumberBaseWide = 1,  // 180 x 47, label and list side by side; otherwise 98 x 85, stacked
    kNumberBaseOffer2 = 2,
    kNumberBaseOffer8 = 4,
};

class NumberBaseControl : public QWidget {
    Q_OBJECT
  public:
    NumberBaseControl(QWidget* parent, uint32_t style);
    QLabel* digit_label;
    QLabel* digit_count;
    QLabel* base_label;
    QComboBox* base_list;
    std::function<void(int base)> on_change;
};

NumberBaseControl* create_number_base_control(QWidget* parent, int x, int y, uint32_t style);
// Sets the labels from the string table (slots 132 "Digits" and 133 "Base").
void number_base_set_labels(NumberBaseControl* control);
void number_base_select_10(NumberBaseControl* control);
// Shows the digit count as "%d ".
void number_base_set_digit_count(NumberBaseControl* control, int count);
// The base chosen in the list, 0 when none is.
int number_base_selected(const NumberBaseControl* control);
