// A stand-in for a real adapter when trying the program by hand: a fake Prologix GPIB-USB (or
// AR488) on a pseudo-terminal or loopback TCP, serving the simulated scope's model (configured
// by the same HP_SIM_* variables as the simulator). It prints the value for PROLOGIX_PORT and
// the resource string for the program, and serves until its standard input closes (Ctrl-D) or it is
// interrupted. Usage: hp54200a_fake_adapter [prologix|ar488] [pty|tcp]
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "support_fake_adapter.h"

int main(int argc, char* argv[]) {
    fake_adapter::Options options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "ar488") == 0) {
            options.dialect = fake_adapter::Dialect::ar488;
        } else if (std::strcmp(argv[i], "tcp") == 0) {
            options.transport = fake_adapter::Transport::tcp;
        } else if (std::strcmp(argv[i], "prologix") != 0 && std::strcmp(argv[i], "pty") != 0) {
            std::fprintf(stderr, "usage: %s [prologix|ar488] [pty|tcp]\n", argv[0]);
            return 2;
        }
    }
    fake_adapter::SimulatedScope instrument;
    fake_adapter::FakeAdapter adapter(options, instrument);
    std::printf("PROLOGIX_PORT=%s\n", adapter.port().c_str());
    const std::string& port = adapter.port();
    if (options.transport == fake_adapter::Transport::pty)
        std::printf("resource: PRLGX-ASRL::%s::INTFC\n", port.c_str());
    else
        std::printf("resource: PRLGX-TCPIP::%s::%s::INTFC\n",
                    port.substr(0, port.rfind(':')).c_str(),
                    port.substr(port.rfind(':') + 1).c_str());
    std::fflush(stdout);
    char c = 0;
    while (read(STDIN_FILENO, &c, 1) > 0) {
    }
    return 0;
}
