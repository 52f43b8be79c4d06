// A desktop that records what the program shows instead of showing it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/desktop.h"

namespace quillon::testing {

struct ShownMessage {
    std::string text;
    std::string title;
    MessageIcon icon = MessageIcon::None;
};

class RecordingDesktop final : public Desktop {
public:
    void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override
    {
        messages.push_back({text, title, icon});
        if (onMessage) onMessage(messages.back());
    }
    void Beep() override { ++beeps; }
    void SetWaitCursor(bool on) override { waitCursor.push_back(on); }

    std::vector<ShownMessage> messages;
    int beeps = 0;
    std::vector<bool> waitCursor;  // every change, in order
    // Runs while the message is "on screen", as a user's reaction would.
    std::function<void(const ShownMessage&)> onMessage;
};

}  // namespace quillon::testing
