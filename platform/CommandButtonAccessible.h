#pragma once

namespace platform {

// A tool button that carries a command and a drop-down menu of options (the split
// buttons of the tool bars) is shown to assistive technology with "Press" as its first
// action, which runs the command, and "ShowMenu" after it. The toolkit's own description
// offers only the menu, so desktop automation and screen readers could never run the
// command itself. Installs once per process; later calls do nothing.
void installCommandButtonAccessibility();

} // namespace platform
