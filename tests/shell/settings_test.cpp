#include "shell/settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "shell/ini_file.h"

namespace fs = std::filesystem;

namespace {

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Each test gets a fresh settings folder through CALCARIUM_CONFIG_DIR and fresh process-wide settings.
class SettingsFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/calcarium-settings-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        folder = tmpl;
        setenv("CALCARIUM_CONFIG_DIR", folder.c_str(), 1);
        path = folder / "UserSettings.ini";
        restart();
    }
    void TearDown() override {
        ini_fault_hook = nullptr;
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    // What a new process starts with.
    void restart() {
        settings = Settings{};
        settings_changed = false;
        settings_path.clear();
    }
    size_t files_in_folder() const {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder)) ++n;
        return n;
    }
    Settings read_back() {
        Settings s{};
        settings_transfer(s, path, kSettingsRead);
        return s;
    }

    fs::path folder;
    fs::path path;
};

Settings sample_settings() {
    Settings s{};
    s.language = 3;
    s.decimal_point = 1;
    s.thousands_sep_sci_calc = 1;
    s.thousands_sep_equations = 0;
    s.thousands_sep_algebra = 1;
    s.angle_type = 3;
    s.number_type = 10;
    s.decimal_precision = 12345;
    s.show_welcome_hint = 0;
    s.memory[0] = u"1.5";
    s.memory[7] = u"@sqrt(2)*\u03C0 \u00E4\u20AC\U0001D11E";
    s.memory[12] = u"";
    s.memory[19] = std::u16string(kRegisterChars, u'9');
    return s;
}

const char kSampleFile[] =
    "[options]\n"
    "language=German\n"
    "decimal_point=comma\n"
    "thousands_sep_sci_calc=1\n"
    "thousands_sep_equations=0\n"
    "thousands_sep_algebra=1\n"
    "[scientific_calculator]\n"
    "angle_type=gon\n"
    "number_type=uint\n"
    "decimal_precision=12345\n"
    "[hints]\n"
    "show_welcome_hint=0\n"
    "memory00=1.5\n"
    "memory07=@sqrt(2)*\xCF\x80 \xC3\xA4\xE2\x82\xAC\xF0\x9D\x84\x9E\n"
    "memory12=\n";

TEST_F(SettingsFile, WritesEveryKeyInOrderAndReadsItBack) {
    Settings s = sample_settings();
    ASSERT_EQ(settings_transfer(s, path, kSettingsWrite), kIniOk);
    EXPECT_EQ(read_file(path), kSampleFile + std::string("memory19=") + std::string(kRegisterChars, '9') + "\n");

    Settings r = read_back();
    EXPECT_EQ(r.language, 3u);
    EXPECT_EQ(r.decimal_point, 1u);
    EXPECT_EQ(r.thousands_sep_sci_calc, 1);
    EXPECT_EQ(r.thousands_sep_equations, 0);
    EXPECT_EQ(r.thousands_sep_algebra, 1);
    EXPECT_EQ(r.angle_type, 3u);
    EXPECT_EQ(r.number_type, 10u);
    EXPECT_EQ(r.decimal_precision, 12345);
    EXPECT_EQ(r.show_welcome_hint, 0);
    for (int i = 0; i < kRegisterCount; ++i) {
        // The emptied register 12 reads back as no register.
        EXPECT_EQ(r.memory[i], i == 12 ? std::nullopt : s.memory[i]) << i;
    }
}

int64_t language(const Settings& s) {
    return s.language;
}
int64_t decimal_point(const Settings& s) {
    return s.decimal_point;
}
int64_t sep_sci(const Settings& s) {
    return s.thousands_sep_sci_calc;
}
int64_t sep_equations(const Settings& s) {
    return s.thousands_sep_equations;
}
int64_t sep_algebra(const Settings& s) {
    return s.thousands_sep_algebra;
}
int64_t angle(const Settings& s) {
    return s.angle_type;
}
int64_t number_type(const Settings& s) {
    return s.number_type;
}
int64_t precision(const Settings& s) {
    return s.decimal_precision;
}
int64_t hint(const Settings& s) {
    return s.show_welcome_hint;
}

struct WriteCase {
    void (*set)(Settings& s);
    const char* line;
    int64_t (*field)(const Settings&);
    int64_t read_back;
};

