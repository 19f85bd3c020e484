#include "shell/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "shell/atomic_file.h"

IniFaultHook ini_fault_hook = nullptr;

namespace {

bool fault(IniWriteStep step) {
    return ini_fault_hook != nullptr && ini_fault_hook(step);
}

bool is_blank(char16_t c) {
    return c == u' ' || c == u'\t';
}

std::u16string_view trim(std::u16string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

char16_t ascii_lower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

bool same_name(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    }
    return true;
}

// The name of a section header line "[name]"; nullopt for any other line.
std::optional<std::u16string_view> section_of(std::u16string_view line) {
    line = trim(line);
    if (line.empty() || line.front() != u'[') return std::nullopt;
    size_t close = line.find(u']');
    if (close == std::u16string_view::npos) return std::nullopt;
    return trim(line.substr(1, close - 1));
}

struct KeyLine {
    std::u16string_view key;
    std::u16string_view value;
};

// A "key=value" line; comments (";" or "#") and lines without "=" are not keys.
std::optional<KeyLine> key_of(std::u16string_view line) {
    std::u16string_view t = trim(line);
    if (t.empty() || t.front() == u';' || t.front() == u'#' || t.front() == u'[') return std::nullopt;
    size_t eq = t.find(u'=');
    if (eq == std::u16string_view::npos) return std::nullopt;
    return KeyLine{trim(t.substr(0, eq)), trim(t.substr(eq + 1))};
}

// Lines [begin, end) of the first section with the given name; begin is the line after the header.
struct SectionRange {
    size_t header;
    size_t end;
};

std::optional<SectionRange> find_section(const IniFile& ini, std::u16string_view section) {
    for (size_t i = 0; i < ini.lines.size(); ++i) {
        auto name = section_of(ini.lines[i]);
        if (!name || !same_name(*name, section)) continue;
        size_t end = i + 1;
        while (end < ini.lines.size() && !section_of(ini.lines[end])) ++end;
        return SectionRange{i, end};
    }
    return std::nullopt;
}

std::optional<size_t> find_key(const IniFile& ini, const SectionRange& range, std::u16string_view key) {
    for (size_t i = range.header + 1; i < range.end; ++i) {
        auto kv = key_of(ini.lines[i]);
        if (kv && same_name(kv->key, key)) return i;
    }
    return std::nullopt;
}

}  // namespace

bool utf8_to_utf16(std::string_view bytes, std::u16string& text) {
    text.clear();
    text.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        auto b0 = static_cast<uint8_t>(bytes[i]);
        if (b0 < 0x80) {
            text.push_back(b0);
            ++i;
            continue;
        }
        int extra;
        uint32_t cp;
        uint32_t min;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            extra = 1, cp = b0 & 0x1F, min = 0x80;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            extra = 2, cp = b0 & 0x0F, min = 0x800;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            extra = 3, cp = b0 & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (bytes.size() - i <= static_cast<size_t>(extra)) return false;
        for (int k = 1; k <= extra; ++k) {
            auto b = static_cast<uint8_t>(bytes[i + k]);
            if ((b & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (b & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            text.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(cp));
        }
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

std::string utf16_to_utf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

IniStatus ini_parse(IniFile& ini, std::string_view bytes) {
    ini.lines.clear();
    if (bytes.size() > kIniMaxFileBytes || bytes.find('\0') != std::string_view::npos) return kIniDamaged;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    std::vector<std::u16string> lines;
    while (!bytes.empty()) {
        size_t nl = bytes.find('\n');
        std::string_view line = bytes.substr(0, nl);
        bytes.remove_prefix(nl == std::string_view::npos ? bytes.size() : nl + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() > kIniMaxLineBytes) return kIniDamaged;
        std::u16string text;
        if (!utf8_to_utf16(line, text)) return kIniDamaged;
        lines.push_back(std::move(text));
    }
    ini.lines = std::move(lines);
    return kIniOk;
}

IniStatus ini_load(IniFile& ini, const std::filesystem::path& path) {
    ini.lines.clear();
    std::error_code ec;
    auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) return kIniMissing;
    if (ec || !std::filesystem::is_regular_file(status)) return kIniReadFailed;
    auto size = std::filesystem::file_size(path, ec);
    if (ec) return kIniReadFailed;
    if (size > kIniMaxFileBytes) return kIniDamaged;
    std::ifstream in(path, std::ios::binary);
    if (!in) return kIniReadFailed;
    std::string bytes;
    bytes.resize(static_cast<size_t>(size));
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    if (in.bad()) return kIniReadFailed;
    return ini_parse(ini, bytes);
}

std::string ini_serialize(const IniFile& ini) {
    std::string out;
    for (const auto& line : ini.lines) {
        out += utf16_to_utf8(line);
        out += '\n';
    }
    return out;
}

IniStatus ini_save(const IniFile& ini, const std::filesystem::path& path) {
    const AtomicWriteFault fails = [](AtomicWriteStep step) { return fault(static_cast<IniWriteStep>(step)); };
    return write_file_atomically(path, ini_serialize(ini), true, fails) ? kIniOk : kIniWriteFailed;
}

std::optional<std::u16string> ini_get(const IniFile& ini, std::u16string_view section, std::u16string_view key) {
    auto range = find_section(ini, section);
    if (!range) return std::nullopt;
    auto line = find_key(ini, *range, key);
    if (!line) return std::nullopt;
    return std::u16string(key_of(ini.lines[*line])->value);
}

void ini_set(IniFile& ini, std::u16string_view section, std::u16string_view key,
             std::optional<std::u16string_view> value) {
    auto range = find_section(ini, section);
    if (!value) {
        if (!range) return;
        if (auto line = find_key(ini, *range, key)) ini.lines.erase(ini.lines.begin() + static_cast<ptrdiff_t>(*line));
        return;
    }
    std::u16string_view v = *value;
    v = v.substr(0, v.find_first_of(std::u16string_view(u"\r\n\0", 3)));
    std::u16string text(key);
    text += u'=';
    text += v;
    if (!range) {
        std::u16string header(1, u'[');
        header += section;
        header += u']';
        ini.lines.push_back(std::move(header));
        ini.lines.push_back(std::move(text));
        return;
    }
    if (auto line = find_key(ini, *range, key)) {
        ini.lines[*line] = std::move(text);
        return;
    }
    // A new key goes after the last non-blank line of its section, before the blank lines that separate it from
    // the next section.
    size_t at = range->end;
    while (at > range->header + 1 && trim(ini.lines[at - 1]).empty()) --at;
    ini.lines.insert(ini.lines.begin() + static_cast<ptrdiff_t>(at), std::move(text));
}
