// The test side of the fake driver libraries: their hooks, reached through
// a handle of our own on the same file the loader opens.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "bus/gpib_driver.h"

namespace quillon::testing {

class FakeDriverControl {
public:
    explicit FakeDriverControl(const std::string& path)
        : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))
    {
        if (!handle_) {
            ADD_FAILURE() << "cannot open " << path << ": " << dlerror();
            return;
        }
        connect_ = reinterpret_cast<void (*)(GpibDriver*)>(dlsym(handle_, "FakeDriverConnect"));
        failNextOpen_ = reinterpret_cast<void (*)(int)>(dlsym(handle_, "FakeDriverFailNextOpen"));
        journal_ = reinterpret_cast<const char* (*)()>(dlsym(handle_, "FakeDriverJournal"));
        if (!connect_ || !failNextOpen_ || !journal_) ADD_FAILURE() << path << " lacks its hooks";
    }
    ~FakeDriverControl()
    {
        if (handle_) dlclose(handle_);
    }
    FakeDriverControl(const FakeDriverControl&) = delete;
    FakeDriverControl& operator=(const FakeDriverControl&) = delete;

    // Hands the library the bus it answers through; clears its journal.
    void Connect(GpibDriver& bus) { connect_(&bus); }
    void FailNextOpen(int errnoValue) { failNextOpen_(errnoValue); }
    // One line per call of interest, with the values as the library got them.
    std::string Journal() const { return journal_(); }

private:
    void* handle_;
    void (*connect_)(GpibDriver*) = nullptr;
    void (*failNextOpen_)(int) = nullptr;
    const char* (*journal_)() = nullptr;
};

}  // namespace quillon::testing