// Every value with a name is written by it; a value without one is written as "???" and reads back as the default.
const WriteCase kWriteCases[] = {
    {[](Settings& s) { s.language = 1; }, "language=(automatic)", language, 1},
    {[](Settings& s) { s.language = 2; }, "language=English", language, 2},
    {[](Settings& s) { s.language = 7; }, "language=???", language, 1},
    {[](Settings& s) { s.decimal_point = 0; }, "decimal_point=point", decimal_point, 0},
    {[](Settings& s) { s.decimal_point = 2; }, "decimal_point=???", decimal_point, 0},
    {[](Settings& s) { s.thousands_sep_equations = 0xCC; }, "thousands_sep_equations=0", sep_equations, 0},
    {[](Settings& s) { s.angle_type = 1; }, "angle_type=deg", angle, 1},
    {[](Settings& s) { s.angle_type = 2; }, "angle_type=rad", angle, 2},
    {[](Settings& s) { s.angle_type = 0; }, "angle_type=???", angle, 1},
    {[](Settings& s) { s.number_type = 1; }, "number_type=real", number_type, 1},
    {[](Settings& s) { s.number_type = 2; }, "number_type=rat", number_type, 2},
    {[](Settings& s) { s.number_type = 3; }, "number_type=cplx", number_type, 3},
    {[](Settings& s) { s.number_type = 4; }, "number_type=???", number_type, 1},
    {[](Settings& s) { s.decimal_precision = -7; }, "decimal_precision=-7", precision, -7},
    {[](Settings& s) { s.decimal_precision = INT32_MIN; }, "decimal_precision=-2147483648", precision, INT32_MIN},
    {[](Settings& s) { s.show_welcome_hint = 1; }, "show_welcome_hint=1", hint, 1},
    {[](Settings& s) { s.show_welcome_hint = 0xCC; }, "show_welcome_hint=0", hint, 0},
};

TEST_F(SettingsFile, WritesEachValueByTheConverterRules) {
    for (const auto& c : kWriteCases) {
        Settings s{};
        c.set(s);
        settings_transfer(s, path, kSettingsWrite);
        EXPECT_NE(read_file(path).find(std::string(c.line) + "\n"), std::string::npos) << c.line;
        EXPECT_EQ(c.field(read_back()), c.read_back) << c.line;
    }
}

struct ReadCase {
    const char* file;
    int64_t (*field)(const Settings&);
    int64_t value;
};

// Values match exactly; sections and keys match without regard to case; blanks around "=" do not count.
const ReadCase kReadCases[] = {
    {"[options]\nlanguage=English\n", language, 2},
    {"[options]\nlanguage=english\n", language, 1},
    {"[options]\nlanguage=GERMAN\n", language, 1},
    {"[options]\nlanguage=German\n", language, 3},
    {"[OPTIONS]\nLanguage = German \n", language, 3},
    {"[options]\nlanguage=\n", language, 1},
    {"[scientific_calculator]\nlanguage=German\n", language, 1},
    {"[options]\ndecimal_point=comma\n", decimal_point, 1},
    {"[options]\ndecimal_point=Comma\n", decimal_point, 0},
    {"[options]\nthousands_sep_sci_calc=1\n", sep_sci, 1},
    {"[options]\nthousands_sep_sci_calc=2\n", sep_sci, 0},
    {"[options]\nthousands_sep_equations=1\n", sep_equations, 1},
    {"[options]\nthousands_sep_equations=01\n", sep_equations, 0},
    {"[options]\nthousands_sep_algebra=1\n", sep_algebra, 1},
    {"[options]\nthousands_sep_algebra=true\n", sep_algebra, 0},
    {"[scientific_calculator]\nangle_type=rad\n", angle, 2},
    {"[scientific_calculator]\nangle_type=grad\n", angle, 1},
    {"[scientific_calculator]\nnumber_type=rat\n", number_type, 2},
    {"[scientific_calculator]\nnumber_type=cplx\n", number_type, 3},
    {"[scientific_calculator]\nnumber_type=Real\n", number_type, 1},
    {"[scientific_calculator]\ndecimal_precision=25abc\n", precision, 25},
    {"[scientific_calculator]\ndecimal_precision=\n", precision, 0},
    {"[scientific_calculator]\ndecimal_precision=abc\n", precision, 0},
    {"[scientific_calculator]\ndecimal_precision=-40\n", precision, -40},
    {"[scientific_calculator]\ndecimal_precision=+12.5\n", precision, 12},
    {"[scientific_calculator]\ndecimal_precision=99999999999\n", precision, INT32_MAX},
    {"[scientific_calculator]\ndecimal_precision=-99999999999\n", precision, INT32_MIN},
    {"[hints]\nshow_welcome_hint=yes\n", hint, 1},
    {"[hints]\nshow_welcome_hint=0\n", hint, 0},
    {"[hints]\nshow_welcome_hint=\n", hint, 1},
    {"[hints]\nshow_welcome_hint=00\n", hint, 1},
    {"[Hints]\r\nSHOW_WELCOME_HINT=0\r\n", hint, 0},
    {"[hints]\n;show_welcome_hint=0\n", hint, 1},
    {"show_welcome_hint=0\n[hints]\n", hint, 1},
    {"[hints]\nshow_welcome_hint=0\nshow_welcome_hint=1\n", hint, 0},
    {"\xEF\xBB\xBF[hints]\nshow_welcome_hint=0", hint, 0},
};

