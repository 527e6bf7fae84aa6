#pragma once
// The device list: "COM1" to "COM8" first, then the serial devices found on this machine and the
// built-in loopback device, found anew each time the list opens. Any device path can be typed.
#include "serial/Ports.h"

#include <QComboBox>
#include <QStringList>
#include <vector>

namespace portwell::gui {

class TDeviceComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TDeviceComboBox(QWidget* parent = nullptr);

    // Items that stay whatever is found: COM1 to COM8 and those the settings brought.
    void SetKeptItems(const QStringList& items);
    QStringList KeptItems() const { return kept; }
    // Rebuilds the list from the kept items and the devices present now; keeps the text.
    void Refresh();
    // Selects the item with this text, or shows the text when there is none.
    void SelectDevice(const QString& device);

    void showPopup() override;

private:
    void ShowStartOfPath();

    QStringList kept;
};

// "COM1" to "COM8".
QStringList NumberedPorts();

// The device an item of the list stands for: COM1 is /dev/ttyS0, a link the device it leads to.
QString DeviceIdentity(const QString& item);

// The list's items: the kept ones, then each device found that no item stands for already (one
// device appears once, by its first name), then loop://.
QStringList DeviceItems(const QStringList& kept, const std::vector<serial::TSerialPortInfo>& found);

} // namespace portwell::gui
