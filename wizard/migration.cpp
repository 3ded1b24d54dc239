// Preferences migration: carries the user's preferences of a previous
// version over to the new installation once it is in place.
#include "wizard/migration.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/cdinst.h"
#include "engine/internal.h"
#include "wizard/glue.h"
#include "wizard/migration_state.h"

namespace qv {

MigrationRequest &migration_request()
{
    static MigrationRequest request;
    return request;
}

} // namespace qv

extern "C" {

// Runs the installed product's migration on the chosen preferences folder,
// when the user asked for it, and says how it went. Answers 1 when there
// was nothing to do or the migration worked, 0 when it failed.
int DoMigrate(Widget w)
{
    qv::MigrationRequest &request = qv::migration_request();
    if (!request.requested || !request.source)
        return 1;
    Widget parent = QV_instGetShell(w);
    const char *destination = QV_instGetDestinationDirectory();
    if (!destination) {
        QV_instOkCancelMessageBox(parent, "Unable to migrate preferences.\n", "OK", nullptr, nullptr);
        return 0;
    }
    // Both folders are the user's choice: blanks, quotes or a ';' in them
    // must reach the command as part of the name. The tool runs only in the
    // destination: when that cannot be entered, the relative name would
    // find whatever lies under setup's own working folder.
    const std::string command = "(cd " + qv::shell_quote(destination) + " && Application/bin/qvr -migrate " +
                                qv::shell_quote(request.source.get()) + ")";
    std::printf("%s\n", command.c_str());
    std::fflush(stdout);
    if (std::system(command.c_str()) != 0) {
        QV_instOkCancelMessageBox(parent, "Unable to migrate preferences.\n", "OK", nullptr, nullptr);
        return 0;
    }
    QV_instOkCancelMessageBox(parent, "Preferences migrated successfully.\n", "OK", nullptr, nullptr);
    request.source.reset();
    return 1;
}

} // extern "C"
