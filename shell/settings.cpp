#include "shell/settings.h"

#include <array>
#include <cstdlib>
#include <string_view>
#include <system_error>

Settings settings{};
bool settings_changed = false;
std::filesystem::path settings_path;

namespace {

// A value and its text in the file. The first entry of a table is the default for unknown texts.
struct NamedValue {
    const char16_t* text;
    uint32_t value;
};

const NamedValue kLanguageNames[] = {{u"(automatic)", 1}, {u"English", 2}, {u"German", 3}};
const NamedValue kDecimalPointNames[] = {{u"point", 0}, {u"comma", 1}};
const NamedValue kAngleNames[] = {{u"deg", 1}, {u"rad", 2}, {u"gon", 3}};
const NamedValue kNumberTypeNames[] = {{u"real", 1}, {u"rat", 2}, {u"cplx", 3}, {u"uint", 10}};

template <size_t N>
uint32_t parse_named(const NamedValue (&names)[N], std::u16string_view text) {
    for (const auto& n : names) {
        if (text == n.text) return n.value;
    }
    return names[0].value;
}

// "???" for a value without a name, which reads back as the default.
template <size_t N>
std::u16string format_named(const NamedValue (&names)[N], uint32_t value) {
    for (const auto& n : names) {
        if (n.value == value) return n.text;
    }
    return u"???";
}

uint8_t parse_flag(std::u16string_view text) {
    return text == u"1" ? 1 : 0;
}
std::u16string format_flag(uint8_t flag) {
    return flag == 1 ? u"1" : u"0";
}

// Leading blanks, an optional sign, then digits up to the first non-digit; no digits give 0. Values beyond the
// 32-bit range saturate.
int32_t parse_int(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    int64_t v = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        v = v * 10 + (text[i] - u'0');
        if (v > int64_t{INT32_MAX} + 1) v = int64_t{INT32_MAX} + 1;
    }
    if (negative) v = -v;
    if (v > INT32_MAX) v = INT32_MAX;
    return static_cast<int32_t>(v);
}

std::u16string format_int(int32_t value) {
    std::u16string out;
    int64_t v = value;
    bool negative = v < 0;
    if (negative) v = -v;
    do {
        out.insert(out.begin(), static_cast<char16_t>(u'0' + v % 10));
        v /= 10;
    } while (v != 0);
    if (negative) out.insert(out.begin(), u'-');
    return out;
}

// The text of a key in the file; null deletes the key.
using KeyText = std::optional<std::u16string>;

// Converters of one key. index is the register number of the memory keys.
struct SettingsKey {
    const char16_t* section;
    const char16_t* key;
    int index;
    void (*parse)(Settings& s, int index, std::u16string_view text);
    KeyText (*format)(const Settings& s, int index);
};

void parse_register(Settings& s, int index, std::u16string_view text) {
    if (text.empty()) {
        s.memory[index].reset();
    } else {
        s.memory[index] = std::u16string(text.substr(0, kRegisterChars));
    }
}

KeyText format_register(const Settings& s, int index) {
    return s.memory[index];
}

constexpr const char16_t* kOptions = u"options";
constexpr const char16_t* kCalculator = u"scientific_calculator";
constexpr const char16_t* kHints = u"hints";

constexpr SettingsKey memory_key(const char16_t* key, int index) {
    return {kHints, key, index, parse_register, format_register};
}

