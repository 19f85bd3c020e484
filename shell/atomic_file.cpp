#include "shell/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace {

bool write_all(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// mkstemp creates the file private to the user.
void set_permissions(int fd, const std::filesystem::path& path, bool new_file_private) {
    struct stat old;
    if (::stat(path.c_str(), &old) == 0) {
        ::fchmod(fd, old.st_mode & 07777);
        return;
    }
    if (new_file_private) return;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
}

// Makes the rename itself durable; a failure here no longer endangers either file, so it is not reported.
void sync_folder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

bool write_file_atomically(const std::filesystem::path& path, std::string_view content, bool new_file_private,
                           AtomicWriteFault fault) {
    auto fails = [fault](AtomicWriteStep step) { return fault != nullptr && fault(step); };
    std::string temp = path.native() + ".XXXXXX";
    const int fd = fails(kAtomicStepCreate) ? -1 : ::mkstemp(temp.data());
    if (fd < 0) return false;
    set_permissions(fd, path, new_file_private);

    bool ok;
    if (fails(kAtomicStepWrite)) {
        write_all(fd, content.data(), content.size() / 2);
        ok = false;
    } else {
        ok = write_all(fd, content.data(), content.size());
    }
    ok = ok && !fails(kAtomicStepSync) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && !fails(kAtomicStepRename) && std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    const std::filesystem::path folder = path.parent_path();
    sync_folder(folder.empty() ? std::filesystem::path(".") : folder);
    return true;
}
