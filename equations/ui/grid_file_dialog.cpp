#include "equations/ui/grid_file_dialog.h"

#include <QFileDialog>
#include <algorithm>

#include "platform/ui_globals.h"
#include "shell/string_table.h"

namespace {

constexpr int kCsvFilesSlot = 84;
constexpr int kAllFilesSlot = 85;

// A dialog of the program's own look (the same on every platform), starting at the remembered filter; the chosen
// file, or empty. The filter then chosen is remembered.
QString run_file_dialog(QFileDialog& dialog, int& filter) {
    const QStringList filters = grid_file_filters();
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.value(std::clamp(filter, 0, static_cast<int>(filters.size()) - 1)));
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return {};
    filter = std::max(0, static_cast<int>(filters.indexOf(dialog.selectedNameFilter())));
    return files.first();
}

}  // namespace

QStringList grid_file_filters() {
    return {to_qstring(string_table.text[kCsvFilesSlot]) + QStringLiteral(" (*.csv)"),
            to_qstring(string_table.text[kAllFilesSlot]) + QStringLiteral(" (*)")};
}

std::u16string csv_file_name(std::u16string_view name) {
    std::u16string result(name);
    const size_t separator = name.find_last_of(u'/');
    const size_t dot = name.find_last_of(u'.');
    const bool has_extension =
        dot != std::u16string_view::npos && (separator == std::u16string_view::npos || dot > separator);
    if (!has_extension && name.size() + 4 < kFileNameChars) result += u".csv";
    return result;
}

QString choose_grid_file_to_load(QWidget* owner, std::u16string_view title, GridFileDialogMemory& memory) {
    QFileDialog dialog(owner, to_qstring(title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return run_file_dialog(dialog, memory.load_filter);
}

QString choose_grid_file_to_save(QWidget* owner, std::u16string_view title, GridFileDialogMemory& memory) {
    QFileDialog dialog(owner, to_qstring(title));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!memory.save_name.isEmpty()) dialog.selectFile(memory.save_name);
    const QString chosen = run_file_dialog(dialog, memory.save_filter);
    if (chosen.isEmpty()) return {};
    memory.save_name = to_qstring(csv_file_name(to_u16(chosen)));
    return memory.save_name;
}
