// A tab control: a row of tabs over a framed display area, with one page per tab. Only the selected tab's page is
// visible. A page's window title is its tab's label and follows every later change of the title.
#pragma once

#include <QTabBar>
#include <QWidget>
#include <string_view>

class TabControl : public QWidget {
    Q_OBJECT
  public:
    explicit TabControl(QWidget* parent);
    QTabBar* tabs;
    // The area below the tabs, inside the frame, in the control's coordinates.
    QRect display_area() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void show_selected_page();
};

TabControl* create_tab_control(QWidget* parent, int x, int y, int width, int height);

// Appends a tab with a page covering the display area; the page is hidden unless its tab is the selected one.
QWidget* create_tab_page(TabControl* control, std::u16string_view text);

// The index of the tab whose page is `page`, or -1.
int find_tab_of_page(const TabControl* control, const QWidget* page);

QWidget* tab_page_at(const TabControl* control, int index);
