// Storage of the window-level state.
#include "app/window_state.h"

namespace app {

WindowState Window;

}  // namespace app