TEST_F(SettingsFile, ReadsEachValueByTheConverterRules) {
    for (const auto& c : kReadCases) {
        write_file(path, c.file);
        EXPECT_EQ(c.field(read_back()), c.value) << c.file;
    }
}

void expect_defaults(const Settings& s, const std::string& what) {
    EXPECT_EQ(s.language, 1u) << what;
    EXPECT_EQ(s.decimal_point, 0u) << what;
    EXPECT_EQ(s.thousands_sep_sci_calc, 0) << what;
    EXPECT_EQ(s.thousands_sep_equations, 0) << what;
    EXPECT_EQ(s.thousands_sep_algebra, 0) << what;
    EXPECT_EQ(s.angle_type, 1u) << what;
    EXPECT_EQ(s.number_type, 1u) << what;
    EXPECT_EQ(s.decimal_precision, 0) << what;
    EXPECT_EQ(s.show_welcome_hint, 1) << what;
    for (int i = 0; i < kRegisterCount; ++i) EXPECT_FALSE(s.memory[i].has_value()) << what << " register " << i;
}

TEST_F(SettingsFile, MissingFileGivesEveryDefault) {
    EXPECT_EQ(load_settings(), kIniMissing);
    EXPECT_EQ(settings_path, path);
    expect_defaults(settings, "missing");
}

TEST_F(SettingsFile, FieldsNotYetLoadedAreAllOverwritten) {
    settings.language = settings.decimal_point = settings.angle_type = settings.number_type = 0xCCCCCCCC;
    settings.thousands_sep_sci_calc = settings.thousands_sep_equations = settings.thousands_sep_algebra = 0xCC;
    settings.decimal_precision = -1;
    settings.show_welcome_hint = 0xCC;
    settings.memory[3] = u"stale";
    load_settings();
    expect_defaults(settings, "filled");
}

struct DamagedCase {
    const char* what;
    std::string bytes;
};

TEST_F(SettingsFile, DamagedFileReadsAsDefaults) {
    const std::string valid = "[options]\nlanguage=German\n[hints]\nshow_welcome_hint=0\nmemory00=5\n";
    std::string binary;
    for (int i = 0; i < 5000; ++i) binary.push_back(static_cast<char>(1 + (i * 37) % 250));
    binary.erase(std::remove(binary.begin(), binary.end(), '\n'), binary.end());
    const DamagedCase cases[] = {
        {"NUL byte", valid + std::string(1, '\0') + "x\n"},
        {"binary without newline", binary},
        {"invalid UTF-8", valid + "memory01=\xFF\xFE\n"},
        {"overlong UTF-8", valid + "memory01=\xC0\xAF\n"},
        {"UTF-8 surrogate", valid + "memory01=\xED\xA0\x80\n"},
        {"truncated UTF-8", valid + "memory01=\xE2\x82"},
        {"UTF-16 file", std::string("\xFF\xFE[\0o\0\n\0", 8)},
        {"huge line", std::string(kIniMaxLineBytes + 1, 'a') + "\n" + valid},
        {"huge file", valid + std::string(kIniMaxFileBytes, '\n')},
    };
    for (const auto& c : cases) {
        write_file(path, c.bytes);
        restart();
        EXPECT_EQ(load_settings(), kIniDamaged) << c.what;
        expect_defaults(settings, c.what);
    }
}

TEST_F(SettingsFile, DamagedFileIsReplacedByACleanOneOnSaving) {
    write_file(path, std::string("[options]\nlanguage=German\0\n", 27));
    load_settings();
    settings.number_type = 2;
    settings_changed = true;
    ASSERT_EQ(save_settings(), kIniOk);
    restart();
    EXPECT_EQ(load_settings(), kIniOk);
    EXPECT_EQ(settings.number_type, 2u);
    EXPECT_EQ(settings.language, 1u);
}

