// The per-control record and the creators of the plain controls. Every control of the program is attached: its
// handler sees each event first, and the framework then gives it dialog-like keyboard behaviour (Tab order, Enter
// for the default button, arrow keys in radio groups) and keeps the form's focus memory and default-button display.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QObject>
#include <QPushButton>
#include <QRadioButton>
#include <string_view>

#include "platform/form.h"

// Kept as the control's child and in its property "cwl_ControlData"; lives and dies with the control.
class ControlRecord : public QObject {
    Q_OBJECT
  public:
    explicit ControlRecord(QWidget* control, EventHandler handler);
    // Stops the routing: the control may still receive events while it is being destroyed.
    ~ControlRecord() override;
    EventHandler handler;
};

// Creates the record, routes the control's events through the framework and gives it the shared font.
ControlRecord* attach_control(QWidget* control, EventHandler handler = {});
// The record of an attached control, or null.
ControlRecord* control_record(const QWidget* control);

// Property that marks a control which takes Enter itself (like a multi-line edit field).
inline constexpr const char* kWantsEnterProperty = "cwl_WantsEnter";

QPushButton* create_button(QWidget* parent, int x, int y, int width, int height, std::u16string_view text);
// A drop-down list; an editable combo box's edit field is attached as well.
QComboBox* create_combo(QWidget* parent, int x, int y, int width, int height);
QLabel* create_label(QWidget* parent, int x, int y, int width, int height, std::u16string_view text);
QLineEdit* create_edit(QWidget* parent, int x, int y, int width, int height);
QRadioButton* create_radio(QWidget* parent, int x, int y, int width, int height, std::u16string_view text);
QCheckBox* create_check(QWidget* parent, int x, int y, int width, int height, std::u16string_view text);
