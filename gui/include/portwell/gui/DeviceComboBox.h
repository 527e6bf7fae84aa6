#pragma once
// The device list: "COM1" to "COM8" first, then the serial devices found on this machine and the
// built-in loopback device, found anew each time the list opens. Any device path can be typed.
#include <QComboBox>
#include <QStringList>

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
    QStringList kept;
};

// "COM1" to "COM8".
QStringList NumberedPorts();

} // namespace portwell::gui
