// The program's entry point: the main window and its event loop.
#include <cstdio>

int main() {
    std::puts("hp54200a: the main window is not built yet");
    return 0;
}
