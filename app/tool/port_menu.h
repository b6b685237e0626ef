// The Download menu's port bookkeeping: which port items are shown and
// usable, the selected port, the status-bar port panel and the messages.
//
// No data is ever sent to a chip in this version: the serial layer is a
// placeholder whose open always fails, so a port scan finds nothing beyond the
// ports remembered from earlier scans, and the Run and target items stay
// disabled.
#pragma once

#include <QString>

namespace brevin {

class MainWindow;

// The serial layer's placeholder: every open fails; close does nothing.
bool Serial_OpenPort(int port);
void Serial_ClosePort(int port);

// The number of port items after Auto ("COM&1" to "COM&8").
inline constexpr int kPortItems = 8;

// " Auto " for port 0, otherwise " COM" + the number in hexadecimal + " ".
QString PortPanelText(int port);

// Sets up the port items from the auto-find mark and the stored states.
void Serial_AutoFind(MainWindow& window);
// The Refresh item: tries every port (only while auto-find is on).
void PortScan(MainWindow& window);
// Chooses port n (0 = Auto): status panel, check mark, and once the window
// has loaded, a probe that warns when the port cannot be opened.
void SelectPort(MainWindow& window, int port);
// The "&Port Auto-Find" item, after its check mark was inverted.
void PortAutoFindToggled(MainWindow& window);
// Start-up: the stored download target, the port set-up and the stored port.
void RestorePorts(MainWindow& window);

}  // namespace brevin
