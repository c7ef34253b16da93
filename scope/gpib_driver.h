// The GPIB driver library, loaded at run time and bound by name, the status test applied after
// every driver call, and the fatal report that ends the program when a call fails.
#pragma once

#include <cstdint>
#include <string>

namespace scope {

// Loads the driver library ($GPIB_LIBRARY, else the platform's default name) and resolves its
// entry points and status form. Stops the program with "LoadLibrary FAILED!" or
// "GetProcAddresses FAILED!" when it cannot.
void Load_gpib_library();
// Why the library to be loaded is the one the environment names, when the command line, the
// saved choice or the Connection dialog put it there ("--resource GPIB0::5::INSTR"), for the
// message that says which library was tried; "" when the environment was the user's own.
void Set_library_origin(const std::string& origin);
// What the last driver call wrote to standard error (passed on there as well): the driver's own
// reason for a failure, "" when it said nothing.
const std::string& Driver_said();
// Releases the library if it is loaded (Quit and the fatal paths).
void Release_gpib_library();
bool Gpib_library_loaded();

// The driver calls the link makes. The status word, error code and count of the last call are
// read right after it and kept (see Ibsta(), Iberr(), Ibcnt()).
int32_t Call_ibdev(int board, int pad, int sad, int tmo, int eot, int eos);
void Call_ibclr(int32_t device);
void Call_ibwrt(int32_t device, const char* buffer, int32_t count);
void Call_ibrd(int32_t device, char* buffer, int32_t count);
void Call_ibonl(int32_t device, int v);

int32_t Ibsta();
int32_t Iberr();
int32_t Ibcnt();

// Bit 15 (ERR) of the status word of the last call.
bool Error_bit_set();

// The four lines of the fatal report, as shown one box after the other.
std::string Status_line(const std::string& failure, int32_t ibsta, int32_t iberr);
std::string Status_bits_line(int32_t ibsta);
std::string Error_name_line(int32_t iberr);
std::string Count_line(int32_t ibcnt);

// Shows the four boxes, takes the device offline, releases the library and stops the program.
// When the failed call's driver said why on standard error, its words and the usual remedy go to
// the status list first (a program started from a menu shows no standard error).
[[noreturn]] void Report_gpib_error(const std::string& failure);
// The check after a driver call: reports the failure when the error bit is set.
void Check_gpib_status(const std::string& failure);

}  // namespace scope
