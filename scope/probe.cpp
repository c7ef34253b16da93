// Test and Find the scope, on a binding of their own.
#include "scope/probe.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "platform/environment.h"
#include "platform/standard_error.h"
#include "scope/driver_binding.h"
#include "scope/gpib_driver.h"
#include "scope/library_loader.h"
#include "scope/serial_port.h"

namespace scope {
namespace {

// Time-out codes: the program's own 3 s for Test, 100 ms a device while looking for the scope
// (an HP-IB instrument of the scope's kind answers "ID ?" within milliseconds).
constexpr int kT100ms = 9;
constexpr int kT3s = 12;
constexpr short kNoAddress = -1;  // 0xFFFF, the end of an address list

// The driver's settings in the environment for one try, put back as they were afterwards.
class ScopedSettings {
  public:
    explicit ScopedSettings(const Settings& settings) {
        for (const auto& [name, value] : settings) {
            const char* old = std::getenv(name.c_str());
            saved_.push_back(
                {name, old != nullptr ? std::optional<std::string>(old) : std::nullopt});
            platform::Set_environment_variable(name, value);
        }
    }
    ~ScopedSettings() {
        for (const auto& [name, old] : saved_) {
            if (old)
                platform::Set_environment_variable(name, *old);
            else
                platform::Unset_environment_variable(name);
        }
    }
    ScopedSettings(const ScopedSettings&) = delete;
    ScopedSettings& operator=(const ScopedSettings&) = delete;

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// What a driver writes to standard error while it works (its own reason for a failure), kept
// for the dialog and passed on to the real standard error afterwards.
class StderrCapture {
  public:
    std::string finish() {
        std::string text = capture_.finish();
        std::fputs(text.c_str(), stderr);
        return text;
    }

  private:
    platform::StandardErrorCapture capture_;
};

// One try: the settings applied, the driver's standard error captured, the library bound.
class Try {
  public:
    Try(const Resource& resource, const LibraryLocator& locate)
        : resource_(resource), settings_(Driver_settings(resource, locate)) {}
    ~Try() { Unbind_driver_library(driver_); }
    Try(const Try&) = delete;
    Try& operator=(const Try&) = delete;

    bool bind(ProbeOutcome& out) {
        ChosenLibrary chosen;
        std::string why;
        const bool loaded = Bind_chosen_driver_library(driver_, chosen, why);
        const std::string& name = chosen.name;
        if (!loaded) {
            out.reason = "The driver library " + name + " cannot be loaded: " + why + "\n" +
                         Remedy(resource_, -1, 0);
            return false;
        }
        if (const std::string missing = Missing_exports(driver_); !missing.empty()) {
            out.reason = name + " is not a GPIB driver library: it lacks " + missing + ".";
            return false;
        }
        return true;
    }
    // The device at `address`, -1 when it cannot be opened.
    int open(int address, int tmo) {
        const int ud = driver_.ibdev(resource_.board, address, 0, tmo, 1, 0);
        Read_status(driver_);
        return ud < 0 || (driver_.ibsta & gpib::ERR) != 0 ? -1 : ud;
    }
    // Asks "ID ?" and reads the answer; empty when the device gives none.
    std::string identity(int ud) {
        static constexpr char kQuery[] = "ID ?";
        driver_.ibwrt(ud, kQuery, sizeof kQuery - 1);
        Read_status(driver_);
        if ((driver_.ibsta & gpib::ERR) != 0)
            return {};
        char answer[80] = {};
        driver_.ibrd(ud, answer, sizeof answer - 1);
        Read_status(driver_);
        if ((driver_.ibsta & gpib::ERR) != 0)
            return {};
        std::string text(answer, static_cast<std::size_t>(std::clamp(driver_.ibcnt, 0, 79)));
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        return text;
    }
    void offline(int ud) {
        if (ud >= 0)
            driver_.ibonl(ud, 0);
    }
    // FindLstn over the addresses 0..30; false when the driver cannot look for listeners.
    bool find_listeners(std::vector<int>& found) {
        short pads[kHighestAddress + 2];
        for (int a = 0; a <= kHighestAddress; ++a) pads[a] = static_cast<short>(a);
        pads[kHighestAddress + 1] = kNoAddress;
        short results[kHighestAddress + 1] = {};
        driver_.FindLstn(resource_.board, pads, results, kHighestAddress + 1);
        Read_status(driver_);
        if ((driver_.ibsta & gpib::ERR) != 0)
            return false;
        const int count = std::clamp(driver_.ibcnt, 0, kHighestAddress + 1);
        for (int i = 0; i < count; ++i) found.push_back(results[i] & 0xFF);
        return true;
    }
    std::string failure(const std::string& what) const {
        return what + ": " + Status_bits_line(driver_.ibsta).substr(11) + ",  " +
               Error_name_line(driver_.iberr).substr(11) + ",  " + Count_line(driver_.ibcnt) +
               "\n" + Remedy(resource_, driver_.iberr, driver_.ibcnt);
    }

