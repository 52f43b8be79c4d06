// A Prologix adapter in the program's own process: it speaks the "++"
// protocol on 127.0.0.1 (or on a pseudo-terminal, as a USB adapter would)
// in a thread of its own, and carries every command out on a simulated bus.
// It records what it was sent, and can answer slowly, stop answering, drop
// the connection, or flood it, as a real one on a bad day. It can also be
// an AR488 on a small board, as that firmware (0.53.04) behaves: its
// version line, its ++savecfg that saves to the EEPROM, its read time-out
// applied to every handshake byte, its own serial polls (++srqauto), its
// echo and prompts (++verbose), its own answer to *IDN? (++idn), its
// handshake flags ("Send^OK", "Read^OK", "AR488~RDY"), the time
// its commands take, and the serial line to the board with its 63-byte
// receive buffer and its restart as the port opens.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sim/ar488_configuration.h"
#include "sim/serial_line_timing.h"
#include "sim/simulated_bus.h"

namespace quillon {

// A port on 127.0.0.1 on which nobody listens.
int ClosedLoopbackPort();

class SimulatedPrologixAdapter {
public:
    static constexpr const char* kVersion = "Prologix GPIB-ETHERNET version 1.6.6.0";
    static constexpr const char* kAr488Version = "AR488 GPIB controller, ver. 0.53.04, 13/04/2025";
    enum class Link { Tcp, PseudoTerminal };
    enum class Firmware { Prologix, Ar488 };
    // The board behind the adapter, and the line to it.
    struct Board {
        Firmware firmware = Firmware::Prologix;
        // Bytes cross both ways at this rate, 8N1; 0: at once.
        int baud = 0;
        // The bytes the board keeps while it carries out a command (those
        // that come meanwhile beyond that are lost); 0: no limit.
        std::size_t receiveBufferBytes = 0;
        // The board restarts as each TCP connection opens, as an Arduino
        // does when its serial port opens: its bootloader hears nothing for
        // this long, then the firmware starts up.
        int restartMilliseconds = 0;
    };
    // An AR488 on an Arduino Uno or Nano, at the firmware's 115200 baud
    // unless given another.
    static Board Ar488Uno(int restartMilliseconds = 0, int baud = 115200)
    {
        return {Firmware::Ar488, baud, 63, restartMilliseconds};
    }
    // AR488's ++mode 1 clears the bus with two waits of 40 ms, and each
    // EEPROM cell an AVR writes takes 3.3 ms.
    static constexpr int kAr488ModeMilliseconds = 80;
    static constexpr int kEepromCellMicroseconds = 3300;
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
    // one does at every change while ++savecfg is on (it is at power-up);
    // an AR488 writes all of them at each ++savecfg.
    int StoredConfigurations() const;
    // The EEPROM cells an AR488 wrote (84 at its first save).
    int EepromCellsWritten() const;
    // Bytes the board lost: they came while its receive buffer was full, or
    // while it restarted.
    std::size_t LostBytes() const;

    // Before the first connection.
    void SetBoard(const Board& board);
    // Commands a user gave the adapter before the program connected, their
    // answers gone with the user's session: the settings they left behind.
    void SetUserCommands(std::vector<std::string> commands);

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
    using Time = SerialLineTiming::Time;
    // A connection being served: the line to the board, the line being
    // parsed, and the output waiting to leave.
    struct Session {
        int fd = -1;
        bool ar488 = false;
        SerialLineTiming line{0, 0};
        std::string text;
        std::vector<bool> escaped;
        bool escapeNext = false;
        std::deque<std::pair<char, Time>> output;
        // When the line being carried out was taken, and how long it keeps
        // the board busy so far.
        Time handlingAt{};
        SerialLineTiming::Duration busyFor{};
        // The user's commands: nobody reads what they print.
        bool silent = false;
    };
    void Serve();
    bool ServeConnection(int fd);
    enum class Next { Serve, Drop, Stop };
    // The firmware takes one byte.
    Next Parse(Session& session, char byte, Time taken);
    Next Take(Session& session, const std::string& line, const std::vector<bool>& escaped);
    Next Misbehave(int fd, Misbehaviour way);
    // Sends `chunk` again and again, `pauseMilliseconds` apart, until
    // `total` bytes have gone or the other end has closed.
    Next Flood(int fd, const std::string& chunk, std::size_t total, int pauseMilliseconds);
    // Reads and drops everything until the other end closes.
    Next Swallow(int fd);
    void Command(Session& session, const std::string& line);
    // Commands AR488 has and Prologix has not, or carries out otherwise.
    void Ar488Command(Session& session, const std::vector<std::string>& words);
    void Data(Session& session, const std::string& line);
    // AR488 with ++srqauto 1 polls the addressed device whenever SRQ is
    // asserted, between commands, and prints its status byte.
    void PollOnServiceRequest(Session& session, Time now);
    bool ServiceRequestAsserted() const;
    // The board restarts: its RAM holds what its EEPROM saved.
    void Restart(Session& session, Time now, int milliseconds);
    // An answer, after the answer delay; output of the firmware's own.
    void Answer(Session& session, const std::string& bytes);
    void Print(Session& session, const std::string& bytes);
    // Writes the output whose time has come (all of it with `all`).
    void Flush(Session& session, Time now, bool all = false);
    int AddressedDevice() const;
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
    Board board_;
    std::vector<std::string> userCommands_;
    bool userCommandsGiven_ = false;
    std::size_t lostBytes_ = 0;
    Ar488Eeprom eeprom_;

    // Adapter settings, touched by the serving thread only; AR488 keeps
    // its verbose and SRQ-auto modes in RAM alone.
    Ar488Configuration settings_;
    bool verbose_ = false;
    bool serviceRequestAuto_ = false;
    std::map<std::pair<int, int>, int> descriptors_;
    int32_t* countLong_ = nullptr;  // the serving thread's count cell on the bus
};

}  // namespace quillon
