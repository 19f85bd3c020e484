#include "platform/number_base_control.h"

#include "platform/control.h"
#include "platform/ui_globals.h"
#include "shell/string_table.h"

NumberBaseControl::NumberBaseControl(QWidget* parent, uint32_t style) : QWidget(parent) {
    setObjectName("NumberBaseControl");
    const bool wide = (style & kNumberBaseWide) != 0;
    resize(wide ? 180 : 98, wide ? 47 : 85);
    digit_label = create_label(this, 5, 5, 40, 21, u"");
    digit_count = create_label(this, 47, 4, 40, 20, u"");
    digit_count->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    digit_count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    digit_count->setWordWrap(false);
    number_base_set_digit_count(this, 0);
    base_label = wide ? create_label(this, 105, 5, 30, 21, u"") : create_label(this, 5, 33, 30, 21, u"");
    // 46 pixels rather than 40: the drop-down arrow of Qt's styles is wider than the native one, and "16" must fit.
    base_list = wide ? create_combo(this, 134, 1, 46, 22) : create_combo(this, 47, 29, 46, 22);
    base_list->setMaxVisibleItems(5);
    if ((style & kNumberBaseOffer2) != 0) base_list->addItem("2");
    if ((style & kNumberBaseOffer8) != 0) base_list->addItem("8");
    base_list->addItem("10");
    base_list->addItem("16");
    // activated fires for every choice made by the user, also for the base already chosen.
    connect(base_list, &QComboBox::activated, this, [this](int) {
        const int base = number_base_selected(this);
        if (base != 0 && on_change) on_change(base);
    });
}

NumberBaseControl* create_number_base_control(QWidget* parent, int x, int y, uint32_t style) {
    auto* control = new NumberBaseControl(parent, style);
    control->move(x, y);
    control->setFont(ui_font());
    control->show();
    return control;
}

void number_base_set_labels(NumberBaseControl* control) {
    control->digit_label->setText(to_qstring(string_table.text[132]));
    control->base_label->setText(to_qstring(string_table.text[133]));
}

void number_base_select_10(NumberBaseControl* control) {
    control->base_list->setCurrentIndex(control->base_list->findText("10"));
}

void number_base_set_digit_count(NumberBaseControl* control, int count) {
    control->digit_count->setText(QString::number(count) + ' ');
}

int number_base_selected(const NumberBaseControl* control) {
    bool ok = false;
    const int base = control->base_list->currentText().toInt(&ok, 10);
    return ok ? base : 0;
}
