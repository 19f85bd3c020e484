#include "platform/tab_control.h"

#include <QEvent>
#include <QPainter>
#include <QStyleOptionTabWidgetFrame>

#include "platform/control.h"
#include "platform/ui_globals.h"

namespace {

// A page passes its title on to its tab.
class TabPage : public QWidget {
  public:
    TabPage(TabControl* owner) : QWidget(owner), owner_(owner) {
        setObjectName("cwl_TabPage");
        setAutoFillBackground(true);
    }

  protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::WindowTitleChange) {
            const int index = find_tab_of_page(owner_, this);
            if (index >= 0) owner_->tabs->setTabText(index, windowTitle());
        }
        return QWidget::event(e);
    }

  private:
    TabControl* owner_;
};

}  // namespace

TabControl::TabControl(QWidget* parent) : QWidget(parent), tabs(new QTabBar(this)) {
    tabs->setDrawBase(false);
    tabs->setExpanding(false);
    tabs->setFocusPolicy(Qt::StrongFocus);
    attach_control(tabs);
    connect(tabs, &QTabBar::currentChanged, this, [this](int) { show_selected_page(); });
}

QRect TabControl::display_area() const {
    const int top = tabs->sizeHint().height();
    return QRect(2, top + 2, width() - 4, height() - top - 4);
}

void TabControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    const int top = tabs->sizeHint().height();
    frame.rect = QRect(0, top, width(), height() - top);
    frame.tabBarSize = tabs->size();
    frame.tabBarRect = tabs->geometry();
    frame.shape = QTabBar::RoundedNorth;
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, this);
}

void TabControl::resizeEvent(QResizeEvent*) {
    tabs->setGeometry(0, 0, width(), tabs->sizeHint().height());
    for (int i = 0; i < tabs->count(); ++i) {
        if (QWidget* page = tab_page_at(this, i)) page->setGeometry(display_area());
    }
}

void TabControl::show_selected_page() {
    const int selected = tabs->currentIndex();
    for (int i = 0; i < tabs->count(); ++i) {
        if (i != selected) {
            if (QWidget* page = tab_page_at(this, i)) page->hide();
        }
    }
    if (QWidget* page = tab_page_at(this, selected)) page->show();
}

TabControl* create_tab_control(QWidget* parent, int x, int y, int width, int height) {
    auto* control = new TabControl(parent);
    control->setFont(ui_font());
    control->tabs->setFont(ui_font());
    control->setGeometry(x, y, width, height);
    control->tabs->setGeometry(0, 0, width, control->tabs->sizeHint().height());
    control->show();
    return control;
}

QWidget* create_tab_page(TabControl* control, std::u16string_view text) {
    auto* page = new TabPage(control);
    page->setFont(ui_font());
    const int index = control->tabs->addTab(to_qstring(text));
    control->tabs->setTabData(index, QVariant::fromValue(static_cast<QObject*>(page)));
    control->tabs->setGeometry(0, 0, control->width(), control->tabs->sizeHint().height());
    page->setGeometry(control->display_area());
    page->setWindowTitle(to_qstring(text));
    page->setVisible(index == control->tabs->currentIndex());
    return page;
}

int find_tab_of_page(const TabControl* control, const QWidget* page) {
    for (int i = 0; i < control->tabs->count(); ++i) {
        if (tab_page_at(control, i) == page) return i;
    }
    return -1;
}

QWidget* tab_page_at(const TabControl* control, int index) {
    if (index < 0 || index >= control->tabs->count()) return nullptr;
    return qobject_cast<QWidget*>(control->tabs->tabData(index).value<QObject*>());
}
