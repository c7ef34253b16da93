// The system's VISA library, found and bound at run time: on Windows visa64.dll, the VISA router
// every vendor's VISA installs; elsewhere libvisa.so.0, then librsvisa.so; or the file
// VISA_LIBRARY names. Every call is resolved by name; a library that lacks one the driver needs
// is refused with the names it lacks.
#pragma once

#include <string>
#include <vector>

#include "adapters/visa/visa_types.h"

namespace visa {

struct VisaCalls {
    void* library = nullptr;
    std::string name;  // the file bound
    viOpenDefaultRM_fn viOpenDefaultRM = nullptr;
    viOpen_fn viOpen = nullptr;
    viClose_fn viClose = nullptr;
    viSetAttribute_fn viSetAttribute = nullptr;
    viRead_fn viRead = nullptr;
    viWrite_fn viWrite = nullptr;
    viClear_fn viClear = nullptr;
    viStatusDesc_fn viStatusDesc = nullptr;
    // Only for listing the resources.
    viFindRsrc_fn viFindRsrc = nullptr;
    viFindNext_fn viFindNext = nullptr;
};

// The files tried in turn: VISA_LIBRARY's alone when it is set.
std::vector<std::string> Visa_library_names();

// Binds the first of those files that loads. False, with what was tried and why, when none
// loads or the one that loads lacks a call the device needs ("lacks viClear, viStatusDesc").
bool Bind_visa(VisaCalls& calls, std::string& reason);
// Whatever of viFindRsrc and viFindNext the bound library lacks: "" when it has both.
std::string Missing_find_calls(const VisaCalls& calls);

// VISA's own text for a status ("VI_ERROR_TMO: Timeout expired before operation completed."),
// through viStatusDesc on the given session, or the code in hexadecimal when it gives none.
std::string Status_text(const VisaCalls& calls, ViObject vi, ViStatus status);

}  // namespace visa
