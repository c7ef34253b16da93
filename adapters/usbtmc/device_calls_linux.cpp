// The kernel's own calls on a USBTMC node.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "adapters/usbtmc/device_calls.h"

namespace usbtmc {
namespace {

int Open(const char* path, int flags) {
    return ::open(path, flags);
}
int Ioctl(int fd, unsigned long request, void* argument) {
    return ::ioctl(fd, request, argument);
}

}  // namespace

const DeviceCalls& Device_calls() {
    static const DeviceCalls calls{Open,  ::close, ::read, ::write, Ioctl, "/sys/class/usbmisc",
                                   "/dev"};
    return calls;
}

}  // namespace usbtmc
