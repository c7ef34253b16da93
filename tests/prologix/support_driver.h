// The adapter driver library loaded the way the program loads a driver, with its entry points
// and status accessors, for the tests that call it directly.
#pragma once

#include <string>

namespace prologix_test {

class Driver {
  public:
    using ibdev_fn = int (*)(int, int, int, int, int, int);
    using ibio_fn = int (*)(int, void*, long);
    using ibwrt_fn = int (*)(int, const void*, long);
    using ibonl_fn = int (*)(int, int);
    using status_fn = int (*)();
    using SendIFC_fn = void (*)(int);
    using DevClear_fn = void (*)(int, short);
    using ReadStatusByte_fn = void (*)(int, short, short*);
    using FindLstn_fn = void (*)(int, const short*, short*, int);
    using WaitSRQ_fn = void (*)(int, short*);

    Driver();  // loads the library built beside the tests; fails the test when it cannot
    ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    int open(int tmo_code = 12) { return ibdev(0, 5, 0, tmo_code, 1, 0); }
    int write(int ud, const std::string& bytes) {
        return ibwrt(ud, bytes.data(), static_cast<long>(bytes.size()));
    }
    // Reads at most count bytes; the bytes received.
    std::string read(int ud, long count);

    int sta() const { return ThreadIbsta(); }
    int err() const { return ThreadIberr(); }
    int cnt() const { return ThreadIbcnt(); }

    ibdev_fn ibdev = nullptr;
    ibwrt_fn ibwrt = nullptr;
    ibio_fn ibrd = nullptr;
    ibonl_fn ibonl = nullptr;
    status_fn ThreadIbsta = nullptr;
    status_fn ThreadIberr = nullptr;
    status_fn ThreadIbcnt = nullptr;
    SendIFC_fn SendIFC = nullptr;
    DevClear_fn DevClear = nullptr;
    ReadStatusByte_fn ReadStatusByte = nullptr;
    FindLstn_fn FindLstn = nullptr;
    WaitSRQ_fn WaitSRQ = nullptr;

  private:
    void* handle_ = nullptr;
};

// The driver's path, for GPIB_LIBRARY.
std::string Library_path();

}  // namespace prologix_test