// Every key in the order in which it is read and written.
const SettingsKey kSettingsKeys[] = {
    {kOptions, u"language", 0,
     [](Settings& s, int, std::u16string_view t) { s.language = parse_named(kLanguageNames, t); },
     [](const Settings& s, int) -> KeyText { return format_named(kLanguageNames, s.language); }},
    {kOptions, u"decimal_point", 0,
     [](Settings& s, int, std::u16string_view t) { s.decimal_point = parse_named(kDecimalPointNames, t); },
     [](const Settings& s, int) -> KeyText { return format_named(kDecimalPointNames, s.decimal_point); }},
    {kOptions, u"thousands_sep_sci_calc", 0,
     [](Settings& s, int, std::u16string_view t) { s.thousands_sep_sci_calc = parse_flag(t); },
     [](const Settings& s, int) -> KeyText { return format_flag(s.thousands_sep_sci_calc); }},
    {kOptions, u"thousands_sep_equations", 0,
     [](Settings& s, int, std::u16string_view t) { s.thousands_sep_equations = parse_flag(t); },
     [](const Settings& s, int) -> KeyText { return format_flag(s.thousands_sep_equations); }},
    {kOptions, u"thousands_sep_algebra", 0,
     [](Settings& s, int, std::u16string_view t) { s.thousands_sep_algebra = parse_flag(t); },
     [](const Settings& s, int) -> KeyText { return format_flag(s.thousands_sep_algebra); }},
    {kCalculator, u"angle_type", 0,
     [](Settings& s, int, std::u16string_view t) { s.angle_type = parse_named(kAngleNames, t); },
     [](const Settings& s, int) -> KeyText { return format_named(kAngleNames, s.angle_type); }},
    {kCalculator, u"number_type", 0,
     [](Settings& s, int, std::u16string_view t) { s.number_type = parse_named(kNumberTypeNames, t); },
     [](const Settings& s, int) -> KeyText { return format_named(kNumberTypeNames, s.number_type); }},
    {kCalculator, u"decimal_precision", 0,
     [](Settings& s, int, std::u16string_view t) { s.decimal_precision = parse_int(t); },
     [](const Settings& s, int) -> KeyText { return format_int(s.decimal_precision); }},
    {kHints, u"show_welcome_hint", 0,
     [](Settings& s, int, std::u16string_view t) { s.show_welcome_hint = t == u"0" ? 0 : 1; },
     [](const Settings& s, int) -> KeyText { return format_flag(s.show_welcome_hint); }},
    memory_key(u"memory00", 0),
    memory_key(u"memory01", 1),
    memory_key(u"memory02", 2),
    memory_key(u"memory03", 3),
    memory_key(u"memory04", 4),
    memory_key(u"memory05", 5),
    memory_key(u"memory06", 6),
    memory_key(u"memory07", 7),
    memory_key(u"memory08", 8),
    memory_key(u"memory09", 9),
    memory_key(u"memory10", 10),
    memory_key(u"memory11", 11),
    memory_key(u"memory12", 12),
    memory_key(u"memory13", 13),
    memory_key(u"memory14", 14),
    memory_key(u"memory15", 15),
    memory_key(u"memory16", 16),
    memory_key(u"memory17", 17),
    memory_key(u"memory18", 18),
    memory_key(u"memory19", 19),
};

std::filesystem::path env_path(const char* name) {
    const char* v = std::getenv(name);
    return (v != nullptr) ? std::filesystem::path(v) : std::filesystem::path();
}

}  // namespace

std::filesystem::path settings_folder() {
    std::filesystem::path dir = env_path("CALCARIUM_CONFIG_DIR");
    if (!dir.empty()) return dir;
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    dir = env_path("XDG_CONFIG_HOME");
    if (dir.is_absolute()) return dir / "Calcarium";
    dir = env_path("HOME");
    if (!dir.empty()) return dir / ".config" / "Calcarium";
    return {};
}

void settings_path_init() {
    if (!settings_path.empty()) return;
    std::filesystem::path folder = settings_folder();
    if (!folder.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
    }
    settings_path = folder / "UserSettings.ini";
}

IniStatus settings_transfer(Settings& s, const std::filesystem::path& path, SettingsDirection direction) {
    IniFile ini;
    IniStatus status = ini_load(ini, path);
    if (direction == kSettingsRead) {
        // Every key is parsed, a missing one as the empty text, so every field ends defined.
        for (const auto& k : kSettingsKeys) {
            std::u16string text = ini_get(ini, k.section, k.key).value_or(u"");
            if (text.size() > kRegisterChars) text.resize(kRegisterChars);
            k.parse(s, k.index, text);
        }
        return status;
    }
    // A damaged or unreadable file loads empty and is replaced by a clean one.
    for (const auto& k : kSettingsKeys) {
        KeyText text = k.format(s, k.index);
        ini_set(ini, k.section, k.key, text ? std::optional<std::u16string_view>(*text) : std::nullopt);
    }
    return ini_save(ini, path);
}

IniStatus load_settings() {
    settings_path_init();
    settings_changed = false;
    settings = Settings{};
    return settings_transfer(settings, settings_path, kSettingsRead);
}

IniStatus save_settings() {
    settings_path_init();
    if (!settings_changed) return kIniOk;
    IniStatus status = settings_transfer(settings, settings_path, kSettingsWrite);
    if (status == kIniOk) settings_changed = false;
    return status;
}
