#include "pending_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace {
// Readable by everyone, as a file made by fopen would be under the usual umask.
constexpr mode_t createdFileMode = 0644;
}  // namespace

PendingFile::PendingFile(std::string destination) : destination_(std::move(destination)) {
    struct stat existing {};
    if (stat(destination_.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
        error_ = "cannot create " + destination_ + ": it is a folder";
        return;
    }
    // Hidden, in the destination's folder, so the rename never crosses file systems.
    const size_t slash = destination_.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : destination_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? destination_ : destination_.substr(slash + 1);
    std::string pattern = folder + "." + name + ".partial-XXXXXX";
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    const int descriptor = mkstemp(path.data());
    if (descriptor < 0) {
        error_ = "cannot create " + destination_ + ": " + std::strerror(errno);
        return;
    }
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(descriptor, createdFileMode & ~mask);
    close(descriptor);
    temporaryPath_ = path.data();
}

PendingFile::~PendingFile() { discard(); }

PendingFile::PendingFile(PendingFile&& other) noexcept
    : destination_(std::move(other.destination_)),
      temporaryPath_(std::exchange(other.temporaryPath_, {})),
      error_(std::move(other.error_)) {}

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept {
    if (this != &other) {
        discard();
        destination_ = std::move(other.destination_);
        temporaryPath_ = std::exchange(other.temporaryPath_, {});
        error_ = std::move(other.error_);
    }
    return *this;
}

bool PendingFile::commit() {
    if (temporaryPath_.empty()) {
        return false;
    }
    if (std::rename(temporaryPath_.c_str(), destination_.c_str()) != 0) {
        error_ = "cannot write " + destination_ + ": " + std::strerror(errno);
        discard();
        return false;
    }
    temporaryPath_.clear();
    return true;
}

void PendingFile::discard() {
    if (!temporaryPath_.empty()) {
        std::remove(temporaryPath_.c_str());
        temporaryPath_.clear();
    }
}
