// The free-space text that the destination and main dialogs show beside the
// destination folder.
#pragma once

#include <string>

namespace qv {

// The free space on the partition of the product destination ("12.34 GB"),
// or "" when there is no destination or no existing folder on the way to
// it, so that no other partition's space is shown.
std::string destination_free_space();

} // namespace qv
