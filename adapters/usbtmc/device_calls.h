// The system calls the USBTMC driver makes on a device node and the sysfs folder it looks
// nodes up in: the kernel's own in the library, a fake kernel in the tests' build of it.
#pragma once

#include <sys/types.h>

#include <string>

namespace usbtmc {

struct DeviceCalls {
    int (*open)(const char* path, int flags);
    int (*close)(int fd);
    ssize_t (*read)(int fd, void* buffer, size_t count);
    ssize_t (*write)(int fd, const void* buffer, size_t count);
    // The usbtmc driver's requests: each takes a pointer to its argument, or none.
    int (*ioctl)(int fd, unsigned long request, void* argument);
    // Where the kernel lists the USBTMC nodes ("/sys/class/usbmisc"), and the folder of the
    // nodes themselves ("/dev").
    const char* sysfs_class_dir;
    const char* dev_dir;
};

// The calls the library makes: defined once per build of it.
const DeviceCalls& Device_calls();

}  // namespace usbtmc
