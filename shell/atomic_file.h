// Replacing a file so that a crash or a full disk never leaves it half written: the content goes to a temporary
// file in the same folder, is flushed to disk, and the temporary file is renamed over the target.
#pragma once

#include <filesystem>
#include <string_view>

// Steps at which a test can make the replacement fail as the system would (full disk, lost permission).
enum AtomicWriteStep : int {
    kAtomicStepCreate = 0,  // creating the temporary file
    kAtomicStepWrite = 1,   // writing the content (fails after half of it has been written)
    kAtomicStepSync = 2,    // flushing the temporary file to disk
    kAtomicStepRename = 3,  // replacing the target
};
// Returns true for a step that is to fail; null in the program.
using AtomicWriteFault = bool (*)(AtomicWriteStep step);

// Writes content to path through a temporary file. The new file keeps the permissions of the one it replaces; a
// file that did not exist is private to the user when new_file_private is set, else it gets the umask's default.
// On failure the temporary file is removed and the target is untouched.
bool write_file_atomically(const std::filesystem::path& path, std::string_view content, bool new_file_private,
                           AtomicWriteFault fault);
