#include "platform/ui_globals.h"

#include <sys/utsname.h>

#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

uint32_t os_version = 0;

uint32_t os_version_from_release(std::string_view release) {
    uint32_t part[2] = {0, 0};
    size_t i = 0;
    for (int p = 0; p < 2; ++p) {
        size_t start = i;
        while (i < release.size() && release[i] >= '0' && release[i] <= '9') {
            if (part[p] < 1000) part[p] = part[p] * 10 + static_cast<uint32_t>(release[i] - '0');
            ++i;
        }
        if (i == start) return 0;
        if (p == 0) {
            if (i >= release.size() || release[i] != '.') return 0;
            ++i;
        }
    }
    if (part[0] > 0xFFFFFF) return 0;
    return (part[0] << 8) | (part[1] > 255 ? 255 : part[1]);
}

uint32_t query_os_version() {
    utsname info{};
    if (uname(&info) != 0) return 0;
    return os_version_from_release(info.release);
}

namespace {

QFont& font_storage() {
    static QFont font;
    return font;
}

}  // namespace

void init_ui_font() {
    // Segoe UI where it exists; otherwise a narrow sans face, because the pixel layout was measured with it.
    const QStringList families = QFontDatabase::families();
    QString chosen = "Segoe UI";
    for (const char* name : {"Segoe UI", "Noto Sans", "DejaVu Sans", "Liberation Sans"}) {
        if (families.contains(name)) {
            chosen = name;
            break;
        }
    }
    QFont font(chosen);
    font.setPixelSize(12);
    font.setWeight(QFont::Normal);
    font_storage() = font;
}

const QFont& ui_font() {
    return font_storage();
}

void paint_app_icon(QPainter& painter, int x, int y, int size) {
    // Drawn on a 64-unit grid: a blue tile, a white radical sign and an orange pi under its bar.
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(x, y);
    painter.scale(size / 64.0, size / 64.0);

    QLinearGradient tile(0, 0, 0, 64);
    tile.setColorAt(0, QColor(0x2f, 0x6d, 0xb5));
    tile.setColorAt(1, QColor(0x17, 0x3f, 0x73));
    painter.setPen(Qt::NoPen);
    painter.setBrush(tile);
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 11, 11);

    QPen radical(Qt::white, 4.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(radical);
    painter.setBrush(Qt::NoBrush);
    QPainterPath root;
    root.moveTo(9, 35);
    root.lineTo(15, 31);
    root.lineTo(23, 50);
    root.lineTo(32, 13);
    root.lineTo(56, 13);
    painter.drawPath(root);

    QPen pi(QColor(0xff, 0xa7, 0x26), 4.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pi);
    painter.drawLine(QPointF(33, 25), QPointF(54, 25));
    painter.drawLine(QPointF(39, 25), QPointF(37, 48));
    QPainterPath leg;
    leg.moveTo(48, 25);
    leg.lineTo(48, 43);
    leg.quadTo(48, 48, 53, 47);
    painter.drawPath(leg);
    painter.restore();
}

const QIcon& app_icon() {
    static const QIcon icon = [] {
        QIcon result;
        for (int size : {16, 24, 32, 48, 64, 128, 256}) {
            QPixmap pixmap(size, size);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            paint_app_icon(painter, 0, 0, size);
            painter.end();
            result.addPixmap(pixmap);
        }
        return result;
    }();
    return icon;
}
