// A file written under a temporary name next to its destination and renamed
// onto it only when complete, so a failed or interrupted capture leaves no
// half-written file behind.
#pragma once

#include <string>

class PendingFile {
public:
    // Creates the temporary file; on failure ready() is false and error()
    // says why in the destination's terms.
    explicit PendingFile(std::string destination);
    // Removes the temporary file unless it was committed.
    ~PendingFile();
    PendingFile(PendingFile&& other) noexcept;
    PendingFile& operator=(PendingFile&& other) noexcept;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    bool ready() const { return !temporaryPath_.empty(); }
    const std::string& error() const { return error_; }
    const std::string& temporaryPath() const { return temporaryPath_; }
    const std::string& destination() const { return destination_; }

    // Renames the finished file onto the destination; false (and error()) on failure.
    bool commit();

private:
    void discard();

    std::string destination_;
    std::string temporaryPath_;
    std::string error_;
};
