// The benchmarks' desktop: nothing is asked and nothing waits; a message,
// which a benchmark never expects, is printed so that a figure taken
// through one is not trusted.
#pragma once

#include <cstdio>
#include <string>

#include "platform/desktop.h"

namespace quillon {

class SilentDesktop final : public Desktop {
public:
    void ShowMessage(const std::string& text, const std::string&, MessageIcon) override
    {
        std::fprintf(stderr, "message during the benchmark: %s\n", text.c_str());
    }
    void Beep() override {}
    void SetWaitCursor(bool) override {}
    std::string AskSaveFileName(const std::string&, const std::string&) override { return {}; }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
};

}  // namespace quillon
