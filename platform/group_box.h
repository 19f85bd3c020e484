// A framed group with a caption; radio buttons created inside it form one group.
#pragma once

#include <QGroupBox>
#include <string_view>

#include "platform/form.h"

QGroupBox* create_group_box(QWidget* parent, int x, int y, int width, int height, std::u16string_view text,
                            EventHandler handler = {});
