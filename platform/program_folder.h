// The folder that holds the program file: where the settings file and the
// measurement logs live, whatever the working directory is.
#pragma once

#include <string>
#include <utility>

namespace quillon {

class ProgramFolder {
public:
    virtual ~ProgramFolder() = default;
    // The folder's path without a trailing separator.
    virtual std::string Path() const = 0;
};

// The folder of the running executable, looked up again on every call.
class ExecutableFolder final : public ProgramFolder {
public:
    std::string Path() const override;
};

// A folder given once, for tests and tools.
class FixedFolder final : public ProgramFolder {
public:
    explicit FixedFolder(std::string path) : path_(std::move(path)) {}
    std::string Path() const override { return path_; }

private:
    std::string path_;
};

}  // namespace quillon
