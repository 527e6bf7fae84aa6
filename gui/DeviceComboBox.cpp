#include "portwell/gui/DeviceComboBox.h"

#include "serial/Ports.h"

namespace portwell::gui {

namespace {
const QString LoopbackDevice = "loop://";
} // namespace

QStringList NumberedPorts() {
    QStringList ports;
    for (int i = 1; i <= 8; ++i)
        ports << QString("COM%1").arg(i);
    return ports;
}

TDeviceComboBox::TDeviceComboBox(QWidget* parent) : QComboBox(parent), kept(NumberedPorts()) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    Refresh();
}

void TDeviceComboBox::SetKeptItems(const QStringList& items) {
    kept = NumberedPorts();
    for (const QString& item : items)
        if (!kept.contains(item)) kept << item;
    Refresh();
}

void TDeviceComboBox::Refresh() {
    const QString text = currentText();
    QStringList items = kept;
    for (const serial::TSerialPortInfo& port : serial::ListSerialPorts()) {
        const QString path = QString::fromStdString(port.Path);
        if (!items.contains(path)) items << path;
    }
    if (!items.contains(LoopbackDevice)) items << LoopbackDevice;
    clear();
    addItems(items);
    SelectDevice(text.isEmpty() ? items.front() : text);
}

void TDeviceComboBox::SelectDevice(const QString& device) {
    const int index = findText(device);
    if (index >= 0)
        setCurrentIndex(index);
    else
        setEditText(device);
}

void TDeviceComboBox::showPopup() {
    Refresh();
    QComboBox::showPopup();
}

} // namespace portwell::gui
