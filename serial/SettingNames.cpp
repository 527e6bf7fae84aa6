#include "serial/SettingNames.h"

namespace serial {

namespace {

constexpr TSettingName BaudRateNames[] = {
    {"110", "110", "cbr110"},          {"300", "300", "cbr300"},
    {"600", "600", "cbr600"},          {"1200", "1200", "cbr1200"},
    {"2400", "2400", "cbr2400"},       {"4800", "4800", "cbr4800"},
    {"9600", "9600", "cbr9600"},       {"14400", "14400", "cbr14400"},
    {"19200", "19200", "cbr19200"},    {"38400", "38400", "cbr38400"},
    {"56000", "56000", "cbr56000"},    {"57600", "57600", "cbr57600"},
    {"115200", "115200", "cbr115200"}, {"128000", "128000", "cbr128000"},
    {"256000", "256000", "cbr256000"},
};
constexpr TSettingName DatabitsNames[] = {
    {"4", "4bit", "da4"}, {"5", "5bit", "da5"}, {"6", "6bit", "da6"},
    {"7", "7bit", "da7"}, {"8", "8bit", "da8"},
};
constexpr TSettingName StopbitsNames[] = {
    {"1", "1.0bit", "sb10"},
    {"1.5", "1.5bit", "sb15"},
    {"2", "2.0bit", "sb20"},
};
constexpr TSettingName ParityNames[] = {
    {"none", "None", "paNone"}, {"odd", "Odd", "paOdd"},       {"even", "Even", "paEven"},
    {"mark", "Mark", "paMark"}, {"space", "Space", "paSpace"},
};
constexpr TSettingName FlowControlNames[] = {
    {"none", "None", "fcNone"},          {"cts", "CTS/RTS", "fcCTS"},
    {"dtr", "DTR/ETR", "fcDTR"},         {"software", "Software", "fcSoftware"},
    {"default", "Default", "fcDefault"},
};

// The last enumerator closes each table, so a value added to an enumeration without a row fails
// here.
static_assert(std::size(BaudRateNames) == cbr256000 + 1 &&
              std::size(BaudRateNames) == CommBaudRates.size());
static_assert(std::size(DatabitsNames) == da8 + 1 &&
              std::size(DatabitsNames) == CommDataBits.size());
static_assert(std::size(StopbitsNames) == sb20 + 1 &&
              std::size(StopbitsNames) == CommStopBits.size());
static_assert(std::size(ParityNames) == paSpace + 1 && std::size(ParityNames) == CommParity.size());
static_assert(std::size(FlowControlNames) == fcDefault + 1);

std::span<const TSettingName> RowsOf(TBaudRate) {
    return BaudRateNames;
}
std::span<const TSettingName> RowsOf(TDatabits) {
    return DatabitsNames;
}
std::span<const TSettingName> RowsOf(TStopbits) {
    return StopbitsNames;
}
std::span<const TSettingName> RowsOf(TParity) {
    return ParityNames;
}
std::span<const TSettingName> RowsOf(TFlowControl) {
    return FlowControlNames;
}

} // namespace

std::string_view NameOf(const TSettingName& names, TNameKind kind) {
    switch (kind) {
    case TNameKind::Option:
        return names.Option;
    case TNameKind::Caption:
        return names.Caption;
    case TNameKind::Identifier:
        return names.Identifier;
    }
    return {};
}

const TSettingName* TSettingNames::At(int ordinal) const {
    if (ordinal < 0 || size_t(ordinal) >= rows.size()) return nullptr;
    return &rows[size_t(ordinal)];
}

std::optional<int> TSettingNames::Find(TNameKind kind, std::string_view name) const {
    for (size_t i = 0; i < rows.size(); ++i)
        if (NameOf(rows[i], kind) == name) return int(i);
    return std::nullopt;
}

template <typename E> TSettingNames SettingNames() {
    return TSettingNames(RowsOf(E{}));
}

template TSettingNames SettingNames<TBaudRate>();
template TSettingNames SettingNames<TDatabits>();
template TSettingNames SettingNames<TStopbits>();
template TSettingNames SettingNames<TParity>();
template TSettingNames SettingNames<TFlowControl>();

} // namespace serial
