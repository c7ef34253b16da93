// A fake "++" adapter for the driver's tests: a Prologix GPIB-USB or an AR488, on a
// pseudo-terminal (as a USB serial port) or on loopback TCP (as a GPIB-ETHERNET or an AR488 on
// WiFi), serving one instrument on a thread of the test. Each behaviour follows the adapter's
// manual or firmware, cited where it is modelled, so that the driver is checked against the
// adapters and not against its own reading of them.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fake_adapter {

enum class Dialect { prologix, ar488 };
enum class Transport { pty, tcp };

// The device at GPIB address 5, or where HP_SIM_ADDRESS puts it.
class Instrument {
  public:
    virtual ~Instrument() = default;
    // One message as it arrived on the bus, ended by EOI.
    virtual void receive(const std::string& message) = 0;
    // Everything it has to say, the last byte sent with EOI; empty when it has nothing.
    virtual std::string talk() = 0;
    virtual void clear() = 0;  // selected device clear
};

// The simulated HP 54200A's model, set up from the HP_SIM_* environment.
class SimulatedScope final : public Instrument {
  public:
    SimulatedScope();
    void receive(const std::string& message) override;
    std::string talk() override;
    void clear() override;
};

// Answers each message with the message itself (or with nothing, when silent).
class EchoInstrument final : public Instrument {
  public:
    std::atomic<bool> silent{false};
    std::vector<std::string> received;  // read it after a reply has come back
    void receive(const std::string& message) override;
    std::string talk() override;
    void clear() override { reply_.clear(); }

  private:
    std::string reply_;
};

// Adapters and ports that misbehave, each as a user may meet one.
enum class Hostile {
    none,
    auto_stream,   // an AR488 left in "++auto 3": a reading every 50 ms until "++auto 0"
    chatter,       // another kind of device on the port: a text line every 50 ms
    flood,         // bytes that never end a line
    marker_gap,    // a 200 ms stall after a data byte equal to "++eot_char"
    marker_pause,  // the instrument pauses past "++read_tmo_ms" after a data byte equal to
                   // "++eot_char": the read ends there, the rest comes at the next "++read"
    stray_line,    // a reading left over ("+1.234E-03") arrives after each data line
    complains,     // a clone without "++savecfg" says "Unrecognized command"
    echo,          // an AR488 in verbose mode: every line echoed
    late,          // the first "++read" is answered 300 ms late
    stall,         // takes no input for 500 ms once a data line reaches 1000 bytes
    endless,       // a "++read" whose reply never ends
};

struct Options {
    Dialect dialect = Dialect::prologix;
    Transport transport = Transport::pty;
    int startup_ms = 0;            // a board that resets when its port opens
    bool mute = false;             // never answers "++ver" (nor anything else)
    bool hang_up_on_read = false;  // the adapter goes away at the first "++read"
    Hostile hostile = Hostile::none;
};

class FakeAdapter {
  public:
    FakeAdapter(const Options& options, Instrument& instrument);
    ~FakeAdapter();
    FakeAdapter(const FakeAdapter&) = delete;
    FakeAdapter& operator=(const FakeAdapter&) = delete;

    // The value for PROLOGIX_PORT: the pseudo-terminal's path or "127.0.0.1:<port>".
    const std::string& port() const { return port_; }
    // The "++" commands received, in order.
    std::vector<std::string> commands() const;
    // Commands given a value outside the adapter's range.
    int rejected() const { return rejected_; }
    // Waits up to timeout_ms for the host to close the port; true when it has.
    bool wait_closed(int timeout_ms) const;

  private:
    struct Settings {
        int mode = 0;       // as left by whoever used it last: device mode, read-after-write on,
        int auto_read = 1;  // CR LF appended, no EOI marker, another address
        int eos = 0;
        bool eoi = false;
        bool eot_enable = false;
        int eot_char = 0;
        int pad = 10;
        int sad = 0;
        long read_tmo_ms = 1000;
    };

    Options options_;
    Instrument& instrument_;
    long scope_address_;
    std::string port_;
    int listen_fd_ = -1;
    int fd_ = -1;  // the pty master, or the accepted connection
    int stop_[2] = {-1, -1};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::string> commands_;
    std::atomic<int> rejected_{0};
    std::atomic<int> closed_{0};  // connections the host has closed
    Settings s_;
    std::string line_;
    bool escape_ = false;
    int leading_plus_ = 0;  // unescaped "+" at the start of the line
    bool gone_ = false;
    bool answered_late_ = false;
    std::string rest_;  // what a paused instrument has still to say

    void open_pty();
    void open_tcp();
    void run();
    bool wait_readable(int fd, int timeout_ms, bool& hangup);
    void serve_connection(int fd);
    void take(const char* data, std::size_t size);
    void end_line();
    void command(const std::string& line);
    void set_value(const std::string& name, const std::string& value);
    void read_instrument();
    void babble();
    void send(const std::string& bytes);
    bool pause(int ms);
    void hang_up();
};

}  // namespace fake_adapter
