#include "shell/safefile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shell/hooks.h"

char safe_file_problem[SAFE_FILE_PATH + 160];

namespace {

void SetProblem(SafeFile* f, int error, const char* what, const char* where = nullptr) {
    if (f->error) return;  // the first failure is the one worth telling
    f->error = error ? error : EIO;
    std::string text = std::string(f->path) + ": " + std::strerror(f->error);
    if (what) text += std::string(" (") + what + (where ? std::string(" ") + where : std::string()) + ")";
    std::snprintf(f->problem, sizeof f->problem, "%s", text.c_str());
}

bool Copy(char* into, const std::string& text) {
    if (text.size() >= SAFE_FILE_PATH) return false;
    std::memcpy(into, text.c_str(), text.size() + 1);
    return true;
}

std::string DirectoryOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where a path that does not exist will be created: at the end of a chain of
// dangling links, or the path itself. 0, or an errno.
int DanglingTarget(const char* path, std::string* target) {
    std::string at = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(at.c_str(), &st) != 0) {
            if (errno != ENOENT) return errno;
            *target = at;
            return 0;
        }
        if (!S_ISLNK(st.st_mode)) return EEXIST;  // appeared meanwhile
        char link[PATH_MAX];
        ssize_t n = readlink(at.c_str(), link, sizeof link - 1);
        if (n < 0) return errno;
        link[n] = 0;
        at = link[0] == '/' ? std::string(link) : DirectoryOf(at) + "/" + link;
    }
    return ELOOP;
}

bool WriteAll(int fd, const unsigned char* data, long size, int* error) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, static_cast<std::size_t>(size));
        if (n < 0) {
            if (errno == EINTR) continue;
            *error = errno;
            return false;
        }
        if (n == 0) {
            *error = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

bool Flush(SafeFile* f) {
    if (f->buffered == 0) return true;
    int error = 0;
    bool ok = WriteAll(f->fd, f->buffer, f->buffered, &error);
    f->buffered = 0;
    if (!ok) SetProblem(f, error, nullptr);
    return ok;
}

void CloseAndRemove(SafeFile* f) {
    if (f->fd >= 0) ::close(f->fd);
    f->fd = -1;
    if (!f->direct && f->temp[0]) ::unlink(f->temp);
    f->temp[0] = 0;
}

}  // namespace

