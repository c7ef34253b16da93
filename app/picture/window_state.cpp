// Storage of the window-level state.
#include "app/picture/window_state.h"

namespace app {

WindowState Window;

void WindowDisplayFlags::clear() {
    Window.Show_ch1_waveform = false;
    Window.Show_ch2_waveform = false;
    Window.Show_ch1_fft = false;
    Window.Show_ch2_fft = false;
}

}  // namespace app
