// "NumberTypeControl": a drop-down list of the number types; each item carries its NumberType code.
#pragma once

#include <QComboBox>
#include <QWidget>
#include <cstdint>

enum NumberTypeStyle : uint32_t {
    kOfferRational = 1,
    kOfferReal = 2,
    kOfferComplex = 4,
    kOfferAllTypes = 7,
};

class NumberTypeControl : public QWidget {
    Q_OBJECT
  public:
    NumberTypeControl(QWidget* parent, uint32_t style);
    QComboBox* type_list;
};

// At (x, 29), 70 x 23; texts from the string table (slots 134..136).
NumberTypeControl* create_number_type_control(QWidget* parent, int x, uint32_t style = kOfferAllTypes);
void number_type_select_real(NumberTypeControl* control);
// The NumberType code of the chosen item (rational 2, real 1, complex 3), 0 when none is chosen.
uint32_t number_type_selected(const NumberTypeControl* control);
