// The start after a saved connection was refused.
#include "app/connect/start_choice.h"

#include <cstdio>

#include "app/connect/connection_dialog.h"
#include "platform/platform.h"

namespace app {

bool Settle_refused_saved_choice(const ConnectionChoice& choice, QWidget* window,
                                 const std::string& program_dir) {
    std::fprintf(stderr, "hp54200a: %s\n", choice.refusal.c_str());
    platform::current().message_box(platform::BoxKind::Error, "Error", choice.refusal);
    if (Run_first_connection_dialog(window, program_dir) == FirstChoice::Chosen)
        return true;
    return Environment_names_interface();
}

}  // namespace app
