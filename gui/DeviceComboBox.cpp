#include "portwell/gui/DeviceComboBox.h"

#include "serial/Comm.h"

#include <QLineEdit>
#include <filesystem>

namespace portwell::gui {

namespace {
const QString LoopbackDevice = "loop://";
} // namespace

QString DeviceIdentity(const QString& item) {
    const std::filesystem::path path = serial::DevicePath(item.toStdString());
    std::error_code error;
    const std::filesystem::path device = std::filesystem::canonical(path, error);
    return QString::fromStdString(error ? path.string() : device.string());
}

QStringList DeviceItems(const QStringList& kept,
                        const std::vector<serial::TSerialPortInfo>& found) {
    QStringList items = kept, identities;
    for (const QString& item : kept)
        identities << DeviceIdentity(item);
    for (const serial::TSerialPortInfo& port : found) {
        const QString path = QString::fromStdString(port.Path);
        const QString identity = DeviceIdentity(path);
        if (identities.contains(identity)) continue;
        items << path;
        identities << identity;
    }
    if (!items.contains(LoopbackDevice)) items << LoopbackDevice;
    return items;
}

QStringList NumberedPorts() {
    QStringList ports;
    for (int i = 1; i <= 8; ++i)
        ports << QString("COM%1").arg(i);
    return ports;
}

TDeviceComboBox::TDeviceComboBox(QWidget* parent) : QComboBox(parent), kept(NumberedPorts()) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    connect(this, &QComboBox::currentTextChanged, this, &TDeviceComboBox::ShowStartOfPath);
    connect(lineEdit(), &QLineEdit::editingFinished, this, &TDeviceComboBox::ShowStartOfPath);
    Refresh();
}

// A long path shows its start, where the paths differ; the whole of it is the tool tip. Typing
// keeps its place.
void TDeviceComboBox::ShowStartOfPath() {
    setToolTip(currentText());
    if (!lineEdit()->hasFocus()) lineEdit()->setCursorPosition(0);
}

void TDeviceComboBox::SetKeptItems(const QStringList& items) {
    kept = NumberedPorts();
    for (const QString& item : items)
        if (!kept.contains(item)) kept << item;
    Refresh();
}

void TDeviceComboBox::Refresh() {
    const QString text = currentText();
    const QStringList items = DeviceItems(kept, serial::ListSerialPorts());
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
    ShowStartOfPath();
}

void TDeviceComboBox::showPopup() {
    Refresh();
    QComboBox::showPopup();
}

} // namespace portwell::gui
