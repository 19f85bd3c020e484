// Messages and the string tables: every sentence in English and German, the first-message rule and showing.
#include "shell/messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "numeric/num_context.h"
#include "shell/ini_file.h"
#include "shell/string_table.h"

namespace {

const auto utf8 = &utf16_to_utf8;

class Messages : public ::testing::Test {
  protected:
    void SetUp() override {
        clear_error_state();
        load_string_table(kLanguageEnglish);
    }
    void TearDown() override {
        SetUp();
        set_message_presenter(nullptr);
    }
};

struct ComposeCase {
    uint32_t code, formula_error;
    int32_t formula_error_pos;
    const char16_t* english;
    const char16_t* german;
    const char16_t* param1 = u"???";
    const char16_t* param2 = u"???";
};

// Every message code with its parameters; the detail codes complete their colon with the formula error ("!" when
// there is none), the others ignore it.
// clang-format off
const ComposeCase kComposeCases[] = {
    {1000, 0, 0, u"Invalid input \"12x\" !", u"Ungültige Eingabe \"12x\" !", u"12x"},
    {1001, 3200, 5, u"Overflow in mathematical calculation!", u"Überlauf bei mathematischer Berechnung!"},
    {1002, 0, 0, u"Division by 0!", u"Division durch 0!"},
    {1003, 0, 0, u"The text entered is too long!", u"Der eingegebene Text ist zu lang!"},
    {1005, 0, 0, u"The file \"grid.csv\" was not found!", u"Die Datei \"grid.csv\" wurde nicht gefunden!", u"grid.csv"},
    {1006, 0, 0,
     u"Error when accessing file \"/home/u/a b.csv\" ! Possibly the file is already opened in another program or you "
     u"do not have sufficient access rights for the file.",
     u"Fehler beim Zugriff auf die Datei \"/home/u/a b.csv\" ! Möglicherweise ist die Datei bereits in einem anderen "
     u"Programm geöffnet oder Sie haben keine ausreichenden Zugriffsrechte für die Datei.", u"/home/u/a b.csv"},
    {1200, 0, 0, u"Invalid input!", u"Ungültige Eingabe!"},
    {1200, 3200, 5, u"Invalid input: Syntax error at character position 5!",
     u"Ungültige Eingabe: Syntaxfehler bei Zeichenposition 5!"},
    {1200, 3204, 1, u"Invalid input: Formula is to complicated because to many parentheses are nested!",
     u"Ungültige Eingabe: Formel ist zu kompliziert, da zu viele Klammern ineinander geschachtelt sind!"},
    {1200, 3205, -2147483647, u"Invalid input: Internal formula error 3205 occurred!",
     u"Ungültige Eingabe: Interner Formelfehler 3205 aufgetreten!"},
    {1200, 4000, 3, u"Invalid input: Internal formula error 4000 occurred!",
     u"Ungültige Eingabe: Interner Formelfehler 4000 aufgetreten!"},
    {2000, 0, 0, u"The highest coefficient \"a3\" must not be 0!",
     u"Der höchste Koeffizient \"a3\" darf nicht 0 sein!", u"a3"},
    {2001, 0, 0, u"Iteration method has not converged!", u"Iterationsverfahren hat nicht konvergiert!"},
    {2002, 3202, 9, u"Error evaluating coefficient \"a2\": Unexpected end of formula!",
     u"Fehler bei der Auswertung von Koeffizient \"a2\": Unerwartetes Formelende!", u"a2"},
    {2002, 0, 0, u"Error evaluating coefficient \"a2\"!", u"Fehler bei der Auswertung von Koeffizient \"a2\"!", u"a2"},
    {2003, 0, 0, u"The coefficient \"a1\" has to be real!", u"Der Koeffizient \"a1\" muss reell sein!", u"a1"},
    {2004, 0, 0, u"Overflow error when solving the equation exactly!",
     u"Überlauffehler beim exakten Lösen der Gleichung!"},
    {2005, 0, 0,
     u"The coefficient \"a0\" is not a rational number in numerator denominator representation or overflow in "
     u"numerator or denominator!",
     u"Der Koeffizient \"a0\" ist keine rationale Zahl in Zähler-Nenner-Darstellung oder Überlauf bei Zähler oder "
     u"Nenner!", u"a0"},
    {2006, 0, 0, u"Coefficient \"a4\" has to many characters!", u"Koeffizient \"a4\" hat zu viele Zeichen!", u"a4"},
    {3000, 0, 0, u"Overflow in prime number calculation!", u"Überlauf bei der Primzahlberechnung!"},
    {3100, 0, 0, u"Overflow in prime factor calculation!", u"Überlauf bei der Primfaktorberechnung!"},
    {3101, 0, 0, u"The number \"1234567890\" has to many prime factors or divisors!",
     u"Die Zahl \"1234567890\" hat zu viele Primfaktoren bzw. Teiler!", u"1234567890"},
    {3300, 3201, 4,
     u"Error evaluating coefficient \"a1\" in polynomial \"P2\": For the right parenthesis at character position 4 the "
     u"left parenthesis is missing!",
     u"Fehler bei der Auswertung des Koeffizienten \"a1\" im Polynom \"P2\": Für die Klammer bei Zeichenposition 4 "
     u"fehlt die öffnende Klammer!", u"a1", u"P2"},
    {3400, 0, 0, u"The coefficient in equation 3, column \"x2\" is too long!",
     u"Der Koeffizient in Gleichung 3, Spalte \"x2\" ist zu lang!", u"3", u"x2"},
    {3401, 3203, 12,
     u"Error evaluating coefficient in equation 4, column \"b\": Number at character position 12 is out of range or "
     u"overflow in the calculation!",
     u"Fehler bei der Auswertung des Koeffizienten in Gleichung 4, Spalte \"b\": Zahl bei Zeichenposition 12 ist "
     u"außerhalb des Bereichs oder Überlauf bei der Berechnung!", u"4", u"b"},
    {3402, 0, 0, u"The number of equation variables has to be between 2 und 128!",
     u"Die Anzahl der Gleichungsvariablen muss zwischen 2 und 128 liegen!", u"128"},
    {9000, 0, 0, u"Internal error!", u"Interner Fehler!"},
    {9001, 0, 0, u"Not yet implemented!", u"Noch nicht implementiert!"},
    {9002, 0, 0, u"String buffer overflow!", u"Stringpufferüberlauf!"},
    {4711, 0, 0, u"Unknown error 4711 occurred!", u"Unbekannter Fehler 4711 aufgetreten!"},
    {1004, 0, 0, u"Unknown error 1004 occurred!", u"Unbekannter Fehler 1004 aufgetreten!", u"ignored"},
    {0, 0, 0, u"All right.", u"Alles OK."},
};
// clang-format on

TEST_F(Messages, EveryCodeComposesItsSentenceInBothLanguages) {
    for (const auto& c : kComposeCases) {
        const MessageState state{c.code, c.param1, c.param2, c.formula_error, c.formula_error_pos};
        load_string_table(kLanguageEnglish);
        EXPECT_EQ(utf8(compose_message(state, string_table)), utf8(c.english)) << c.code << " " << c.formula_error;
        load_string_table(kLanguageGerman);
        EXPECT_EQ(utf8(compose_message(state, string_table)), utf8(c.german)) << c.code << " " << c.formula_error;
    }
}

TEST_F(Messages, StringTablesHoldEverySlotInBothLanguages) {
    const uint32_t kLanguages[] = {kLanguageEnglish, kLanguageGerman};
    for (int l = 0; l < 2; ++l) {
        load_string_table(kLanguages[l]);
        for (int slot = 0; slot < kStringSlots; ++slot) {
            ASSERT_NE(string_table.text[slot], nullptr) << slot;
            EXPECT_NE(utf8(string_table.text[slot]), "???") << kLanguages[l] << " slot " << slot;
        }
    }
}

TEST_F(Messages, FirstMessageWinsAndShowingPresentsItOnceAndClearsEveryErrorState) {
    static std::vector<std::u16string> shown;
    set_message_presenter([](std::u16string_view, std::u16string_view text) { shown.emplace_back(text); });
    num_ctx.error_code = kErrOverflow;
    show_message();  // without a message: nothing shown, nothing cleared
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(num_ctx.error_code, kErrOverflow);
    set_message(kMsgCoefficientNotReal, u"a1");
    set_message(kMsgOverflow);
    set_message(kMsgFileNotFound, u"x.csv", u"y");
    EXPECT_EQ(utf8(message_state.message_param2), "???");
    message_state.formula_error = 3202;
    show_message();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(utf8(shown[0]), "The coefficient \"a1\" has to be real!");
    EXPECT_TRUE(message_state.message_code == 0 && message_state.message_param1.empty());
    EXPECT_EQ(message_state.formula_error, 0u);
    EXPECT_EQ(num_ctx.error_code, 0u);
    set_message(kMsgOverflow);  // the next action's first message is accepted again
    EXPECT_EQ(message_state.message_code, kMsgOverflow);
}

}  // namespace
