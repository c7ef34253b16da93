// The bus traffic log of the simulated scope: one tab-separated line per driver call, appended
// and flushed at once, because the program may end its process right after a failed call.
#pragma once

#include <string>

namespace sim {

// Bytes as a C string literal body: printable ASCII as is, \r \n \t \" \\ and \xHH otherwise.
std::string c_escape(const char* data, std::size_t size);

// Names the log file ("" turns logging off).
void set_log_path(const std::string& path);

// time, function, args, "data", status, iberr, ibcnt
void log_call(const char* function, const std::string& args, const char* data, std::size_t size,
              int status, int error, long count);

}  // namespace sim
