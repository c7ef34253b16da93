// Trying an interface before the program uses it: the Connection dialog's Test and Find the
// scope. They bind the driver library for themselves and report every failure to the caller,
// with the driver's own reason and the usual remedy, instead of stopping the program as the
// program's own binding does. Every device they open is taken offline again, and the library
// is released before they return. They must not run while the program's own connection is
// open.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "scope/resource.h"

namespace scope {

struct ListenerFound {
    int address = 0;
    std::string identity;  // the answer to "ID ?", empty when the device gave none
    std::string resource;  // through VISA: the VISA resource that answered
};

struct ProbeOutcome {
    bool ok = false;
    std::string identity;              // Test: the scope's answer to "ID ?"
    std::vector<ListenerFound> found;  // Find: what answered, by address
    int scope_address = -1;            // Find: the first "HP54200A", -1 when none
    std::string scope_resource;        // Find through VISA: the first "HP54200A"'s resource
    std::string reason;                // why it failed, and what usually helps
};

// Opens the resource's device, asks "ID ?" and reads the answer.
ProbeOutcome Test_resource(const Resource& resource, const LibraryLocator& locate);

// Looks for listeners at addresses 0..30: FindLstn where the driver has it, else a device per
// address with a short time-out and "ID ?". `keep_going(address)` is asked before each address
// (for progress); false stops the search with what was found so far.
ProbeOutcome Find_scope(const Resource& resource, const LibraryLocator& locate,
                        const std::function<bool(int)>& keep_going);

// Through VISA, Find asks each INSTR resource the VISA lists "ID ?" with a short time limit, and
// lists what answered; `keep_going(n)` is asked before the n-th resource.

// The resources a driver library lists: VISA's INSTR resources (libgpib_visa's
// VisaFindResources), or the USBTMC adapters present (libgpib_usbtmc's UsbtmcListDevices).
struct ResourceList {
    bool ok = false;
    std::vector<std::string> names;
    std::string reason;  // why nothing could be listed
};
ResourceList List_visa_resources(const LibraryLocator& locate);
ResourceList List_usbtmc_devices(const LibraryLocator& locate);

// What usually helps when an interface of this kind cannot be opened.
std::string Remedy(const Resource& resource, int iberr, int ibcnt);
// The same for the interface that the environment's settings name ("" for a library that is
// none of the known ones); iberr -1 when its library cannot be loaded.
std::string Remedy_in_environment(int iberr, int ibcnt);

}  // namespace scope
