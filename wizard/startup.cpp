// Graphical start-up of the wizard.
#include <cstdio>
#include <cstdlib>

#include "wizard/startup.h"

namespace qv {

// NOT-YET-BUILT: wizard_main
int wizard_main(int, char **, char *, char *)
{
    std::fputs("NOT-YET-BUILT: wizard_main (the graphical installer is not available in this build; use -cmdline)\n",
               stderr);
    std::exit(1);
}

} // namespace qv
