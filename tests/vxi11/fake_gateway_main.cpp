// The tests' fake LAN-GPIB gateway as a program of its own, for trying the VXI-11 driver by
// hand: it serves until its standard input closes (or Ctrl-D), with the simulated scope's model
// (and its HP_SIM_* settings) as the instrument at gpib0,5.
// Usage: hp54200a_fake_gateway   -> prints "VXI11_HOST=127.0.0.1:<port>", the portmapper port and
// the resource string for the program
#include <cstdio>
#include <iostream>
#include <string>

#include "support_fake_gateway.h"

int main() {
    fake_vxi11::FakeGateway gateway;
    std::printf("VXI11_HOST=%s\nVXI11_PORTMAPPER_PORT=%u\n", gateway.host_with_port().c_str(),
                static_cast<unsigned>(gateway.portmapper_port()));
    std::printf("resource: TCPIP0::%s::gpib0,5::INSTR\n", gateway.host_with_port().c_str());
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return 0;
}
