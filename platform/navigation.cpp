#include "platform/navigation.h"

#include <algorithm>

namespace {

void collect(QWidget* parent, std::vector<QWidget*>& out) {
    for (QObject* child : parent->children()) {
        QWidget* w = qobject_cast<QWidget*>(child);
        if (w == nullptr || w->isWindow()) continue;
        out.push_back(w);
        collect(w, out);
    }
}

}  // namespace

bool is_tab_stop_candidate(const QWidget* w) {
    return w != nullptr && !w->isWindow() && w->isVisible() && w->isEnabled() &&
           (w->focusPolicy() & Qt::TabFocus) != 0 && w->focusProxy() == nullptr;
}

std::vector<QWidget*> widgets_in_tab_order(QWidget* root) {
    std::vector<QWidget*> out;
    if (root != nullptr) collect(root, out);
    return out;
}

QWidget* first_tab_stop(QWidget* root) {
    for (QWidget* w : widgets_in_tab_order(root)) {
        if (is_tab_stop_candidate(w)) return w;
    }
    return nullptr;
}

std::vector<QRadioButton*> radio_group(QRadioButton* button) {
    std::vector<QRadioButton*> group;
    QWidget* parent = button->parentWidget();
    if (parent == nullptr) return {button};
    std::vector<QWidget*> siblings;
    for (QObject* child : parent->children()) {
        if (QWidget* w = qobject_cast<QWidget*>(child)) siblings.push_back(w);
    }
    auto at = std::find(siblings.begin(), siblings.end(), button);
    auto first = at;
    while (first != siblings.begin() && qobject_cast<QRadioButton*>(*(first - 1)) != nullptr) --first;
    for (auto it = first; it != siblings.end(); ++it) {
        QRadioButton* radio = qobject_cast<QRadioButton*>(*it);
        if (radio == nullptr) break;
        group.push_back(radio);
    }
    return group;
}

QWidget* next_tab_stop(QWidget* root, QWidget* from, bool forward) {
    std::vector<QWidget*> order = widgets_in_tab_order(root);
    if (order.empty()) return nullptr;
    QWidget* start = from;
    if (QRadioButton* radio = qobject_cast<QRadioButton*>(from)) {
        std::vector<QRadioButton*> group = radio_group(radio);
        auto visible = [](QRadioButton* r) { return r->isVisible(); };
        if (forward) {
            auto last = std::find_if(group.rbegin(), group.rend(), visible);
            if (last != group.rend()) start = *last;
        } else {
            auto first = std::find_if(group.begin(), group.end(), visible);
            if (first != group.end()) start = *first;
        }
    }
    const auto n = static_cast<std::ptrdiff_t>(order.size());
    auto at = std::find(order.begin(), order.end(), start);
    std::ptrdiff_t i = at == order.end() ? (forward ? -1 : n) : at - order.begin();
    for (std::ptrdiff_t step = 0; step < n; ++step) {
        i = forward ? (i + 1) % n : (i - 1 + n) % n;
        QWidget* w = order[static_cast<size_t>(i)];
        if (w != from && is_tab_stop_candidate(w)) return w;
    }
    return nullptr;
}

QWidget* tab_target(QWidget* found) {
    QRadioButton* radio = qobject_cast<QRadioButton*>(found);
    if (radio == nullptr) return found;
    std::vector<QRadioButton*> group = radio_group(radio);
    for (QRadioButton* r : group) {
        if (r->isChecked() && r->isVisible() && r->isEnabled()) return r;
    }
    for (QRadioButton* r : group) {
        if (r->isVisible()) {
            r->setChecked(true);
            return r;
        }
    }
    return found;
}

QWidget* move_to_next_tab_stop(QWidget* from, bool forward) {
    QWidget* found = next_tab_stop(from->window(), from, forward);
    if (found == nullptr) return nullptr;
    QWidget* target = tab_target(found);
    target->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return target;
}

QRadioButton* neighbour_in_radio_group(QRadioButton* button, bool forward) {
    std::vector<QRadioButton*> group = radio_group(button);
    auto at = std::find(group.begin(), group.end(), button);
    if (at == group.end()) return nullptr;
    if (forward) {
        for (auto it = at + 1; it != group.end(); ++it) {
            if ((*it)->isVisible()) return *it;
        }
    } else {
        for (auto it = at; it != group.begin();) {
            --it;
            if ((*it)->isVisible()) return *it;
        }
    }
    return nullptr;
}
