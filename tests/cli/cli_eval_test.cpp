// End-to-end tests of "calcarium-cli eval": the built program is run with arguments and standard input, and its
// standard output, standard error and exit status are compared.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The program: CALCARIUM_CLI in the environment, else the path the build passes in.
std::string cli_path() {
    const char* env = std::getenv("CALCARIUM_CLI");
    return env != nullptr ? env : CALCARIUM_CLI_PATH;
}

std::string quote(const std::string& arg) {
    std::string out = "'";
    for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

class CliEval : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(access(cli_path().c_str(), X_OK), 0) << "not executable: " << cli_path();
        char dir[] = "/tmp/cli_eval_test_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override {
        for (const char* name : {"/in", "/out", "/err"}) std::remove((dir_ + name).c_str());
        rmdir(dir_.c_str());
    }

    // Runs the program with args and the given standard input; env is prefixed to the command (VAR=value ...).
    Outcome run(const std::vector<std::string>& args, const std::string& input = "", const std::string& env = "") {
        std::ofstream(dir_ + "/in", std::ios::binary) << input;
        std::string command = "env LC_ALL=C LC_MESSAGES= LANG= " + env + " " + quote(cli_path());
        for (const std::string& a : args) command.append(" ").append(quote(a));
        command += " <" + quote(dir_ + "/in") + " >" + quote(dir_ + "/out") + " 2>" + quote(dir_ + "/err");
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file(dir_ + "/out"), read_file(dir_ + "/err")};
    }

    std::string dir_;
};

struct CliCase {
    std::vector<std::string> args;
    std::string input;  // standard input
    const char* env;
    const char* out;
    const char* err;
    int status;
};

// 40961 characters, the longest entry.
std::string longest_formula() {
    std::string formula = "1";
    while (formula.size() < 40961) formula += "+0";
    return formula;
}

// clang-format off
const CliCase kCases[] = {
    {{"eval", "--type", "rat", "--digits", "60", "2^100-1"}, "", "", "1267650600228229401496703205375\n", "", 0},
    // 32-bit parts at 10 digits: 2^100 is real.
    {{"eval", "--type", "rat", "2^100-1", "1/3+1/6", "2.5*2", "4"}, "", "", "1.2676506e+30\n1/2\n5.0\n4\n", "", 0},
    {{"eval", "--digits", "50", "pi"}, "", "", "3.1415926535897932384626433832795028841971693993751\n", "", 0},
    // Automatic form: scientific from the exponent -4 down and from the digit count up.
    {{"eval", "1/3", "1e10", "123456789*10", "0.0001", "0.001", "-2^2", "--", "-1"}, "", "",
     "0.3333333333\n1e+10\n1234567890\n1e-4\n0.001\n4\n-1\n", "", 0},
    {{"eval", "--group", "--comma", "1234567*1000", "1,5*2", "1/4"}, "", "", "1'234'567'000\n3\n0,25\n", "", 0},
    {{"eval", "--type", "uint", "--base", "16", "FF", "1'0000"}, "", "", "FF\n10000\n", "", 0},
    {{"eval", "--type", "uint", "--group", "1234567", "18446744073709551616"}, "", "",  // 512 limbs wide
     "1'234'567\n18'446'744'073'709'551'616\n", "", 0},
    {{"eval", "2*-3", "1+2)", "(1+2", "1/0", std::string(50, '(') + "1"}, "", "", "",
     "Invalid input: Syntax error at character position 3!\n"
     "Invalid input: For the right parenthesis at character position 4 the left parenthesis is missing!\n"
     "Invalid input: Unexpected end of formula!\n"
     "Invalid input: Number at character position 4 is out of range or overflow in the calculation!\n"
     "Invalid input: Formula is to complicated because to many parentheses are nested!\n", 1},
    {{"eval", "--digits", "4", "1"}, "", "", "",
     "calcarium-cli eval: digits must be 5 to 10000, not \"4\"\nTry \"calcarium-cli eval --help\".\n", 2},
    {{"eval", "--type", "uint", "12G", "1+2"}, "", "", "", "Invalid input!\nInvalid input!\n", 1},  // no detail: "!"
    // One formula per line of standard input, CR LF or LF, the last line without a line end; an error does not stop.
    {{"eval"}, "1+2\r\n2^10\nsqrt(\n(1+2)*3", "", "3\n1024\n9\n", "Invalid input: Unexpected end of formula!\n", 1},
    {{"eval", "--type", "cplx"}, "i*i\n(1+2)i\n", "", "-1\n3i\n", "", 0},
    {{"eval"}, longest_formula() + "\n" + longest_formula() + "+0\n", "", "1\n", "The text entered is too long!\n", 1},
    {{"eval", "2*-3", "sqrt(-1)"}, "", "LC_ALL=de_DE.UTF-8", "",
     "Ungültige Eingabe: Syntaxfehler bei Zeichenposition 3!\n"
     "Ungültige Eingabe: Zahl bei Zeichenposition 7 ist außerhalb des Bereichs oder Überlauf bei der Berechnung!\n", 1},
};
// clang-format on

TEST_F(CliEval, ComputesAndReportsLikeTheCalculator) {
    for (const CliCase& c : kCases) {
        std::string shown;
        for (const std::string& a : c.args) shown.append(" ").append(a.substr(0, 60));
        const Outcome r = run(c.args, c.input, c.env);
        EXPECT_EQ(r.out, c.out) << shown;
        EXPECT_EQ(r.err, c.err) << shown;
        EXPECT_EQ(r.status, c.status) << shown;
    }
}

}  // namespace
