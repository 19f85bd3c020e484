#include "shell/ui/options_model.h"

#include "numeric/num_context.h"

OptionsChoice options_choice_from(const Settings& s) {
    return {
        .point = s.decimal_point == 0,
        .comma = s.decimal_point == 1,
        .sep_sci_calc = s.thousands_sep_sci_calc == 1,
        .sep_equations = s.thousands_sep_equations == 1,
        .sep_algebra = s.thousands_sep_algebra == 1,
        .automatic = s.language == kLanguageAutomatic,
        .english = s.language == kLanguageEnglish,
        .german = s.language == kLanguageGerman,
    };
}

namespace {

template <typename T>
bool store(T& field, T value) {
    if (field == value) return false;
    field = value;
    return true;
}

}  // namespace

OptionsOutcome options_store(const OptionsChoice& c, Settings& s) {
    OptionsOutcome out{};
    const uint32_t decimal_point = c.point ? 0 : (c.comma ? 1 : 0);
    out.decimal_point_changed = store(s.decimal_point, decimal_point);
    const bool grouping_changed = store(s.thousands_sep_sci_calc, uint8_t{c.sep_sci_calc}) |
                                  store(s.thousands_sep_equations, uint8_t{c.sep_equations}) |
                                  store(s.thousands_sep_algebra, uint8_t{c.sep_algebra});
    const uint32_t language = c.english ? kLanguageEnglish : (c.german ? kLanguageGerman : kLanguageAutomatic);
    out.language_changed = store(s.language, language);
    out.changed = out.decimal_point_changed || grouping_changed || out.language_changed;
    return out;
}

void apply_decimal_point(uint32_t decimal_point) {
    const bool comma = decimal_point == 1;
    num_ctx.decimal_point_chars[0] = comma ? u',' : u'.';
    num_ctx.decimal_point_chars[1] = comma ? u'.' : u',';
}
