// A desktop that records what the program shows instead of showing it.
#pragma once

#include <deque>
#include <functional>
#include <optional>
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
    std::string AskSaveFileName(const std::string& filter,
                                const std::string& suggestedName) override
    {
        saveFilters.push_back(filter);
        saveSuggestions.push_back(suggestedName);
        if (saveAnswers.empty()) return {};
        std::string answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }
    SaveChoice AskSaveFile(const std::string& filter, const std::string& suggestedName) override
    {
        SaveChoice choice{AskSaveFileName(filter, suggestedName)};
        if (!saveTypes.empty()) {
            choice.type = saveTypes.front();
            saveTypes.pop_front();
        }
        return choice;
    }
    bool AskYesNo(const std::string& text, const std::string& title) override
    {
        questions.push_back({text, title, MessageIcon::None});
        if (yesNoAnswers.empty()) return false;
        const bool answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return answer;
    }

    std::vector<std::string> AskOpenFileNames(const std::string& filter) override
    {
        openFilters.push_back(filter);
        if (openAnswers.empty()) return {};
        std::vector<std::string> answer = openAnswers.front();
        openAnswers.pop_front();
        return answer;
    }
    std::optional<std::string> AskText(const std::string& prompt, const std::string& title,
                                       const std::string&) override
    {
        questions.push_back({prompt, title, MessageIcon::None});
        if (textAnswers.empty()) return std::nullopt;
        std::optional<std::string> answer = textAnswers.front();
        textAnswers.pop_front();
        return answer;
    }

    std::vector<ShownMessage> messages;
    int beeps = 0;
    std::vector<bool> waitCursor;              // every change, in order
    std::vector<std::string> saveFilters;      // one per save dialog shown
    std::vector<std::string> saveSuggestions;  // the name each of them offered
    std::deque<std::string> saveAnswers;       // the names "typed"; none left = cancel
    std::deque<std::size_t> saveTypes;         // the types selected; none left = the first
    std::vector<ShownMessage> questions;
    std::deque<bool> yesNoAnswers;  // none left = No
    std::vector<std::string> openFilters;
    std::deque<std::vector<std::string>> openAnswers;  // none left = cancel
    std::deque<std::optional<std::string>>
        textAnswers;  // none left = cancel; AskText asks in questions
    // Runs while the message is "on screen", as a user's reaction would.
    std::function<void(const ShownMessage&)> onMessage;
};

}  // namespace quillon::testing
