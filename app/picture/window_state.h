// The window-level state that the handlers keep and the other units read: which graphs are
// shown and which output the operator chose.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace app {

struct WindowState {
    bool Show_ch1_waveform = false;
    bool Show_ch1_fft = false;
    bool Show_ch2_waveform = false;
    bool Show_ch2_fft = false;
    // 0 none, 1 "Ch 1 and Ch 2", 2 "Ch 1 + Ch 2", 3 "Ch 1 - Ch 2"
    int32_t Combined_display = 0;
    bool Output_wmf = false;
    bool Output_clipboard = false;
    bool Output_textfile = false;
    bool Output_format_chosen = false;
};

extern WindowState Window;

// The display flags that opening the connection clears: which graphs are shown.
class WindowDisplayFlags final : public platform::DisplayFlags {
  public:
    void clear() override;
};

}  // namespace app
