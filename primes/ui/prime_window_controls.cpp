#include "primes/ui/prime_window_controls.h"

#include <algorithm>

#include "platform/control.h"
#include "platform/ui_globals.h"

namespace {

constexpr int kTextLimit = 0x7FFFFFFE;
// Space between a group's widest button and its right edge.
constexpr int kGroupMargin = 5;

}  // namespace

QPlainTextEdit* create_text_box(QWidget* parent, int x, int y, int width, int height) {
    auto* box = new QPlainTextEdit(parent);
    box->setGeometry(x, y, width, height);
    box->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    box->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    attach_control(box);
    box->show();
    return box;
}

QLineEdit* create_number_box(QWidget* parent, int x, int y, int width, int height) {
    QLineEdit* box = create_edit(parent, x, y, width, height);
    box->setMaxLength(kTextLimit);
    return box;
}

void fit_to_text(QAbstractButton* button) {
    const int needed = button->sizeHint().width();
    if (needed > button->width()) button->resize(needed, button->height());
}

int fit_group(QGroupBox* group) {
    int right = 0;
    for (QAbstractButton* button : group->findChildren<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly)) {
        fit_to_text(button);
        right = std::max(right, button->geometry().right() + 1);
    }
    const int growth = std::max(0, right + kGroupMargin - group->width());
    group->resize(group->width() + growth, group->height());
    return growth;
}

void set_text_box(QPlainTextEdit* box, std::u16string_view text) {
    const QString value = to_qstring(text);
    if (box->toPlainText() != value) box->setPlainText(value);
}

void set_number_box(QLineEdit* box, std::u16string_view text) {
    const QString value = to_qstring(text);
    if (box->text() != value) box->setText(value);
}

std::u16string format_count_text(std::u16string_view pattern, std::initializer_list<int> values) {
    std::u16string text;
    const int* next = values.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == u'%' && i + 1 < pattern.size() && pattern[i + 1] == u'd' && next != values.end()) {
            for (const char c : std::to_string(*next++)) text.push_back(static_cast<char16_t>(c));
            ++i;
        } else {
            text.push_back(pattern[i]);
        }
    }
    return text;
}
