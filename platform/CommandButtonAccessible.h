#pragma once

namespace platform {

// The tool bars' command buttons as assistive technology sees them: "Press" first, which
// runs the command, then "ShowMenu" where the button also has a drop-down menu of options
// (the toolkit's own description of such a split button offers only the menu, so the
// command could not be run at all). Press returns before the command runs: a command that
// opens a dialog would otherwise hold the caller, another process, until the dialog
// closes, and its call would time out. Installs once per process; later calls do nothing.
void installCommandButtonAccessibility();

} // namespace platform
