// Preloaded into the program (LD_PRELOAD) by the end-to-end tests, to stand
// in for file systems whose syncs misbehave:
// - VELKOR_SHIM_FOLDER_SYNC=EINVAL: fsync and fdatasync on a folder fail
//   with EINVAL, as on some network and FUSE file systems;
// - VELKOR_SHIM_HANG_SYNC_OF=<text>: fsync and fdatasync on a file whose
//   path holds the text never return, as on a network folder whose server
//   went away.
// Every other sync is the C library's.

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using SyncCall = int (*)(int);

bool isFolder(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode);
}

bool pathHolds(int fd, const char* text) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char path[PATH_MAX];
    const ssize_t length = ::readlink(link, path, sizeof path - 1);
    if (length < 0) {
        return false;
    }
    path[length] = '\0';
    return std::strstr(path, text) != nullptr;
}

int fakedSync(int fd, const char* name) {
    const char* folderSync = std::getenv("VELKOR_SHIM_FOLDER_SYNC");
    if (folderSync != nullptr && std::strcmp(folderSync, "EINVAL") == 0 && isFolder(fd)) {
        errno = EINVAL;
        return -1;
    }
    const char* hangOf = std::getenv("VELKOR_SHIM_HANG_SYNC_OF");
    if (hangOf != nullptr && *hangOf != '\0' && pathHolds(fd, hangOf)) {
        for (;;) {
            ::pause();
        }
    }
    const auto real = reinterpret_cast<SyncCall>(::dlsym(RTLD_NEXT, name));
    return real(fd);
}

} // namespace

extern "C" int fsync(int fd) {
    return fakedSync(fd, "fsync");
}

extern "C" int fdatasync(int fd) {
    return fakedSync(fd, "fdatasync");
}
