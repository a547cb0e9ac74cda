#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>
#include <utility>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

constexpr int nameAttempts = 100;
constexpr int largestLinkChain = 40;  // as the system itself follows
constexpr int suffixLength = 6;
const char suffixCharacters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

#if defined(_WIN32)
constexpr int exclusiveFlags = _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY;
constexpr int createdMode = _S_IREAD | _S_IWRITE;
int openFile(const char* path, int flags, int mode) { return _open(path, flags, mode); }
int closeFile(int descriptor) { return _close(descriptor); }
std::FILE* streamOver(int descriptor) { return _fdopen(descriptor, "wb"); }
constexpr int directFlags = _O_WRONLY | _O_BINARY;
#else
// Never through a link planted at the name, and never an existing file.
constexpr int exclusiveFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
// The umask takes away what the user does not want, as for any new file.
constexpr int createdMode = 0666;
int openFile(const char* path, int flags, int mode) { return open(path, flags, mode); }
int closeFile(int descriptor) { return close(descriptor); }
std::FILE* streamOver(int descriptor) { return fdopen(descriptor, "wb"); }
constexpr int directFlags = O_WRONLY | O_CLOEXEC;
#endif

// Creates a new, empty file under a fresh hidden name in `folder`; the name
// carries the target's so a left-over is recognisable, unless that makes it
// too long for the file system. Returns the descriptor, or -1 with errno.
int createTemporary(const fs::path& folder, const std::string& name, const OutputFile::NameSuffixes& suffixes,
                    int mode, std::string& path) {
    bool shortName = false;
    for (int attempt = 0; attempt < nameAttempts; ++attempt) {
        const std::string stem = shortName ? ".partial-" : "." + name + ".partial-";
        const fs::path candidate = folder / (stem + suffixes());
        const int descriptor = openFile(candidate.string().c_str(), exclusiveFlags, mode);
        if (descriptor >= 0) {
            path = candidate.string();
            return descriptor;
        }
        if (errno == ENAMETOOLONG && !shortName) {
            shortName = true;
        } else if (errno != EEXIST) {
            return -1;
        }
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

OutputFile::NameSuffixes OutputFile::randomSuffixes() {
    return [generator = std::mt19937(std::random_device{}())]() mutable {
        std::uniform_int_distribution<size_t> pick(0, sizeof suffixCharacters - 2);
        std::string suffix;
        for (int index = 0; index < suffixLength; ++index) suffix += suffixCharacters[pick(generator)];
        return suffix;
    };
}

OutputFile::OutputFile(std::string target, bool replaceExisting, const NameSuffixes& suffixes)
    : target_(std::move(target)) {
    std::error_code code;
    // Links are followed to the file they name, which need not exist yet.
    fs::path final = target_;
    for (int hop = 0; fs::is_symlink(fs::symlink_status(final, code)); ++hop) {
        const fs::path next = fs::read_symlink(final, code);
        if (code || hop == largestLinkChain) {
            error_ = target_ + " is a link that cannot be followed; give the file itself";
            return;
        }
        final = next.is_absolute() ? next : final.parent_path() / next;
    }
    finalPath_ = final.string();
    const fs::file_status status = fs::status(final, code);
    switch (status.type()) {
        case fs::file_type::not_found:
            break;
        case fs::file_type::directory:
            error_ = target_ + " is a folder; give a file name";
            return;
        case fs::file_type::regular:
            if (!replaceExisting) {
                error_ = target_ + " exists; --force replaces it";
                return;
            }
            replacing_ = true;
            break;
        case fs::file_type::block:
            error_ = target_ + " is a disk device; refusing to write onto it";
            return;
        default:
            // A device, pipe or socket takes the bytes as they come; there is
            // no file to replace and nothing to rename.
            direct_ = true;
            writePath_ = finalPath_;
            return;
    }
    const fs::path folder = final.has_parent_path() ? final.parent_path() : fs::path(".");
    int mode = createdMode;
#if !defined(_WIN32)
    // A replaced file keeps its permissions (a private file stays private
    // from the first byte) and its owner where the user may set it; one with
    // other hard links is written into at the end, so that they all see it.
    struct stat existing {};
    if (replacing_ && stat(finalPath_.c_str(), &existing) == 0) {
        mode = static_cast<int>(existing.st_mode & 07777);
        writeInPlace_ = existing.st_nlink > 1;
    }
#endif
    descriptor_ = createTemporary(folder, final.filename().string(), suffixes, mode, writePath_);
    if (descriptor_ < 0) {
        error_ = "cannot create " + target_ + ": " + std::strerror(errno);
        writePath_.clear();
        return;
    }
#if !defined(_WIN32)
    if (replacing_) {
        // The umask took bits away at creation: the old file's mode exactly.
        (void)fchmod(descriptor_, static_cast<mode_t>(mode));
        if (fchown(descriptor_, existing.st_uid, existing.st_gid) != 0) {
            (void)fchown(descriptor_, static_cast<uid_t>(-1), existing.st_gid);
        }
    }
#endif
}

OutputFile::~OutputFile() { discard(); }

OutputFile::OutputFile(OutputFile&& other) noexcept
    : target_(std::move(other.target_)),
      finalPath_(std::move(other.finalPath_)),
      writePath_(std::exchange(other.writePath_, {})),
      error_(std::move(other.error_)),
      direct_(other.direct_),
      replacing_(other.replacing_),
      writeInPlace_(other.writeInPlace_),
      descriptor_(std::exchange(other.descriptor_, -1)),
      stream_(std::exchange(other.stream_, nullptr)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
    if (this != &other) {
        discard();
        target_ = std::move(other.target_);
        finalPath_ = std::move(other.finalPath_);
        writePath_ = std::exchange(other.writePath_, {});
        error_ = std::move(other.error_);
        direct_ = other.direct_;
        replacing_ = other.replacing_;
        writeInPlace_ = other.writeInPlace_;
        descriptor_ = std::exchange(other.descriptor_, -1);
        stream_ = std::exchange(other.stream_, nullptr);
    }
    return *this;
}

std::FILE* OutputFile::stream() {
    if (stream_ != nullptr || !ready()) return stream_;
    if (direct_) {
        descriptor_ = openFile(writePath_.c_str(), directFlags, 0);
    }
    if (descriptor_ >= 0) {
        stream_ = streamOver(descriptor_);
        if (stream_ != nullptr) descriptor_ = -1;
    }
    if (stream_ == nullptr) error_ = "cannot write " + target_ + ": " + std::strerror(errno);
    return stream_;
}

bool OutputFile::commit() {
    if (!ready()) return false;
    bool closed = true;
    if (stream_ != nullptr) closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    const int closeErrno = errno;
    if (descriptor_ >= 0) closeFile(descriptor_);
    descriptor_ = -1;
    if (!closed) {
        error_ = "writing " + target_ + " failed: " + std::strerror(closeErrno);
        discard();
        return false;
    }
    if (direct_) {
        writePath_.clear();
        return true;
    }
    if (writeInPlace_) {
        if (!copyIntoTarget()) {
            discard();
            return false;
        }
        discard();
        return true;
    }
    std::error_code code;
    fs::rename(writePath_, finalPath_, code);
    if (code) {
        error_ = "cannot write " + target_ + ": " + code.message();
        discard();
        return false;
    }
    writePath_.clear();
    return true;
}

bool OutputFile::copyIntoTarget() {
    const auto failed = [&](const char* what) {
        error_ = std::string("cannot write ") + target_ + ": " + what + ": " + std::strerror(errno);
        return false;
    };
    std::FILE* from = std::fopen(writePath_.c_str(), "rb");
    if (from == nullptr) return failed("reading the finished file");
    std::FILE* to = std::fopen(finalPath_.c_str(), "wb");
    if (to == nullptr) {
        std::fclose(from);
        return failed("opening it");
    }
    char buffer[1 << 16];
    size_t count = 0;
    bool good = true;
    while (good && (count = std::fread(buffer, 1, sizeof buffer, from)) > 0) {
        good = std::fwrite(buffer, 1, count, to) == count;
    }
    good = good && std::ferror(from) == 0;
    std::fclose(from);
    good = std::fclose(to) == 0 && good;
    return good || failed("copying into it");
}

void OutputFile::discard() {
    if (stream_ != nullptr) std::fclose(stream_);
    stream_ = nullptr;
    if (descriptor_ >= 0) closeFile(descriptor_);
    descriptor_ = -1;
    if (!direct_ && !writePath_.empty()) {
        std::error_code code;
        fs::remove(writePath_, code);
    }
    writePath_.clear();
}
