// Binding a GPIB driver library by name: its ten entry points and the first status form it
// has (the per-thread accessors, the Windows driver's user_ variables, or the plain variables).
// The program's own binding stops the program when a library cannot be bound; the Connection
// dialog's tries report it instead; both bind through this.
#pragma once

#include <cstdint>
#include <string>

#include "scope/gpib_defs.h"

namespace scope {

enum class StatusForm { None, Accessors, UserVariables, PlainVariables };

struct DriverBinding {
    void* Gpib_library = nullptr;
    StatusForm form = StatusForm::None;
    const int* Ibsta_ref = nullptr;
    const int* Iberr_ref = nullptr;
    const int* Ibcnt_ref = nullptr;
    gpib::ThreadIbsta_fn thread_ibsta = nullptr;
    gpib::ThreadIberr_fn thread_iberr = nullptr;
    gpib::ThreadIbcnt_fn thread_ibcnt = nullptr;
    gpib::DevClear_fn DevClear = nullptr;
    gpib::FindLstn_fn FindLstn = nullptr;
    gpib::ReadStatusByte_fn ReadStatusByte = nullptr;
    gpib::SendIFC_fn SendIFC = nullptr;
    gpib::WaitSRQ_fn WaitSRQ = nullptr;
    gpib::ibclr_fn ibclr = nullptr;
    gpib::ibdev_fn ibdev = nullptr;
    gpib::ibonl_fn ibonl = nullptr;
    gpib::ibrd_fn ibrd = nullptr;
    gpib::ibwrt_fn ibwrt = nullptr;
    // The outcome of the last call, as the driver reported it.
    int32_t ibsta = 0;
    int32_t iberr = 0;
    int32_t ibcnt = 0;
};

// Loads the library and resolves what it has. False, with the loader's reason, when it cannot be
// loaded; whatever it lacks is told by Missing_exports.
bool Bind_driver_library(DriverBinding& driver, const char* name, std::string& reason);
// The library GPIB_LIBRARY names, or when it names none the system's own driver libraries in
// turn (libgpib.so.0; on Windows GPIB-32.DLL, then ni4882.dll): the first that loads and has
// everything, else the last that loaded, so that what it lacks can be told. False, with the
// loaders' reasons, when none loads. `name` is the library bound, or those tried.
struct ChosenLibrary {
    std::string name;
    bool configured = false;  // named by GPIB_LIBRARY
};
bool Bind_chosen_driver_library(DriverBinding& driver, ChosenLibrary& chosen, std::string& reason);
// What the library lacks, for a message: "" when it has everything.
std::string Missing_exports(const DriverBinding& driver);
// The status word, error code and count of the last call, read into the binding.
void Read_status(DriverBinding& driver);
// Releases the library, if one is loaded, and forgets the binding.
void Unbind_driver_library(DriverBinding& driver);

}  // namespace scope
