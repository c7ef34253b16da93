// The console a command was typed in, for a program that is also a windowed application.
#pragma once

namespace platform {

// On Windows the program is a windowed application, so that starting it from the Start menu
// opens no console window; typed in a console (--help, --version, capture), it writes its
// standard output and error there, unless they were redirected to a file or a pipe. Elsewhere
// the standard streams are the terminal's already, and nothing is done.
void Attach_to_starting_console();

}  // namespace platform
