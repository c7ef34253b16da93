// At start, a saved connection that cannot be used: refused as a bad variable is, on standard
// error and in a box, and the Connection dialog opened at once. OK there saves and uses the new
// choice; Cancel does what it does at the first start: this run goes on with what the command
// line and the environment name (else the default), and the saved choice is left as it is.
#pragma once

#include <string>

#include "app/connect/connection.h"

class QWidget;

namespace app {

// True when an interface is chosen for this run (the dialog's, or the environment's after
// Cancel); false for the default.
bool Settle_refused_saved_choice(const ConnectionChoice& choice, QWidget* window,
                                 const std::string& program_dir);

}  // namespace app
