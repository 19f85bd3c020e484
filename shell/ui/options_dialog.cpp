#include "shell/ui/options_dialog.h"

#include "platform/control.h"
#include "platform/group_box.h"
#include "platform/ui_globals.h"
#include "shell/string_table.h"
#include "shell/ui/message_box.h"
#include "shell/ui/options_model.h"

OptionsDialog options_dialog{};

namespace {

const char16_t* slot(int index) {
    return string_table.text[index];
}

// An automatic radio button refuses to be unchecked while it is its group's checked one.
void set_radio(QRadioButton* radio, bool checked) {
    const bool exclusive = radio->autoExclusive();
    radio->setAutoExclusive(false);
    radio->setChecked(checked);
    radio->setAutoExclusive(exclusive);
}

}  // namespace

Form* create_options_dialog() {
    OptionsDialog& d = options_dialog;
    d.form = create_form(362, 330, slot(45), [](QWidget*, QEvent* event, bool&) {
        if (event->type() == QEvent::WindowActivate) options_load_controls();
    });
    QObject::connect(d.form, &QObject::destroyed, [] { options_dialog = {}; });

    d.tabs = create_tab_control(d.form, 5, 8, 350, 280);
    d.numbers_page = create_tab_page(d.tabs, slot(46));
    QGroupBox* separator = create_group_box(d.numbers_page, 5, 5, 165, 65, slot(47));
    d.point = create_radio(separator, 8, 20, 100, 20, slot(48));
    d.comma = create_radio(separator, 8, 40, 100, 20, slot(49));
    QGroupBox* grouping = create_group_box(d.numbers_page, 5, 80, 165, 127, slot(50));
    create_label(grouping, 8, 20, 100, 20, slot(51));
    d.sep_sci_calc = create_check(grouping, 8, 40, 140, 20, slot(52));
    d.sep_equations = create_check(grouping, 8, 60, 140, 20, slot(53));
    d.sep_algebra = create_check(grouping, 8, 80, 140, 20, slot(54));

    d.language_page = create_tab_page(d.tabs, slot(55));
    QGroupBox* language = create_group_box(d.language_page, 5, 5, 165, 87, slot(56));
    d.automatic = create_radio(language, 8, 20, 140, 20, slot(57));
    d.english = create_radio(language, 8, 40, 140, 20, slot(58));
    d.german = create_radio(language, 8, 60, 140, 20, slot(59));

    d.ok = create_button(d.form, 5, 330 - 33, 75, 25, slot(0));
    d.cancel = create_button(d.form, 362 - 84, 330 - 33, 75, 25, slot(1));
    set_default_button(d.form, d.ok);
    QObject::connect(d.ok, &QPushButton::clicked, d.form, [] { options_accept(); });
    QObject::connect(d.cancel, &QPushButton::clicked, d.form, [] { options_dialog.form->hide(); });
    options_load_controls();
    return d.form;
}

void options_load_controls() {
    const OptionsDialog& d = options_dialog;
    if (d.form == nullptr) return;
    const OptionsChoice c = options_choice_from(settings);
    set_radio(d.point, c.point);
    set_radio(d.comma, c.comma);
    d.sep_sci_calc->setChecked(c.sep_sci_calc);
    d.sep_equations->setChecked(c.sep_equations);
    d.sep_algebra->setChecked(c.sep_algebra);
    set_radio(d.automatic, c.automatic);
    set_radio(d.english, c.english);
    set_radio(d.german, c.german);
}

void options_accept() {
    const OptionsDialog& d = options_dialog;
    if (d.form == nullptr) return;
    const OptionsChoice choice{
        .point = d.point->isChecked(),
        .comma = d.comma->isChecked(),
        .sep_sci_calc = d.sep_sci_calc->isChecked(),
        .sep_equations = d.sep_equations->isChecked(),
        .sep_algebra = d.sep_algebra->isChecked(),
        .automatic = d.automatic->isChecked(),
        .english = d.english->isChecked(),
        .german = d.german->isChecked(),
    };
    const OptionsOutcome outcome = options_store(choice, settings);
    if (outcome.changed) settings_changed = true;
    if (outcome.decimal_point_changed) apply_decimal_point(settings.decimal_point);
    // The running program keeps its language; the new one is read at the next start.
    if (outcome.language_changed) show_information_box(d.form, slot(60), slot(61));
    d.form->hide();
}
