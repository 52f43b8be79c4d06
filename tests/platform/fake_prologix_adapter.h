// A Prologix adapter in the test's own process: it speaks the "++"
// protocol on 127.0.0.1 (or on a pseudo-terminal, as a USB adapter would)
// in a thread of its own, and carries every command out on a simulated bus.
// It records what it was sent, and can answer slowly, stop answering, or
// drop the connection, as a real one on a bad day.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "sim/simulated_bus.h"

namespace quillon::testing {

// A port on 127.0.0.1 on which nobody listens.
int ClosedLoopbackPort();

// Virtual time that the test's thread and the adapter's thread both read
// and advance.
class SharedVirtualClock final : public Clock {
public:
    explicit SharedVirtualClock(uint32_t startTick = 0) : clock_(startTick) {}
    uint32_t TickCount() const override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return clock_.TickCount();
    }
    void Sleep(uint32_t milliseconds) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        clock_.Sleep(milliseconds);
    }
    std::tm LocalTime() const override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return clock_.LocalTime();
    }

private:
    mutable std::mutex mutex_;
    VirtualClock clock_;
};

class FakePrologixAdapter {
public:
    static constexpr const char* kVersion = "Prologix GPIB-ETHERNET version 1.6.6.0";
    enum class Link { Tcp, PseudoTerminal };

    // `requesters` are the devices whose service requests drive the SRQ
    // line the adapter reports; the bus owns them.
    FakePrologixAdapter(SimulatedBus& bus, std::vector<SimulatedDevice*> requesters,
                        Link link = Link::Tcp);
    ~FakePrologixAdapter();
    FakePrologixAdapter(const FakePrologixAdapter&) = delete;
    FakePrologixAdapter& operator=(const FakePrologixAdapter&) = delete;

    // What follows "prologix:" in the settings: 127.0.0.1:PORT, or the
    // pseudo-terminal's device path.
    std::string Location() const;
    int port() const { return port_; }

    // Every line taken, in order: commands as sent, data as "data " and the
    // bytes after unescaping.
    std::vector<std::string> Lines() const;
    // Every byte received, escapes and line ends included.
    std::string Received() const;
    int Connections() const;
    // How many lines taken were exactly `line`.
    int CountOf(const std::string& line) const;
    // How often a setting was written to the adapter's EEPROM, as a real
    // one does at every change while ++savecfg is on (it is at power-up).
    int StoredConfigurations() const;

    // Each answer waits this long (real time) before it is sent.
    void SetAnswerDelay(int milliseconds);
    // While held, nothing is taken from the connection.
    void Hold(bool on);
    // The connection is closed instead of carrying out the n-th (from 1)
    // command that is exactly `command`.
    void DropConnectionAt(const std::string& command, int occurrence);

private:
    void Serve();
    bool ServeConnection(int fd);
    // Takes one line; false when the connection is to be dropped.
    bool Take(int fd, const std::string& line, const std::vector<bool>& escaped);
    void Command(int fd, const std::string& line);
    void Answer(int fd, const std::string& bytes);
    int Descriptor(int address);
    bool WaitWhileHeld();

    SimulatedBus& bus_;
    std::vector<SimulatedDevice*> requesters_;
    Link link_;
    int listenFd_ = -1;
    int ptyFd_ = -1;
    // Held open so that the line never hangs up between the driver's opens.
    int ptySlaveFd_ = -1;
    std::string ptyPath_;
    int port_ = 0;
    int wakeFds_[2] = {-1, -1};
    std::thread thread_;

    mutable std::mutex mutex_;
    std::condition_variable released_;
    bool stopping_ = false;
    bool held_ = false;
    int answerDelay_ = 0;
    std::vector<std::string> lines_;
    std::string received_;
    int connections_ = 0;
    std::string dropCommand_;
    int dropOccurrence_ = 0;
    int dropSeen_ = 0;
    bool saveConfiguration_ = true;
    int storedConfigurations_ = 0;

    // Adapter settings, touched by the serving thread only.
    int address_ = 0;
    int readTimeoutMs_ = 1000;
    bool eoi_ = true;
    int eos_ = 0;
    bool eotEnable_ = false;
    int eotChar_ = 0;
    std::map<std::pair<int, int>, int> descriptors_;
    int32_t* countLong_ = nullptr;  // the serving thread's count cell on the bus
};

}  // namespace quillon::testing
