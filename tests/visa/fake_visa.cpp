// A fake VISA library, built as libvisa.so.0 (visa64.dll on Windows) for the VISA driver's
// tests: it behaves as a VISA does for INSTR resources, with the simulated HP 54200A's model as
// the instrument behind the scope's resources, and has hostile modes set through FakeVisa_set:
// time-outs, errors on opening and on every call, and a resource list of its own. Every call is
// logged, one line each, for the tests to read back (FakeVisa_log).
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "adapters/visa/visa_types.h"
#include "sim/scope_model.h"
#include "sim/sim_config.h"

#if defined(_WIN32)
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using namespace visa;

namespace {

struct Session {
    std::string resource;
    bool scope = false;  // the simulated scope answers behind it
    bool send_end = true;
    ViUInt32 timeout_ms = 2000;
    bool termchar = false;
    std::string message;  // written without END so far
    std::string output;   // the reply being read
    std::size_t output_pos = 0;
};

struct Modes {
    ViStatus fail_manager = VI_SUCCESS;  // viOpenDefaultRM
    ViStatus fail_open = VI_SUCCESS;     // viOpen
    ViStatus fail_every = VI_SUCCESS;    // every call on an INSTR session
    long timeout_read = 0;               // the n-th viRead times out (-1: every one)
    long timeout_write = 0;              // the n-th viWrite times out (-1: every one)
    ViStatus fail_find = VI_SUCCESS;     // viFindRsrc
};

struct Fake {
    std::mutex mutex;
    Modes modes;
    std::string resources = "GPIB0::5::INSTR\nUSB0::0x03EB::0x2065::FAKE1::INSTR\nASRL1::INSTR";
    std::map<ViSession, Session> sessions;
    std::vector<ViSession> managers;
    std::map<ViFindList, std::vector<std::string>> finds;
    ViSession next = 1;
    long reads = 0;
    long writes = 0;
    std::string log;
};

Fake& fake() {
    static Fake the_fake;
    return the_fake;
}

std::vector<std::string> Listed() {
    std::vector<std::string> names;
    std::istringstream in(fake().resources);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            names.push_back(line);
    return names;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

void Log(const std::string& line) {
    fake().log += line + "\n";
}

Session* Find_session(ViSession vi) {
    const auto it = fake().sessions.find(vi);
    return it == fake().sessions.end() ? nullptr : &it->second;
}

bool Is_manager(ViSession vi) {
    const auto& m = fake().managers;
    return std::find(m.begin(), m.end(), vi) != m.end();
}

void Deliver(Session& s) {
    sim::receive_command(s.message);
    s.message.clear();
    s.output.assign(sim::output_remaining(), '\0');
    s.output.resize(sim::read_output(s.output.data(), s.output.size()));
    s.output_pos = 0;
}

// The n-th call of a kind, counted since the modes were set, is hit by a mode for n (or -1).
bool Hits(long mode, long nth) {
    return mode == -1 || (mode > 0 && mode == nth);
}

}  // namespace

FAKE_EXPORT ViStatus VISA_CALL viOpenDefaultRM(ViSession* rm) {
    const std::lock_guard<std::mutex> lock(fake().mutex);
    Log("viOpenDefaultRM");
    if (fake().modes.fail_manager != VI_SUCCESS)
        return fake().modes.fail_manager;
    *rm = fake().next++;
    fake().managers.push_back(*rm);
    return VI_SUCCESS;
}

FAKE_EXPORT ViStatus VISA_CALL viOpen(ViSession rm, const ViChar* name, ViAccessMode, ViUInt32,
                                      ViSession* vi) {
    const std::lock_guard<std::mutex> lock(fake().mutex);
    Log("viOpen " + std::string(name));
    if (!Is_manager(rm))
        return VI_ERROR_INV_OBJECT;
    if (fake().modes.fail_open != VI_SUCCESS)
        return fake().modes.fail_open;
    const std::vector<std::string> listed = Listed();
    const std::string wanted = Upper(name);
    if (std::none_of(listed.begin(), listed.end(),
                     [&](const std::string& n) { return Upper(n) == wanted; }))
        return VI_ERROR_RSRC_NFOUND;
    Session s;
    s.resource = name;
    // The scope stands at GPIB0::<its address>, and behind every USB resource listed.
    const std::string scope_gpib =
        "GPIB0::" + std::to_string(sim::read_config().address) + "::INSTR";
    s.scope = wanted == scope_gpib || wanted.rfind("USB", 0) == 0;
    if (s.scope)
        sim::reset_instrument(sim::read_config());
    *vi = fake().next++;
    fake().sessions[*vi] = s;
    fake().reads = 0;
    fake().writes = 0;
    return VI_SUCCESS;
}

FAKE_EXPORT ViStatus VISA_CALL viClose(ViObject vi) {
    const std::lock_guard<std::mutex> lock(fake().mutex);
    auto& f = fake();
    if (f.sessions.erase(vi) != 0) {
        Log("viClose session");
        return VI_SUCCESS;
    }
    if (const auto it = std::find(f.managers.begin(), f.managers.end(), vi);
        it != f.managers.end()) {
        f.managers.erase(it);
        Log("viClose manager");
        return VI_SUCCESS;
    }
    if (f.finds.erase(vi) != 0) {
        Log("viClose find list");
        return VI_SUCCESS;
    }
    Log("viClose unknown");
    return VI_ERROR_INV_OBJECT;
}

FAKE_EXPORT ViStatus VISA_CALL viSetAttribute(ViObject vi, ViAttr attribute, ViAttrState value) {
    const std::lock_guard<std::mutex> lock(fake().mutex);
    char line[80];
    std::snprintf(line, sizeof line, "viSetAttribute %08X %llu", static_cast<unsigned>(attribute),
                  static_cast<unsigned long long>(value));
    Log(line);
    Session* s = Find_session(vi);
    if (s == nullptr)
        return VI_ERROR_INV_OBJECT;
    if (fake().modes.fail_every != VI_SUCCESS)
        return fake().modes.fail_every;
    if (attribute == VI_ATTR_TMO_VALUE)
        s->timeout_ms = static_cast<ViUInt32>(value);
    else if (attribute == VI_ATTR_SEND_END_EN)
        s->send_end = value != 0;
    else if (attribute == VI_ATTR_TERMCHAR_EN)
        s->termchar = value != 0;
    return VI_SUCCESS;
}

FAKE_EXPORT ViStatus VISA_CALL viWrite(ViSession vi, const ViByte* buffer, ViUInt32 count,
                                       ViUInt32* returned) {
    const std::lock_guard<std::mutex> lock(fake().mutex);
    Session* s = Find_session(vi);
    *returned = 0;
    Log("viWrite " + std::to_string(count) + (s != nullptr && s->send_end ? " END" : "") + " " +
        std::string(reinterpret_cast<const char*>(buffer), std::min<ViUInt32>(count, 40)));
    if (s == nullptr)
        return VI_ERROR_INV_OBJECT;
    if (fake().modes.fail_every != VI_SUCCESS)
        return fake().modes.fail_every;
    if (Hits(fake().modes.timeout_write, ++fake().writes) || !s->scope)
        return VI_ERROR_TMO;  // no listener took the bytes
    s->message.append(reinterpret_cast<const char*>(buffer), count);
    if (s->send_end)
        Deliver(*s);
    *returned = count;
    return VI_SUCCESS;
}

// As a VISA: the caller's count, VI_SUCCESS when the device's END came with the last byte,
// VI_SUCCESS_MAX_CNT when the count was met first; VI_ERROR_TMO when nothing is there to read.
FAKE_EXPORT ViStatus VISA_CALL viRead(ViSession vi, ViByte* buffer, ViUInt32 count,
                                      ViUInt32* returned) {
    const std::lock_guard<std::mutex> lock(fake().mutex);
    Log("viRead " + std::to_string(count));
    *returned = 0;
    Session* s = Find_session(vi);
    if (s == nullptr)
        return VI_ERROR_INV_OBJECT;
    if (fake().modes.fail_every != VI_SUCCESS)
        return fake().modes.fail_every;
    const std::size_t left = s->output.size() - s->output_pos;
    if (Hits(fake().modes.timeout_read, ++fake().reads) || left == 0)
        return VI_ERROR_TMO;
    const std::size_t n = std::min<std::size_t>(count, left);
    std::memcpy(buffer, s->output.data() + s->output_pos, n);
    s->output_pos += n;
    *returned = static_cast<ViUInt32>(n);
    return n == left ? VI_SUCCESS : VI_SUCCESS_MAX_CNT;
}

// The variant that lacks viClear, for the driver's refusal of an incomplete VISA.
#ifndef FAKE_VISA_NO_CLEAR
FAKE_EXPORT ViStatus VISA_CALL viClear(ViSession vi) {
    const std::lock_guard<std::mutex> lock(fake().mutex);
    Log("viClear");
    Session* s = Find_session(vi);
    if (s == nullptr)
        return VI_ERROR_INV_OBJECT;
    if (fake().modes.fail_every != VI_SUCCESS)
        return fake().modes.fail_every;
    s->message.clear();
    s->output.clear();
    s->output_pos = 0;
    if (s->scope)
        sim::clear_device();
    return VI_SUCCESS;
}
#endif

FAKE_EXPORT ViStatus VISA_CALL viStatusDesc(ViObject, ViStatus status, ViChar* description) {
    static const std::map<ViStatus, const char*> texts{
        {VI_SUCCESS, "VI_SUCCESS: Operation completed successfully."},
        {VI_ERROR_SYSTEM_ERROR, "VI_ERROR_SYSTEM_ERROR: Unknown system error."},
        {VI_ERROR_INV_OBJECT, "VI_ERROR_INV_OBJECT: The given session is invalid."},
        {VI_ERROR_RSRC_NFOUND, "VI_ERROR_RSRC_NFOUND: Insufficient location information."},
        {VI_ERROR_TMO, "VI_ERROR_TMO: Timeout expired before operation completed."},
        {VI_ERROR_IO, "VI_ERROR_IO: Could not perform operation because of I/O error."},
        {VI_ERROR_CONN_LOST, "VI_ERROR_CONN_LOST: The connection was lost."},
    };
    const auto it = texts.find(status);
    std::snprintf(description, VI_FIND_BUFLEN, "%s",
                  it != texts.end() ? it->second : "Unknown status code.");
    return VI_SUCCESS;
}

// Lists the resources whose names match: "?*INSTR" (every INSTR resource) and "?*" are the
// expressions understood; anything else matches the name itself.
FAKE_EXPORT ViStatus VISA_CALL viFindRsrc(ViSession rm, const ViChar* expression, ViFindList* list,
                                          ViUInt32* count, ViChar* first) {
    const std::lock_guard<std::mutex> lock(fake().mutex);
    Log("viFindRsrc " + std::string(expression));
    if (!Is_manager(rm))
        return VI_ERROR_INV_OBJECT;
    if (fake().modes.fail_find != VI_SUCCESS)
        return fake().modes.fail_find;
    const std::string pattern = Upper(expression);
    std::vector<std::string> found;
    for (const std::string& name : Listed()) {
        const std::string upper = Upper(name);
        const bool instr = upper.size() >= 5 && upper.compare(upper.size() - 5, 5, "INSTR") == 0;
        if (pattern == "?*" || (pattern == "?*INSTR" && instr) || pattern == upper)
            found.push_back(name);
    }
    if (found.empty())
        return VI_ERROR_RSRC_NFOUND;
    *list = fake().next++;
    *count = static_cast<ViUInt32>(found.size());
    std::snprintf(first, VI_FIND_BUFLEN, "%s", found.front().c_str());
    found.erase(found.begin());
    fake().finds[*list] = found;
    return VI_SUCCESS;
}

FAKE_EXPORT ViStatus VISA_CALL viFindNext(ViFindList list, ViChar* next) {
    const std::lock_guard<std::mutex> lock(fake().mutex);
    const auto it = fake().finds.find(list);
    if (it == fake().finds.end())
        return VI_ERROR_INV_OBJECT;
    if (it->second.empty())
        return VI_ERROR_RSRC_NFOUND;
    std::snprintf(next, VI_FIND_BUFLEN, "%s", it->second.front().c_str());
    it->second.erase(it->second.begin());
    return VI_SUCCESS;
}

// The tests' controls. Modes by name: "fail_manager", "fail_open", "fail_every", "fail_find"
// (a VISA status), "timeout_read", "timeout_write" (the n-th call, -1 for every one). Setting
// "reset" clears the modes, the log and the resource list's changes.
FAKE_EXPORT void FakeVisa_set(const char* mode, long long value) {
    const std::lock_guard<std::mutex> lock(fake().mutex);
    Modes& m = fake().modes;
    const std::string name = mode;
    const auto status = static_cast<ViStatus>(value);
    if (name == "reset") {
        m = Modes{};
        fake().log.clear();
        fake().resources = Fake{}.resources;
    } else if (name == "fail_manager") {
        m.fail_manager = status;
    } else if (name == "fail_open") {
        m.fail_open = status;
    } else if (name == "fail_every") {
        m.fail_every = status;
    } else if (name == "fail_find") {
        m.fail_find = status;
    } else if (name == "timeout_read") {
        m.timeout_read = static_cast<long>(value);
    } else if (name == "timeout_write") {
        m.timeout_write = static_cast<long>(value);
    }
}

// The resources the VISA knows, one a line.
FAKE_EXPORT void FakeVisa_set_resources(const char* names) {
    const std::lock_guard<std::mutex> lock(fake().mutex);
    fake().resources = names;
}

// The log so far (one call a line), and the sessions still open: INSTR sessions plus resource
// managers plus find lists.
FAKE_EXPORT const char* FakeVisa_log() {
    const std::lock_guard<std::mutex> lock(fake().mutex);
    static std::string copy;
    copy = fake().log;
    return copy.c_str();
}

FAKE_EXPORT int FakeVisa_open_sessions() {
    const std::lock_guard<std::mutex> lock(fake().mutex);
    return static_cast<int>(fake().sessions.size() + fake().managers.size() + fake().finds.size());
}
