#pragma once
// BrowseForFolder: the modal folder chooser that both programs use, built on
// the shell's folder browser.

#include <string_view>

#include "shared/file_path.h"

namespace tol {

// Shows the shell's folder browser with `title_cp932` above the tree, opened
// on `initial_dir` when that is longer than one character, with the path of
// the current selection on its status line. Only file-system folders can be
// confirmed. Paths go in and out as the system spells them, whatever code
// page 932 can hold.
//
// True and the chosen folder's full path in `folder` (no trailing separator,
// except for a drive root such as "C:\") when the user confirms. False and an
// empty `folder` when the user cancels, when the shell's allocator isn't
// available, and when the chosen folder has no path (longer than MAX_PATH).
//
// Modal: every visible, enabled top-level window of this process is disabled
// while the browser is open and exactly those are enabled again afterwards,
// whatever happens. Runs on a UI thread; initialises COM (single-threaded
// apartment) for the call when the thread hasn't yet, and balances that.
bool BrowseForFolder(std::string_view title_cp932, const FilePath& initial_dir, FilePath& folder);

}  // namespace tol
