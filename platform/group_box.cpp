#include "platform/group_box.h"

#include <QPainter>

#include "platform/control.h"
#include "platform/ui_globals.h"

namespace {

// An etched frame whose top line runs through the middle of the caption, so that children placed 20 pixels below
// the top sit inside the frame.
class EtchedGroupBox : public QGroupBox {
  public:
    EtchedGroupBox(const QString& text, QWidget* parent) : QGroupBox(text, parent) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const int top = metrics.height() / 2;
        const QRect frame = rect().adjusted(0, top, -2, -2);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(frame);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawRect(frame.translated(1, 1));
        if (title().isEmpty()) return;
        const QRect caption(6, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
        painter.fillRect(caption, palette().color(QPalette::Window));
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        painter.drawText(caption, Qt::AlignCenter, title());
    }
};

}  // namespace

QGroupBox* create_group_box(QWidget* parent, int x, int y, int width, int height, std::u16string_view text,
                            EventHandler handler) {
    auto* group = new EtchedGroupBox(to_qstring(text), parent);
    group->setGeometry(x, y, width, height);
    group->setFocusPolicy(Qt::NoFocus);
    attach_control(group, std::move(handler));
    group->show();
    return group;
}
