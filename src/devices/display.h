// The restart of the display nodes (-ScanHardware).
#pragma once

namespace mioutil {

/// Restarts the present "DISPLAY" nodes in member order, stopping after the first failed restart.
void RestartDisplayDevices();

}  // namespace mioutil