TEST_F(SettingsFile, RegistersReadUpToTheirCapacity) {
    write_file(path, "[hints]\nmemory03=\nmemory04=@1+2\nmemory05=" + std::string(kRegisterChars + 50, '7') + "\n");
    load_settings();
    EXPECT_FALSE(settings.memory[3].has_value());
    EXPECT_EQ(settings.memory[4], u"@1+2");
    ASSERT_TRUE(settings.memory[5].has_value());
    EXPECT_EQ(*settings.memory[5], std::u16string(kRegisterChars, u'7'));
}

TEST_F(SettingsFile, EmptyRegisterIsWrittenEmptyAndUnusedOrEmptiedKeysDisappear) {
    write_file(path, "[hints]\nmemory02=\nmemory09=keep\n");
    load_settings();
    EXPECT_FALSE(settings.memory[2].has_value());
    settings.memory[4] = u"";  // MC
    settings_changed = true;
    save_settings();
    std::string text = read_file(path);
    EXPECT_NE(text.find("memory04=\n"), std::string::npos);
    EXPECT_NE(text.find("memory09=keep\n"), std::string::npos);
    EXPECT_EQ(text.find("memory02"), std::string::npos);
    EXPECT_EQ(text.find("memory06"), std::string::npos);

    restart();
    load_settings();
    EXPECT_FALSE(settings.memory[4].has_value());
    EXPECT_EQ(settings.memory[9], u"keep");
}

TEST_F(SettingsFile, NothingIsWrittenWhenNothingChanged) {
    load_settings();
    EXPECT_EQ(save_settings(), kIniOk);
    EXPECT_FALSE(fs::exists(path));

    write_file(path, "[options]\nlanguage=english\n");
    restart();
    load_settings();
    save_settings();
    EXPECT_EQ(read_file(path), "[options]\nlanguage=english\n");
}

TEST_F(SettingsFile, OneRunWritesWhatTheNextRunReads) {
    EXPECT_EQ(load_settings(), kIniMissing);
    EXPECT_EQ(settings.show_welcome_hint, 1);
    settings.show_welcome_hint = 0;
    settings.decimal_precision = 40;
    settings.memory[1] = u"2.718281828";
    settings_changed = true;
    EXPECT_EQ(save_settings(), kIniOk);
    EXPECT_FALSE(settings_changed);

    restart();
    EXPECT_EQ(load_settings(), kIniOk);
    EXPECT_EQ(settings.show_welcome_hint, 0);
    EXPECT_EQ(settings.decimal_precision, 40);
    EXPECT_EQ(settings.memory[1], u"2.718281828");
    EXPECT_FALSE(settings.memory[0].has_value());
    EXPECT_EQ(files_in_folder(), 1u);
}

TEST_F(SettingsFile, ForeignSectionsKeysAndCommentsAreKept) {
    write_file(path,
               "; written by hand\n"
               "[Options]\n"
               "Language = German\n"
               "colour=blue\n"
               "\n"
               "[plugins]\n"
               "path=/opt/x\n"
               "no equals sign here\n"
               "[hints]\n"
               "memory00=old\n");
    load_settings();
    settings.decimal_point = 1;
    settings_changed = true;
    ASSERT_EQ(save_settings(), kIniOk);
    // Existing keys are rewritten in place, missing keys join the end of their section, missing sections the end
    // of the file.
    EXPECT_EQ(read_file(path),
              "; written by hand\n"
              "[Options]\n"
              "language=German\n"
              "colour=blue\n"
              "decimal_point=comma\n"
              "thousands_sep_sci_calc=0\n"
              "thousands_sep_equations=0\n"
              "thousands_sep_algebra=0\n"
              "\n"
              "[plugins]\n"
              "path=/opt/x\n"
              "no equals sign here\n"
              "[hints]\n"
              "memory00=old\n"
              "show_welcome_hint=1\n"
              "[scientific_calculator]\n"
              "angle_type=deg\n"
              "number_type=real\n"
              "decimal_precision=0\n");
}

TEST_F(SettingsFile, FailedWriteLeavesThePreviousFileIntact) {
    const std::string previous = "[options]\nlanguage=German\n[custom]\nx=1\n";
    for (IniWriteStep step : {kIniStepCreate, kIniStepWrite, kIniStepSync, kIniStepRename}) {
        write_file(path, previous);
        restart();
        load_settings();
        settings.language = 2;
        settings.memory[0] = std::u16string(kRegisterChars, u'1');
        settings_changed = true;
        static IniWriteStep failing;
        failing = step;
        ini_fault_hook = [](IniWriteStep s) { return s == failing; };
        EXPECT_EQ(save_settings(), kIniWriteFailed) << step;
        ini_fault_hook = nullptr;
        EXPECT_EQ(read_file(path), previous) << step;
        EXPECT_EQ(files_in_folder(), 1u) << "temporary file left behind at step " << step;
        EXPECT_TRUE(settings_changed) << step;
    }
}

