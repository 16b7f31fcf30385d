// The tree scan: walks a whole drive and writes its tree file, one directory per
// line, depth first, each directory before its subtree, in listing order.
#pragma once

namespace vux {

// Rewrites the tree file of the drive in driveString and sets rescanned. The new
// file replaces the old one only once it is whole. Ends the run with 21 when the
// file can't be created.
void rescan();

}  // namespace vux