int OpenSafeFile(SafeFile* f, const char* path) {
    f->fd = -1;
    f->direct = 0;
    f->error = 0;
    f->written = 0;
    f->buffered = 0;
    f->target[0] = f->temp[0] = f->problem[0] = 0;
    std::snprintf(f->path, sizeof f->path, "%s", path ? path : "");
    if (!path || !*path) {
        SetProblem(f, ENOENT, "no file name");
        return -1;
    }
    if (std::strlen(path) >= SAFE_FILE_PATH) {
        SetProblem(f, ENAMETOOLONG, nullptr);
        return -1;
    }

    if (std::strcmp(path, "-") == 0) {
        f->direct = 1;
        f->fd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
        if (f->fd < 0) {
            SetProblem(f, errno, "the standard output");
            return -1;
        }
        Copy(f->target, "-");
        return 0;
    }
    struct stat st;
    bool exists = stat(path, &st) == 0;
    if (!exists && errno != ENOENT) {
        SetProblem(f, errno, nullptr);
        return -1;
    }
    if (exists && S_ISDIR(st.st_mode)) {
        SetProblem(f, EISDIR, nullptr);
        return -1;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        // A device, a pipe, a terminal: it takes the bytes as they come.
        f->direct = 1;
        f->fd = ::open(path, O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (f->fd < 0) {
            SetProblem(f, errno, nullptr);
            return -1;
        }
        Copy(f->target, path);
        return 0;
    }

    std::string target;
    if (exists) {
        char real[PATH_MAX];
        if (!realpath(path, real)) {
            SetProblem(f, errno, nullptr);
            return -1;
        }
        target = real;
    } else if (int error = DanglingTarget(path, &target)) {
        SetProblem(f, error, nullptr);
        return -1;
    }
    if (!Copy(f->target, target)) {
        SetProblem(f, ENAMETOOLONG, nullptr);
        return -1;
    }

    // The temporary file sits beside the target so that the rename stays on
    // one file system; it is hidden, and its name is unique to this process.
    static unsigned counter = 0;
    std::string dir = DirectoryOf(target), base = BaseOf(target);
    if (base.size() > 200) base = "uldo";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = dir + "/." + base + "." + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".tmp";
        if (!Copy(f->temp, temp)) {
            SetProblem(f, ENAMETOOLONG, nullptr);
            return -1;
        }
        f->fd = ::open(f->temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (f->fd >= 0 || errno != EEXIST) break;
    }
    if (f->fd < 0) {
        int error = errno;
        f->temp[0] = 0;
        if (error == ENOENT || error == ENOTDIR) SetProblem(f, error, nullptr);  // no such directory
        else SetProblem(f, error, "creating a temporary file in", dir.c_str());
        return -1;
    }
    if (exists) {
        // The new file takes the place of the old one: same owner where we may, same mode.
        if (fchown(f->fd, st.st_uid, st.st_gid) != 0) { /* not ours to give away: keep ours */ }
        fchmod(f->fd, st.st_mode & 07777);
    }
    return 0;
}

int WriteSafeFile(SafeFile* f, const void* bytes, long count) {
    if (f->fd < 0 || f->error) return -1;
    if (count <= 0) return 0;
    f->written += count;
    auto* data = static_cast<const unsigned char*>(bytes);
    if (f->buffered + count > SAFE_FILE_BUFFER) {
        if (!Flush(f)) return -1;
        if (count >= SAFE_FILE_BUFFER) {
            int error = 0;
            if (!WriteAll(f->fd, data, count, &error)) {
                SetProblem(f, error, nullptr);
                return -1;
            }
            return 0;
        }
    }
    std::memcpy(f->buffer + f->buffered, data, static_cast<std::size_t>(count));
    f->buffered += count;
    return 0;
}

int CommitSafeFile(SafeFile* f) {
    if (f->fd < 0) {
        if (!f->error) SetProblem(f, EBADF, "not open");
        return -1;
    }
    bool ok = !f->error && Flush(f);
    // A pipe or a terminal has nothing to sync.
    if (ok && !f->direct && ::fsync(f->fd) != 0) {
        SetProblem(f, errno, nullptr);
        ok = false;
    }
    int fd = f->fd;
    f->fd = -1;
    if (::close(fd) != 0 && ok) {
        SetProblem(f, errno, nullptr);
        ok = false;
    }
    if (f->direct) return ok ? 0 : -1;
    if (ok) {
        // Never rename over something that is not a regular file, even one that appeared meanwhile.
        struct stat st;
        if (lstat(f->target, &st) == 0 && !S_ISREG(st.st_mode)) {
            SetProblem(f, EEXIST, "something other than a regular file stands at", f->target);
            ok = false;
        } else if (std::rename(f->temp, f->target) != 0) {
            SetProblem(f, errno, "replacing", f->target);
            ok = false;
        }
    }
    if (!ok) {
        ::unlink(f->temp);
        f->temp[0] = 0;
        return -1;
    }
    f->temp[0] = 0;
    // The rename itself reaches the disk with the directory.
    int dir = ::open(DirectoryOf(f->target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return 0;
}

void DiscardSafeFile(SafeFile* f) {
    f->buffered = 0;
    CloseAndRemove(f);
}

int WriteFileAtomically(const char* path, const void* data, long size) {
    static SafeFile file;
    safe_file_problem[0] = 0;
    int result = -1;
    if (OpenSafeFile(&file, path) == 0 && WriteSafeFile(&file, data, size) == 0 && CommitSafeFile(&file) == 0)
        result = 0;
    else
        DiscardSafeFile(&file);
    if (result != 0) std::snprintf(safe_file_problem, sizeof safe_file_problem, "%s", file.problem);
    return result;
}

std::string FileProblemText(const char* path, int error_number) {
    return std::string(path ? path : "") + ": " + std::strerror(error_number ? error_number : EIO);
}

void ReportFileError(const char* first_line, const char* path, int error_number) {
    std::string text = std::string(first_line) + "\n" + FileProblemText(path, error_number);
    ReportMessage("", text.c_str());
}
