// The graphical start-up that follows the command-line processing of main.
#pragma once

#include <X11/Intrinsic.h>

namespace qv {

// Opens the display and an application context of the class "QUORVANTA
// Setup" with a copy of the given words (the toolkit takes the options it
// knows from the copy), and registers the builder converters. Returns the
// toolkit's top-level widget.
Widget open_application(int argc, char **argv, XtAppContext *app);

// Initialises the toolkit, reads and sizes the description, opens the
// maintenance or the welcome dialog and runs the event loop. Takes over the
// two heap strings that the command-line processing returned.
int wizard_main(int argc, char **argv, char *cdinstPath, char *rootDest);

} // namespace qv
