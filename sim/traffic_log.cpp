// The bus traffic log of the simulated scope.
#include "sim/traffic_log.h"

#include <chrono>
#include <cstdio>

namespace sim {

namespace {

// Function-local statics: the driver's load hook may run before this file's globals exist.
std::string& log_path() {
    static std::string path;
    return path;
}

std::chrono::steady_clock::time_point load_time() {
    static const auto t = std::chrono::steady_clock::now();
    return t;
}

}  // namespace

std::string c_escape(const char* data, std::size_t size) {
    std::string out;
    out.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        switch (c) {
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                if (c >= 0x20 && c < 0x7F) {
                    out += static_cast<char>(c);
                } else {
                    static constexpr char hex[] = "0123456789ABCDEF";
                    out += "\\x";
                    out += hex[c >> 4];
                    out += hex[c & 0xF];
                }
        }
    }
    return out;
}

void set_log_path(const std::string& path) {
    load_time();
    log_path() = path;
}

void log_call(const char* function, const std::string& args, const char* data, std::size_t size,
              int status, int error, long count) {
    if (log_path().empty())
        return;
    // Opened for every line: a test may replace the file between connections, and nothing is
    // left in a buffer if the program exits straight after the call.
    std::FILE* f = std::fopen(log_path().c_str(), "a");
    if (f == nullptr)
        return;
    const double t =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - load_time()).count();
    std::fprintf(f, "%.6f\t%s\t%s\t\"%s\"\t0x%04X\t%d\t%ld\n", t, function, args.c_str(),
                 c_escape(data, size).c_str(), static_cast<unsigned>(status) & 0xFFFFu, error,
                 count);
    std::fclose(f);
}

}  // namespace sim
