// A program that, like hp54200a, does not link libtirpc: it starts the fake gateway as a program
// of its own, loads the VXI-11 driver, asks the instrument for its identity through it and takes
// the device offline. Exit status 0 when the reply came back whole.
// Usage: vxi11_plain_host <libgpib_vxi11.so> <hp54200a_fake_gateway>
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

extern char** environ;

int main(int argc, char* argv[]) {
    int to_gateway[2];
    int from_gateway[2];
    if (argc != 3 || pipe2(to_gateway, O_CLOEXEC) != 0 || pipe2(from_gateway, O_CLOEXEC) != 0) {
        return 2;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, to_gateway[0], 0);
    posix_spawn_file_actions_adddup2(&actions, from_gateway[1], 1);
    pid_t gateway = 0;
    char* gateway_argv[] = {argv[2], nullptr};
    const int spawned = posix_spawn(&gateway, argv[2], &actions, nullptr, gateway_argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return 2;
    }
    close(to_gateway[0]);
    close(from_gateway[1]);
    char host[64] = "";
    FILE* announced = fdopen(from_gateway[0], "r");
    if (announced == nullptr || std::fscanf(announced, "VXI11_HOST=%63s", host) != 1) {
        return 2;
    }
    setenv("VXI11_HOST", host, 1);
    void* driver = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (driver == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    const auto ibdev =
        reinterpret_cast<int (*)(int, int, int, int, int, int)>(dlsym(driver, "ibdev"));
    const auto ibwrt = reinterpret_cast<int (*)(int, const void*, long)>(dlsym(driver, "ibwrt"));
    const auto ibrd = reinterpret_cast<int (*)(int, void*, long)>(dlsym(driver, "ibrd"));
    const auto ibonl = reinterpret_cast<int (*)(int, int)>(dlsym(driver, "ibonl"));
    const auto ibcnt = reinterpret_cast<int (*)()>(dlsym(driver, "ThreadIbcnt"));
    const int ud = ibdev(0, 5, 0, 12, 1, 0);  // T3s
    char reply[256] = "";
    const bool asked = ud > 0 && ibwrt(ud, "ID ?", 4) == 0x0100;
    const bool answered = asked && ibrd(ud, reply, sizeof reply - 1) == 0x2100;
    const std::string text(reply, answered ? static_cast<std::size_t>(ibcnt()) : 0);
    std::printf("ID ? -> \"%s\"\n", text.c_str());
    const bool offline = ud > 0 && ibonl(ud, 0) == 0x0100;
    close(to_gateway[1]);  // the gateway ends when its standard input closes
    int status = 0;
    waitpid(gateway, &status, 0);
    const bool whole = text.find("HP54200A") != std::string::npos && text.back() == '\n';
    return whole && offline ? 0 : 1;
}
