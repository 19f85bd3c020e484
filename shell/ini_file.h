// A small INI reader and writer with the semantics of the classic private-profile functions: section and key
// names match without regard to ASCII case, values are returned as stored (blanks around key and value trimmed),
// writing a null value deletes the key, and every line the program does not touch is kept as it was.
// The file is UTF-8 on disk and UTF-16 in memory; it is saved atomically.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum IniStatus : int {
    kIniOk = 0,
    kIniMissing = 1,      // no such file: reads as empty
    kIniDamaged = 2,      // NUL bytes, invalid UTF-8, an oversized file or line: reads as empty
    kIniReadFailed = 3,   // the file exists but cannot be read: reads as empty
    kIniWriteFailed = 4,  // the new file could not be written; the old file is untouched
};

inline constexpr size_t kIniMaxFileBytes = 4u << 20;
inline constexpr size_t kIniMaxLineBytes = 65536;

// The file as a list of lines without their line ends. Lines are interpreted when looked up, so comments, blank
// lines, unknown sections and unknown keys survive a load-modify-save cycle unchanged.
struct IniFile {
    std::vector<std::u16string> lines;
};

// Parses file content. A damaged content leaves ini empty and returns kIniDamaged.
IniStatus ini_parse(IniFile& ini, std::string_view bytes);
IniStatus ini_load(IniFile& ini, const std::filesystem::path& path);

// The file content: lines joined by LF, UTF-8.
std::string ini_serialize(const IniFile& ini);

// Writes a temporary file beside path, flushes it to disk and renames it over path, so that a failure at any step
// leaves the previous file as it was and no temporary file behind.
IniStatus ini_save(const IniFile& ini, const std::filesystem::path& path);

// The value of the first matching key in the first matching section; nullopt when either is missing.
std::optional<std::u16string> ini_get(const IniFile& ini, std::u16string_view section, std::u16string_view key);

// Replaces the value of the key, adding the key (at the end of its section) or the section (at the end of the file)
// when missing. A null value deletes the key. A value is cut at its first CR, LF or NUL, which would end the line.
void ini_set(IniFile& ini, std::u16string_view section, std::u16string_view key,
             std::optional<std::u16string_view> value);

// UTF-8 to UTF-16; false for malformed input (overlong forms, surrogates, code points above U+10FFFF).
bool utf8_to_utf16(std::string_view bytes, std::u16string& text);
// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8(std::u16string_view text);

// Steps of ini_save at which a test can make the save fail as the system would (full disk, lost permission).
enum IniWriteStep : int {
    kIniStepCreate = 0,  // creating the temporary file
    kIniStepWrite = 1,   // writing the content (fails after half of it has been written)
    kIniStepSync = 2,    // flushing the temporary file to disk
    kIniStepRename = 3,  // replacing the old file
};
using IniFaultHook = bool (*)(IniWriteStep step);
// When set and returning true for a step, that step fails. Null in the program.
extern IniFaultHook ini_fault_hook;
