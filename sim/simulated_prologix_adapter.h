// A Prologix adapter in the program's own process: it speaks the "++"
// protocol on 127.0.0.1 (or on a pseudo-terminal, as a USB adapter would)
// in a thread of its own, and carries every command out on a simulated bus.
// It records what it was sent, and can answer slowly, stop answering, drop
// the connection, or flood it, as a real one on a bad day.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sim/simulated_bus.h"

namespace quillon {

// A port on 127.0.0.1 on which nobody listens.
int ClosedLoopbackPort();

class SimulatedPrologixAdapter {
public:
    static constexpr const char* kVersion = "Prologix GPIB-ETHERNET version 1.6.6.0";
    enum class Link { Tcp, PseudoTerminal };
    // How the adapter goes wrong, from a given command on, on the
    // connection it is serving.
    enum class Misbehaviour {
        None,
        EndlessLines,  // "0" lines, without end
        EndlessBytes,  // bytes and never a line feed
        Silence,       // takes everything, answers nothing
        Reset,         // closes the connection instead of carrying the command out
        Trickle,       // a byte every kTrickleMilliseconds, without end
        HugeReply,     // the command's answer is kHugeReplyBytes long
    };
    static constexpr int kTrickleMilliseconds = 2;
    static constexpr std::size_t kHugeReplyBytes = std::size_t{100} << 20;

    // `requesters` are the devices whose service requests drive the SRQ
    // line the adapter reports; the bus owns them.
    SimulatedPrologixAdapter(SimulatedBus& bus, std::vector<SimulatedDevice*> requesters,
                             Link link = Link::Tcp);
    ~SimulatedPrologixAdapter();
    SimulatedPrologixAdapter(const SimulatedPrologixAdapter&) = delete;
    SimulatedPrologixAdapter& operator=(const SimulatedPrologixAdapter&) = delete;

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
    // Firmware that does not know ++eot_enable and ++eot_char ignores them,
    // and never marks the end of a read.
    void SetKnowsEndMark(bool known);
    // While held, nothing is taken from the connection.
    void Hold(bool on);
    // From the n-th (from 1) command that is exactly `command` on, the
    // adapter misbehaves that way until the other end closes the
    // connection (a huge reply is sent once). After a lasting misbehaviour
    // the adapter serves nobody, as one that hangs, until Hold(false).
    void MisbehaveAt(Misbehaviour way, const std::string& command, int occurrence,
                     bool lasting = false);
    // The index in Lines() of the command the misbehaviour began at; -1
    // while it has not.
    int MisbehavedAt() const;

private:
    void Serve();
    bool ServeConnection(int fd);
    enum class Next { Serve, Drop, Stop };
    Next Take(int fd, const std::string& line, const std::vector<bool>& escaped);
    Next Misbehave(int fd, Misbehaviour way);
    // Sends `chunk` again and again, `pauseMilliseconds` apart, until
    // `total` bytes have gone or the other end has closed.
    Next Flood(int fd, const std::string& chunk, std::size_t total, int pauseMilliseconds);
    // Reads and drops everything until the other end closes.
    Next Swallow(int fd);
    void Command(int fd, const std::string& line);
    void Answer(int fd, const std::string& bytes);
    // Without `wait`, sends what fits now.
    ssize_t Write(int fd, const char* bytes, std::size_t count, bool wait);
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
    Misbehaviour misbehaviour_ = Misbehaviour::None;
    std::string misbehaveCommand_;
    int misbehaveOccurrence_ = 0;
    int misbehaveSeen_ = 0;
    bool misbehaviourLasts_ = false;
    int misbehavedAt_ = -1;
    bool saveConfiguration_ = true;
    bool knowsEndMark_ = true;
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

}  // namespace quillon
