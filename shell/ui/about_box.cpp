#include "shell/ui/about_box.h"

#include <QPainter>
#include <string>

#include "platform/control.h"
#include "platform/ui_globals.h"
#include "shell/string_table.h"
#include "shell/ui/app_windows.h"
#include "shell/ui/help.h"

AboutBox about_box{};

namespace {

constexpr int kWidth = 375;
constexpr int kHeight = 250;

// The slot's text with the program name for "%s".
QString with_program_name(int slot) {
    QString text = to_qstring(string_table.text[slot]);
    const qsizetype at = text.indexOf("%s");
    if (at >= 0) text.replace(at, 2, to_qstring(kProgramName));
    return text;
}

}  // namespace

Form* create_about_box() {
    AboutBox& a = about_box;
    a.form = create_form(
        kWidth, kHeight, to_u16(with_program_name(93)),
        [](QWidget* form, QEvent* event, bool&) {
            if (event->type() == QEvent::Paint) {
                QPainter painter(form);
                paint_app_icon(painter, 15, 13, 48);
            }
        },
        kFormCaptionOnly);
    QObject::connect(a.form, &QObject::destroyed, [] { about_box = {}; });

    const std::u16string name = std::u16string(kProgramName) + u" " + kProgramVersion;
    a.name_line = create_label(a.form, 80, 25, 250, 40, name);
    QFont name_font("Verdana");
    name_font.setPixelSize(19);
    name_font.setWeight(QFont::Normal);
    a.name_line->setFont(name_font);

    a.text = create_label(a.form, 15, 75, 350, 180, u"");
    a.text->setText(with_program_name(94));
    a.legal = create_label(a.form, 0, 170, kWidth, 50, u"");
    a.legal->setText(to_qstring(string_table.text[95]) + '\n' + to_qstring(string_table.text[96]));
    a.legal->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    a.contact = create_button(a.form, 10, kHeight - 33, 75, 25, string_table.text[97]);
    a.donate = create_button(a.form, 150, kHeight - 33, 75, 25, string_table.text[98]);
    a.ok = create_button(a.form, 290, kHeight - 33, 75, 25, string_table.text[0]);
    set_default_button(a.form, a.ok);
    // The box opens with the focus on OK, so that Enter closes it.
    a.form->last_focused = a.ok;
    QObject::connect(a.contact, &QPushButton::clicked, [] { show_help(u"ContactDetails.html"); });
    QObject::connect(a.donate, &QPushButton::clicked, [] { show_help(u"AuthorDonation.html"); });
    QObject::connect(a.ok, &QPushButton::clicked, [] { about_box.form->hide(); });
    return a.form;
}
