// The graphical start-up that follows the command-line processing of main.
#pragma once

namespace qv {

// Initialises the toolkit, reads and sizes the description, opens the
// maintenance or the welcome dialog and runs the event loop. Takes over the
// two heap strings that the command-line processing returned.
int wizard_main(int argc, char **argv, char *cdinstPath, char *rootDest);

} // namespace qv
