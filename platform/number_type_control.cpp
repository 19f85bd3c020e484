#include "platform/number_type_control.h"

#include "numeric/num_context.h"
#include "platform/control.h"
#include "platform/ui_globals.h"
#include "shell/string_table.h"

NumberTypeControl::NumberTypeControl(QWidget* parent, uint32_t style) : QWidget(parent) {
    setObjectName("NumberTypeControl");
    resize(70, 23);
    type_list = create_combo(this, 0, 0, 70, 23);
    struct Offer {
        uint32_t bit;
        int slot;
        uint32_t type;
    };
    const Offer offers[] = {
        {kOfferRational, 134, kTypeRational}, {kOfferReal, 135, kTypeReal}, {kOfferComplex, 136, kTypeComplex}};
    for (const Offer& o : offers) {
        if ((style & o.bit) != 0) type_list->addItem(to_qstring(string_table.text[o.slot]), o.type);
    }
}

NumberTypeControl* create_number_type_control(QWidget* parent, int x, uint32_t style) {
    auto* control = new NumberTypeControl(parent, style);
    control->move(x, 29);
    control->setFont(ui_font());
    control->show();
    return control;
}

void number_type_select_real(NumberTypeControl* control) {
    control->type_list->setCurrentIndex(control->type_list->findData(kTypeReal));
}

uint32_t number_type_selected(const NumberTypeControl* control) {
    const QVariant data = control->type_list->currentData();
    return data.isValid() ? data.toUInt() : 0;
}
