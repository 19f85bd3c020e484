// Process-wide values of the user interface that start-up fills and every window reads.
#pragma once

#include <QFont>
#include <QIcon>
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

// (major << 8) | minor of the running system's kernel, 0 when it cannot be asked. 0x0600 and above count as the
// newer system (the keypad's labels).
extern uint32_t os_version;

// "6.1.0-18-amd64" gives 0x0601; a release without a leading "major.minor" gives 0. The minor part is capped at 255.
uint32_t os_version_from_release(std::string_view release);
uint32_t query_os_version();

// The shared dialog font: "Segoe UI" at 12 pixels, weight 400, or the closest face this system has.
void init_ui_font();
const QFont& ui_font();

// The program icon, drawn at the sizes a window system asks for.
const QIcon& app_icon();
// Paints the icon into the square (x, y, size, size).
void paint_app_icon(class QPainter& painter, int x, int y, int size);

// The edge between the UTF-16 core and Qt.
inline QString to_qstring(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::u16string to_u16(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}
