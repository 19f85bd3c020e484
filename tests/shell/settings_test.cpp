// The settings file: every key written and read by its converter rules, defaults for missing and damaged files,
// foreign content kept, and the atomic replacement.
#include "shell/settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "shell/ini_file.h"

namespace fs = std::filesystem;

namespace {

// The scalar fields in file order: language, decimal_point, the three thousands_sep_*, angle_type, number_type,
// decimal_precision, show_welcome_hint.
std::string scalars(const Settings& s) {
    std::ostringstream out;
    out << s.language << ' ' << s.decimal_point << ' ' << +s.thousands_sep_sci_calc << ' ' << +s.thousands_sep_equations
        << ' ' << +s.thousands_sep_algebra << ' ' << s.angle_type << ' ' << s.number_type << ' ' << s.decimal_precision
        << ' ' << +s.show_welcome_hint;
    return out.str();
}

const char kDefaults[] = "1 0 0 0 0 1 1 0 1";

// Each test gets a fresh settings folder through CALCARIUM_CONFIG_DIR and fresh process-wide settings.
class SettingsFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/calcarium-settings-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
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
        return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }
    std::string read_file() const {
        std::ostringstream out;
        out << std::ifstream(path, std::ios::binary).rdbuf();
        return out.str();
    }
    void write_file(const std::string& bytes) const { std::ofstream(path, std::ios::binary) << bytes; }
    Settings read_back() const {
        Settings s{};
        settings_transfer(s, path, kSettingsRead);
        return s;
    }

    fs::path folder, path;
};

TEST_F(SettingsFile, WritesEveryKeyInOrderAndReadsItBack) {
    Settings s{3, 1, 1, 0, 1, 3, 10, 12345, {}, 0};
    s.memory[0] = u"1.5";
    s.memory[7] = u"@sqrt(2)*\u03C0 \u00E4\u20AC\U0001D11E";
    s.memory[12] = u"";
    s.memory[19] = std::u16string(kRegisterChars, u'9');
    ASSERT_EQ(settings_transfer(s, path, kSettingsWrite), kIniOk);
    EXPECT_EQ(read_file(),
              "[options]\nlanguage=German\ndecimal_point=comma\nthousands_sep_sci_calc=1\nthousands_sep_equations=0\n"
              "thousands_sep_algebra=1\n[scientific_calculator]\nangle_type=gon\nnumber_type=uint\n"
              "decimal_precision=12345\n[hints]\nshow_welcome_hint=0\nmemory00=1.5\n"
              "memory07=@sqrt(2)*\xCF\x80 \xC3\xA4\xE2\x82\xAC\xF0\x9D\x84\x9E\nmemory12=\nmemory19=" +
                  std::string(kRegisterChars, '9') + "\n");
    const Settings r = read_back();
    EXPECT_EQ(scalars(r), "3 1 1 0 1 3 10 12345 0");
    for (int i = 0; i < kRegisterCount; ++i) {
        EXPECT_EQ(r.memory[i], i == 12 ? std::nullopt : s.memory[i]) << i;  // an emptied register reads as none
    }
}

struct WriteCase {
    void (*set)(Settings& s);
    const char* line;     // key=value
    const char* scalars;  // read back
};

// Every value with a name is written by it; a value without one is written as "???" and reads back as the default.
// clang-format off
const WriteCase kWriteCases[] = {
    {[](Settings&) {},
     "[options]\nlanguage=(automatic)\ndecimal_point=point\nthousands_sep_sci_calc=0\nthousands_sep_equations=0\n"
     "thousands_sep_algebra=0\n[scientific_calculator]\nangle_type=deg\nnumber_type=real\ndecimal_precision=0\n"
     "[hints]\nshow_welcome_hint=1", kDefaults},
    {[](Settings& s) { s.language = 2; }, "language=English", "2 0 0 0 0 1 1 0 1"},
    {[](Settings& s) { s.language = 7; }, "language=???", kDefaults},
    {[](Settings& s) { s.angle_type = 2; }, "angle_type=rad", "1 0 0 0 0 2 1 0 1"},
    {[](Settings& s) { s.number_type = 2; }, "number_type=rat", "1 0 0 0 0 1 2 0 1"},
    {[](Settings& s) { s.number_type = 3; }, "number_type=cplx", "1 0 0 0 0 1 3 0 1"},
    {[](Settings& s) { s.decimal_precision = INT32_MIN; }, "decimal_precision=-2147483648", "1 0 0 0 0 1 1 -2147483648 1"},
    {[](Settings& s) { s.show_welcome_hint = 0xCC; }, "show_welcome_hint=0", "1 0 0 0 0 1 1 0 0"},
};

