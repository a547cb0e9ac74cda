// Where a tool writes its finished output, so that nothing the user did not
// ask to lose is lost. A regular file is written under a hidden temporary
// name beside it (created exclusively, never through a link) and renamed onto
// it only when complete; an existing one is replaced only when asked. A
// device, pipe or socket is written into directly and never renamed over. A
// symbolic link is followed: the file it names is written, the link stays.
// A replaced file keeps its permissions and owner; one with other hard links
// is copied into when complete, so that it stays the same file for them all.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

class OutputFile {
public:
    // Gives the random part of each temporary name tried; tests pass their own
    // to know the names in advance.
    using NameSuffixes = std::function<std::string()>;
    // Six random letters and digits per call, from a fresh random seed.
    static NameSuffixes randomSuffixes();

    // Prepares the target; on failure ready() is false and error() says why
    // in one line. replaceExisting allows replacing an existing regular file.
    OutputFile(std::string target, bool replaceExisting, const NameSuffixes& suffixes = randomSuffixes());
    // Removes the temporary file unless it was committed.
    ~OutputFile();
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool ready() const { return !writePath_.empty(); }
    const std::string& error() const { return error_; }
    // True when the target is written in place (a device, pipe or socket).
    bool direct() const { return direct_; }
    // The file to write: the temporary file, or the target itself when direct.
    const std::string& writePath() const { return writePath_; }
    // The file the output ends up in: the target, or the file its link names.
    const std::string& finalPath() const { return finalPath_; }

    // The write path opened as a stream (a direct target is opened only now:
    // a pipe waits here for its reader). Null, with error(), on failure.
    std::FILE* stream();
    // Closes the stream and renames the temporary file onto the final path;
    // false (and error()) on failure, after which nothing is left behind.
    bool commit();

private:
    void discard();
    bool copyIntoTarget();

    std::string target_;
    std::string finalPath_;
    std::string writePath_;
    std::string error_;
    bool direct_ = false;
    bool replacing_ = false;     // an existing regular file is replaced
    bool writeInPlace_ = false;  // ... and it has other hard links
    int descriptor_ = -1;  // of the temporary file, until stream() takes it
    std::FILE* stream_ = nullptr;
};
