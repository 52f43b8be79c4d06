#include "sim/message_device.h"

#include <algorithm>
#include <cctype>

#include "common/text_number.h"

namespace quillon {

namespace {

// What a 488.2 parser skips around a command and its argument.
constexpr std::string_view kSpace = " \t\r\n";

bool Ahead(uint32_t tick, uint32_t now)
{
    return static_cast<int32_t>(tick - now) > 0;
}

}  // namespace

void MessageDevice::Listen(std::string_view bytes, bool end)
{
    input_.append(bytes);
    // A message ends at EOI or at a newline; a NULLend write waits for more.
    std::size_t newline;
    while ((newline = input_.find('\n')) != std::string::npos) {
        std::string message = input_.substr(0, newline);
        input_.erase(0, newline + 1);
        Parse(message);
    }
    if (end) {
        std::string message;
        message.swap(input_);
        Parse(message);
    }
}

void MessageDevice::Parse(const std::string& message)
{
    Note(DeviceEvent::Kind::Message, message);
    std::size_t start = 0;
    while (start <= message.size()) {
        std::size_t stop = message.find(';', start);
        if (stop == std::string::npos) stop = message.size();
        std::string command(Trimmed(std::string_view(message).substr(start, stop - start), kSpace));
        start = stop + 1;
        if (!command.empty() && command[0] == ':') command.erase(0, 1);
        if (command.empty()) continue;
        // Keywords and their arguments are alike in either case.
        std::string upper = command;
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        const auto blank = upper.find(' ');
        const std::string header = upper.substr(0, blank);
        const std::string argument(blank == std::string::npos
                                       ? ""
                                       : Trimmed(std::string_view(upper).substr(blank), kSpace));
        bool understood = true;
        if (header == "*SRE") {
            sre_ = static_cast<uint8_t>(std::atoi(argument.c_str()) & 0xBF);
        } else if (header == "*CLS") {
            CancelOutput();
        } else {
            understood = Execute(header, argument);
        }
        if (!understood) unrecognised_.push_back(command);
    }
}

void MessageDevice::Note(DeviceEvent::Kind kind, std::string text)
{
    if (recording_) transcript_.push_back({kind, clock_.TickCount(), std::move(text)});
}

void MessageDevice::QueueOutput(std::string text, uint32_t readyTick)
{
    pending_ = std::move(text);
    pendingTick_ = readyTick;
    Update();
}

void MessageDevice::CancelOutput()
{
    pending_.reset();
    output_.clear();
    outputRead_ = 0;
    requesting_ = false;
}

void MessageDevice::Update()
{
    if (!pending_ || Ahead(pendingTick_, clock_.TickCount())) return;
    output_ = std::move(*pending_);
    outputRead_ = 0;
    pending_.reset();
    if ((sre_ & kMav) && !srqSuppressed_) {
        requesting_ = true;
        requestTick_ = pendingTick_;
    }
}

std::optional<uint32_t> MessageDevice::OutputReadyTick()
{
    Update();
    if (outputRead_ < output_.size()) return clock_.TickCount();
    if (pending_) return pendingTick_;
    return std::nullopt;
}

std::string MessageDevice::Talk(std::size_t maxBytes, bool& end)
{
    Update();
    const std::size_t take = std::min(maxBytes, output_.size() - outputRead_);
    std::string bytes = output_.substr(outputRead_, take);
    outputRead_ += take;
    end = take > 0 && outputRead_ == output_.size();
    if (end) {
        output_.clear();
        outputRead_ = 0;
    }
    Note(DeviceEvent::Kind::Read, bytes);
    return bytes;
}

void MessageDevice::DeviceClear()
{
    Note(DeviceEvent::Kind::Clear, {});
    input_.clear();
    CancelOutput();
}

uint8_t MessageDevice::SerialPoll()
{
    Update();
    uint8_t status = outputRead_ < output_.size() ? kMav : 0;
    if (requesting_) status |= kRqs;
    requesting_ = false;
    Note(DeviceEvent::Kind::SerialPoll, std::to_string(status));
    return status;
}

std::optional<uint32_t> MessageDevice::ServiceRequestTick()
{
    Update();
    if (requesting_) return requestTick_;
    if (pending_ && (sre_ & kMav) && !srqSuppressed_) return pendingTick_;
    return std::nullopt;
}

bool SimulatedInstrument::Execute(const std::string& header, const std::string&)
{
    if (header != "*IDN?") return false;
    QueueOutput(identification_ + "\n", clock().TickCount());
    return true;
}

}  // namespace quillon
