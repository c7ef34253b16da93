// The connection to the HP 54200A: opening and identifying it, the subsystem selections, the
// autoscale, coupling and closing sequences, and the conventions every exchange follows
// (command texts sent without terminator, replies read into one buffer and trimmed).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace scope {

inline constexpr int kReplyCapacity = 1024;
inline constexpr int kIdentityCapacity = 100;
inline constexpr int kMeasureCapacity = 200;

struct LinkState {
    int32_t Device = 0;
    bool Scope_initialized = false;
    bool Waveform_selected = false;
    std::array<char, 1025> Command_buffer{};  // 0..1024, NUL-terminated
    std::array<char, 1026> Reply_buffer{};    // 1..1025 used; a read lands from index 1
    std::string Message;
    // The scope's answer to "ID ?" on the connection that is open (its model name in double
    // quotes); empty before a connection.
    std::string Identity;
};

extern LinkState Link;

// Opens the connection and checks the identity; never returns on failure.
void initialize_hp54200A();
void Select_measure_subsystem();
void Select_waveform_subsystem();
void Autoscale_sequence();
// coupling: 1 = DC, 2 = AC
void Coupling_sequence(int channel, int32_t coupling);
void Closing_sequence();

// Sends one command text with ibwrt (count = its length, no terminator).
void Send_command(const std::string& text);
// Reads a reply of at most 1024 bytes into Reply_buffer from index 1.
void Read_reply();
// The text of the last reply read: the received bytes less the last two (CR LF), cut to the
// capacity; a reply shorter than 2 bytes is the empty text.
std::string Trimmed_reply(int capacity);

// Fixed waits of the link, through the platform's sleep.
void Wait_ms(int ms);

}  // namespace scope
