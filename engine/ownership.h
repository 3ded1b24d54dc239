// Whether root may use an installation tree: as root, setup neither reads
// from nor writes into folders that another user controls, where that user
// could plant or swap what root then reads, writes or runs.
#pragma once

#include <string>

namespace qv {

// As root: why the tree of root destination root must not be used (its
// product folder root/productDir, its common folder root/Quorvanta and
// every folder on the way to them), "" when it may. Always "" when setup
// does not run as root. Without a product folder only root is looked at.
std::string tree_refusal(const char *root, const char *productDir);

// The same for one folder and the folders on the way to it.
std::string folder_refusal(const std::string &folder);

} // namespace qv