  private:
    Resource resource_;
    ScopedSettings settings_;
    DriverBinding driver_;
};

bool Is_scope(const std::string& identity) {
    return identity.find("HP54200A") != std::string::npos;
}

constexpr long kListSize = 64 * 1024;

// A driver library's list export: (expression or nothing, buffer, size) -> count, or -1 with the
// reason in the buffer.
ResourceList List_through(const std::string& library_path, const char* export_name,
                          const char* expression) {
    ResourceList out;
    std::string why;
    void* library = Open_library(library_path.c_str(), why);
    if (library == nullptr) {
        out.reason = "The driver library " + library_path + " cannot be loaded: " + why;
        return out;
    }
    using List_fn = int (*)(const char*, char*, long);
    const auto list = reinterpret_cast<List_fn>(Library_export(library, export_name));
    if (list == nullptr) {
        out.reason = library_path + " lacks " + export_name;
    } else {
        std::vector<char> buffer(kListSize, '\0');
        const int n = list(expression, buffer.data(), kListSize);
        const std::string text(buffer.data());
        out.ok = n >= 0;
        if (!out.ok)
            out.reason = text;
        for (std::size_t start = 0; out.ok && start < text.size();) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            if (end > start)
                out.names.push_back(text.substr(start, end - start));
            start = end + 1;
        }
    }
    Close_library(library);
    return out;
}

bool Ends_with_instr(const std::string& name) {
    return name.size() >= 7 && name.compare(name.size() - 7, 7, "::INSTR") == 0;
}

// Find through VISA: each INSTR resource listed, asked "ID ?".
void Find_through_visa(Try& t, const Resource& resource, const std::vector<std::string>& names,
                       const std::function<bool(int)>& keep_going, ProbeOutcome& out) {
    int n = 0;
    for (const std::string& name : names) {
        if (!keep_going(n++))
            break;
        if (!Ends_with_instr(name))
            continue;
        platform::Set_environment_variable("VISA_RESOURCE", name);
        const int ud = t.open(resource.address, kT100ms);
        if (ud < 0)
            continue;
        const std::string id = t.identity(ud);
        t.offline(ud);
        if (id.empty())
            continue;
        out.found.push_back({resource.address, id, name});
        if (out.scope_resource.empty() && Is_scope(id))
            out.scope_resource = name;
    }
}

}  // namespace

std::string Remedy(const Resource& res, int iberr, int ibcnt) {
    const std::string board = std::to_string(res.board);
    if (iberr == gpib::ENOL)
        return "Nothing listens at address " + std::to_string(res.address) +
               ": is the scope switched on, and set to that address (its HP-IB switches)?";
    switch (res.kind) {
        case InterfaceKind::GpibBoard:
            return Board_driver_remedy(iberr < 0, board);
        case InterfaceKind::UsbAdapter:
            if (Is_serial_port_name(res.where))
                return "Is the adapter plugged in at " + res.where +
                       ((iberr == gpib::EDVR && ibcnt == 13 /* EACCES */) || iberr == gpib::ENEB
                            ? Serial_port_open_advice()
                            : "?");
            return "Is the adapter on the network at " + res.where +
                   ", on its port (1234 for a Prologix GPIB-ETHERNET)?";
        case InterfaceKind::LanGateway:
            return "Is the gateway on the network at " + res.where + ", and is \"" + res.device +
                   "\" its name for the instrument? Most gateways call it gpib0,<address>; an "
                   "HP E2050A hpib,<address>; an instrument on the LAN itself is inst0.";
        case InterfaceKind::Simulated:
            return "The simulated scope listens at board HP_SIM_BOARD (0) and address "
                   "HP_SIM_ADDRESS (5).";
        case InterfaceKind::Visa:
            return "Does the system's VISA reach " + res.where +
                   "? Its own tool (NI MAX, Keysight Connection Expert, R&S VISA Tester) lists "
                   "what it reaches; without a VISA, install one or name its library in "
                   "VISA_LIBRARY.";
        case InterfaceKind::Usbtmc:
            if (iberr == gpib::EDVR && ibcnt == 13 /* EACCES */)
                return "You may not use the adapter's device node: the package's udev rule "
                       "gives the plugdev group access to USBTMC devices. Join the group "
                       "(sudo usermod -aG plugdev $USER), log in again and plug the adapter "
                       "in again.";
            return "Is the adapter plugged in (lsusb lists it) and does the kernel's usbtmc "
                   "driver serve it (ls /dev/usbtmc*)?";
    }
    return {};
}

std::string Remedy_in_environment(int iberr, int ibcnt) {
    const ResourceReading r = Parse_resource(Resource_in_environment());
    return r.resource ? Remedy(*r.resource, iberr, ibcnt) : std::string();
}

ProbeOutcome Test_resource(const Resource& resource, const LibraryLocator& locate) {
    ProbeOutcome out;
    StderrCapture capture;
    {
        Try t(resource, locate);
        if (t.bind(out)) {
            const int ud = t.open(resource.address, kT3s);
            if (ud < 0) {
                out.reason = t.failure("The device cannot be opened");
            } else {
                out.identity = t.identity(ud);
                out.ok = !out.identity.empty();
                if (!out.ok)
                    out.reason = t.failure("The device does not answer \"ID ?\"");
                t.offline(ud);
            }
        }
    }
    const std::string said = capture.finish();
    if (!out.ok && !said.empty())
        out.reason = said + out.reason;
    return out;
}

ProbeOutcome Find_scope(const Resource& resource, const LibraryLocator& locate,
                        const std::function<bool(int)>& keep_going) {
    ProbeOutcome out;
    StderrCapture capture;
    {
        Try t(resource, locate);
        ResourceList listed;
        if (resource.kind == InterfaceKind::Visa) {
            listed = List_visa_resources(locate);
            if (!listed.ok)
                out.reason = listed.reason + "\n" + Remedy(resource, -1, 0);
        }
        if (resource.kind == InterfaceKind::Visa) {
            if (listed.ok && t.bind(out)) {
                out.ok = true;
                Find_through_visa(t, resource, listed.names, keep_going, out);
            }
        } else if (t.bind(out)) {
            out.ok = true;
            std::vector<int> candidates;
            if (!keep_going(0)) {
                // cancelled before it began
            } else {
                platform::StandardErrorCapture search;
                const bool searched = t.find_listeners(candidates);
                const std::string said = search.finish();
                if (searched) {
                    std::fputs(said.c_str(), stderr);
                } else {
                    // No listener search in this driver (its complaint is no news): a device
                    // per address.
                    candidates.clear();
                    for (int a = 0; a <= kHighestAddress; ++a) candidates.push_back(a);
                }
            }
            const bool own_name = resource.kind != InterfaceKind::LanGateway ||
                                  Device_at_address(resource.device, 0) != resource.device;
            if (!own_name)
                candidates = {resource.address};  // a LAN instrument has no bus address
            for (const int a : candidates) {
                if (!keep_going(a))
                    break;
                if (resource.kind == InterfaceKind::LanGateway && own_name)
                    platform::Set_environment_variable("VXI11_DEVICE",
                                                       Device_at_address(resource.device, a));
                // What the driver says of an address where nobody answers is no news: the
                // dialog reports what was found; the rest goes to standard error as usual.
                platform::StandardErrorCapture per_address;
                const int ud = t.open(a, kT100ms);
                const std::string id = ud >= 0 ? t.identity(ud) : std::string();
                t.offline(ud);
                const std::string said = per_address.finish();
                if (ud < 0 || (id.empty() && candidates.size() > kHighestAddress))
                    continue;  // nobody there
                std::fputs(said.c_str(), stderr);
                out.found.push_back({a, id, {}});
                if (out.scope_address < 0 && Is_scope(id))
                    out.scope_address = a;
            }
        }
    }
    const std::string said = capture.finish();
    if (!out.ok && !said.empty())
        out.reason = said + out.reason;
    return out;
}

ResourceList List_visa_resources(const LibraryLocator& locate) {
    return List_through(locate("libgpib_visa.so"), "VisaFindResources", "?*INSTR");
}

ResourceList List_usbtmc_devices(const LibraryLocator& locate) {
#if defined(_WIN32)
    // On Windows USBTMC adapters are VISA's USB resources.
    ResourceList list = List_visa_resources(locate);
    std::erase_if(list.names, [](const std::string& name) { return name.rfind("USB", 0) != 0; });
    return list;
#else
    return List_through(locate("libgpib_usbtmc.so"), "UsbtmcListDevices", "");
#endif
}

}  // namespace scope
