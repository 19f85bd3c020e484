// The file dialogs of the linear-systems window: two filters ("CSV files" and "All files"), the filter last chosen
// remembered separately for loading and saving, and the name last saved under offered again by "Save as".
#pragma once

#include <QString>
#include <QWidget>
#include <string>
#include <string_view>

// Characters of a file name, its terminator included.
inline constexpr size_t kFileNameChars = 260;

struct GridFileDialogMemory {
    int load_filter = 0;
    int save_filter = 0;
    // The last name chosen for saving, ".csv" included when it was appended.
    QString save_name;
};

// The dialogs' filter list, in the order of the remembered indexes: CSV files, then all files.
QStringList grid_file_filters();

// The name with ".csv" appended when its last path component has no "."; unchanged when the longer name would not
// fit into kFileNameChars.
std::u16string csv_file_name(std::u16string_view name);

// An open-file dialog for an existing file; the chosen name, or empty when it was cancelled.
QString choose_grid_file_to_load(QWidget* owner, std::u16string_view title, GridFileDialogMemory& memory);

// A save-file dialog that asks before overwriting and starts with the remembered name; the chosen name with
// csv_file_name applied (and remembered), or empty when it was cancelled.
QString choose_grid_file_to_save(QWidget* owner, std::u16string_view title, GridFileDialogMemory& memory);