// Values match exactly; sections and keys match without regard to case; blanks around "=" do not count.
const std::pair<const char*, const char*> kReadCases[] = {
    {"[options]\nlanguage=english\n", kDefaults},
    {"[OPTIONS]\nLanguage = German \n", "3 0 0 0 0 1 1 0 1"},
    {"[scientific_calculator]\nlanguage=German\n", kDefaults},
    {"[options]\ndecimal_point=Comma\nthousands_sep_sci_calc=1\nthousands_sep_equations=01\n", "1 0 1 0 0 1 1 0 1"},
    {"[scientific_calculator]\nangle_type=grad\nnumber_type=Real\ndecimal_precision=25abc\n", "1 0 0 0 0 1 1 25 1"},
    {"[scientific_calculator]\ndecimal_precision=+12.5\n", "1 0 0 0 0 1 1 12 1"},
    {"[scientific_calculator]\ndecimal_precision=abc\n", kDefaults},
    {"[scientific_calculator]\ndecimal_precision=99999999999\n", "1 0 0 0 0 1 1 2147483647 1"},
    {"[scientific_calculator]\ndecimal_precision=-99999999999\n", "1 0 0 0 0 1 1 -2147483648 1"},
    {"[hints]\nshow_welcome_hint=00\n", kDefaults},
    {"[Hints]\r\nSHOW_WELCOME_HINT=0\r\n", "1 0 0 0 0 1 1 0 0"},
    {"show_welcome_hint=0\n[hints]\n", kDefaults},
    {"[hints]\nshow_welcome_hint=0\nshow_welcome_hint=1\n", "1 0 0 0 0 1 1 0 0"},
    {"\xEF\xBB\xBF[hints]\nshow_welcome_hint=0", "1 0 0 0 0 1 1 0 0"},
};
// clang-format on

TEST_F(SettingsFile, WritesAndReadsEachValueByTheConverterRules) {
    for (const auto& c : kWriteCases) {
        Settings s{1, 0, 0, 0, 0, 1, 1, 0, {}, 1};  // the defaults
        c.set(s);
        settings_transfer(s, path, kSettingsWrite);
        EXPECT_NE(read_file().find(std::string(c.line) + "\n"), std::string::npos) << c.line;
        EXPECT_EQ(scalars(read_back()), c.scalars) << c.line;
    }
    for (const auto& [file, expected] : kReadCases) {
        write_file(file);
        EXPECT_EQ(scalars(read_back()), expected) << file;
    }
}

TEST_F(SettingsFile, MissingOrDamagedFilesGiveEveryDefaultOverAnyEarlierContent) {
    const std::string valid = "[options]\nlanguage=German\n[hints]\nshow_welcome_hint=0\nmemory00=5\n";
    const std::pair<const char*, std::string> kCases[] = {
        {"missing", ""},
        {"NUL byte", valid + std::string(1, '\0') + "x\n"},
        {"invalid UTF-8", valid + "memory01=\xFF\xFE\n"},
        {"overlong UTF-8", valid + "memory01=\xE0\x80\x80\n"},
        {"UTF-8 above U+10FFFF", valid + "memory01=\xF4\x90\x80\x80\n"},
        {"UTF-16 file", std::string("\xFF\xFE[\0o\0\n\0", 8)},
        {"huge line", std::string(kIniMaxLineBytes + 1, 'a') + "\n" + valid},
        {"huge file", valid + std::string(kIniMaxFileBytes, '\n')},
    };
    for (const auto& [what, bytes] : kCases) {
        fs::remove(path);
        if (std::string(what) != "missing") write_file(bytes);
        restart();
        settings = Settings{0xCCCCCCCC, 0xCCCCCCCC, 0xCC, 0xCC, 0xCC, 0xCCCCCCCC, 0xCCCCCCCC, -1, {u"stale"}, 0xCC};
        EXPECT_EQ(load_settings(), std::string(what) == "missing" ? kIniMissing : kIniDamaged) << what;
        EXPECT_EQ(scalars(settings), kDefaults) << what;
        for (const auto& m : settings.memory) EXPECT_FALSE(m.has_value()) << what;
    }
    // Saving replaces the damaged file with a clean one.
    settings.number_type = 2;
    settings_changed = true;
    ASSERT_EQ(save_settings(), kIniOk);
    restart();
    EXPECT_EQ(load_settings(), kIniOk);
    EXPECT_EQ(scalars(settings), "1 0 0 0 0 1 2 0 1");
}

TEST_F(SettingsFile, ForeignSectionsKeysAndCommentsAreKept) {
    write_file(
        "; written by hand\n[Options]\nLanguage = German\ncolour=blue\n\n[plugins]\npath=/opt/x\n"
        "no equals sign here\n[hints]\nmemory00=old\n");
    load_settings();
    settings.decimal_point = 1;
    settings.memory[1] = u"@1+2\nmemory02=evil";  // a line break would add a key: the value is cut there
    settings_changed = true;
    ASSERT_EQ(save_settings(), kIniOk);
    // Existing keys are rewritten in place, missing keys join the end of their section, missing sections the end
    // of the file.
    EXPECT_EQ(read_file(),
              "; written by hand\n[Options]\nlanguage=German\ncolour=blue\ndecimal_point=comma\n"
              "thousands_sep_sci_calc=0\nthousands_sep_equations=0\nthousands_sep_algebra=0\n\n"
              "[plugins]\npath=/opt/x\nno equals sign here\n[hints]\nmemory00=old\nshow_welcome_hint=1\n"
              "memory01=@1+2\n[scientific_calculator]\nangle_type=deg\nnumber_type=real\ndecimal_precision=0\n");
}

TEST_F(SettingsFile, FailedWriteLeavesThePreviousFileIntact) {
    const std::string previous = "[options]\nlanguage=German\n[custom]\nx=1\n";
    for (IniWriteStep step : {kIniStepCreate, kIniStepWrite, kIniStepSync, kIniStepRename}) {
        write_file(previous);
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
        EXPECT_EQ(read_file(), previous) << step;
        EXPECT_EQ(files_in_folder(), 1u) << "temporary file left behind at step " << step;
        EXPECT_TRUE(settings_changed) << step;
    }
    settings_path = folder / "gone" / "UserSettings.ini";
    EXPECT_EQ(save_settings(), kIniWriteFailed);
    EXPECT_FALSE(fs::exists(settings_path));
}

}  // namespace