TEST_F(SettingsFile, SaveIntoAMissingFolderFails) {
    settings_path = folder / "gone" / "UserSettings.ini";
    settings_changed = true;
    EXPECT_EQ(save_settings(), kIniWriteFailed);
    EXPECT_FALSE(fs::exists(settings_path));
}

struct FolderCase {
    const char* config_dir;
    const char* xdg;
    const char* home;
    const char* folder;
};

const FolderCase kFolderCases[] = {
    {"/tmp/cfg", "/x", "/h", "/tmp/cfg"},
    {nullptr, "/x/config", "/h", "/x/config/Calcarium"},
    {"", "/x/config", "/h", "/x/config/Calcarium"},
    {nullptr, "relative", "/h", "/h/.config/Calcarium"},
    {nullptr, "", "/h", "/h/.config/Calcarium"},
    {nullptr, nullptr, "/home/u", "/home/u/.config/Calcarium"},
    {nullptr, nullptr, nullptr, ""},
};

void set_env(const char* name, const char* value) {
    if (value == nullptr) {
        unsetenv(name);
    } else {
        setenv(name, value, 1);
    }
}

TEST_F(SettingsFile, FolderComesFromTheEnvironment) {
    const char* home = getenv("HOME");
    std::string saved_home = home != nullptr ? home : "";
    for (const auto& c : kFolderCases) {
        set_env("CALCARIUM_CONFIG_DIR", c.config_dir);
        set_env("XDG_CONFIG_HOME", c.xdg);
        set_env("HOME", c.home);
        EXPECT_EQ(settings_folder().string(), c.folder)
            << (c.config_dir ? c.config_dir : "-") << " " << (c.xdg ? c.xdg : "-") << " " << (c.home ? c.home : "-");
    }
    set_env("HOME", home != nullptr ? saved_home.c_str() : nullptr);
    unsetenv("XDG_CONFIG_HOME");
    setenv("CALCARIUM_CONFIG_DIR", folder.c_str(), 1);
}

TEST_F(SettingsFile, PathIsComputedOnceAndTheFolderCreated) {
    fs::path nested = folder / "a" / "b";
    setenv("CALCARIUM_CONFIG_DIR", nested.c_str(), 1);
    settings_path_init();
    EXPECT_EQ(settings_path, nested / "UserSettings.ini");
    EXPECT_TRUE(fs::is_directory(nested));
    setenv("CALCARIUM_CONFIG_DIR", folder.c_str(), 1);
    settings_path_init();
    EXPECT_EQ(settings_path, nested / "UserSettings.ini");
}

TEST(Utf8, ConvertsBothWaysAndReplacesLoneSurrogates) {
    std::u16string text;
    ASSERT_TRUE(utf8_to_utf16("a\xC3\xA4\xE2\x82\xAC\xF0\x9D\x84\x9E", text));
    EXPECT_EQ(text, u"a\u00E4\u20AC\U0001D11E");
    EXPECT_EQ(utf16_to_utf8(text), "a\xC3\xA4\xE2\x82\xAC\xF0\x9D\x84\x9E");
    EXPECT_EQ(utf16_to_utf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(utf16_to_utf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
    EXPECT_FALSE(utf8_to_utf16("\xF4\x90\x80\x80", text));  // above U+10FFFF
    EXPECT_FALSE(utf8_to_utf16("\xE0\x80\x80", text));      // overlong
    EXPECT_FALSE(utf8_to_utf16("\x80", text));              // lone continuation byte
}

TEST(IniFile, ValuesWithLineBreaksAreCutSoTheFileKeepsItsShape) {
    IniFile ini;
    ini_set(ini, u"hints", u"memory00", std::u16string_view(u"@1+2\nmemory01=evil"));
    ini_set(ini, u"hints", u"memory02", std::u16string_view(u"x\r\ny"));
    EXPECT_EQ(ini_serialize(ini), "[hints]\nmemory00=@1+2\nmemory02=x\n");
    ini_set(ini, u"HINTS", u"Memory00", std::nullopt);
    ini_set(ini, u"absent", u"key", std::nullopt);
    EXPECT_EQ(ini_serialize(ini), "[hints]\nmemory02=x\n");
}

}  // namespace
