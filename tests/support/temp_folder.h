// A fresh folder per test that stands in for the program's folder.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/program_folder.h"

namespace quillon::testing {

class TempFolder {
public:
    TempFolder()
        : path_(std::filesystem::temp_directory_path() /
                ("quillon-app-" + std::to_string(::getpid()) + "-" + std::to_string(next_++))),
          folder_(path_.string())
    {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const ProgramFolder& Folder() const { return folder_; }
    std::filesystem::path File(const std::string& name) const { return path_ / name; }

    std::string Read(const std::string& name) const
    {
        std::ifstream in(File(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void Write(const std::string& name, const std::string& content) const
    {
        std::ofstream(File(name), std::ios::binary) << content;
    }
    bool Exists(const std::string& name) const { return std::filesystem::exists(File(name)); }

private:
    static inline std::atomic<int> next_{0};
    std::filesystem::path path_;
    FixedFolder folder_;
};

}  // namespace quillon::testing
