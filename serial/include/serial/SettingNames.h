#pragma once
// The names every line-setting value goes by: the command line's, the main window list's and the
// enumerator's own. One table per setting, in ordinal order, so that a list's item index, a row's
// position and the enumeration's ordinal are one number.
#include "serial/CommTypes.h"

#include <optional>
#include <span>
#include <string_view>

namespace serial {

struct TSettingName {
    std::string_view Option;     // on the command line: "9600", "1.5", "cts"
    std::string_view Caption;    // in the main window's list: "9600", "1.5bit", "CTS/RTS"
    std::string_view Identifier; // the enumerator: "cbr9600", "sb15", "fcCTS"
};

enum class TNameKind { Option, Caption, Identifier };

std::string_view NameOf(const TSettingName& names, TNameKind kind);

class TSettingNames {
public:
    constexpr explicit TSettingNames(std::span<const TSettingName> rows) : rows(rows) {}

    // Every value, in ordinal order.
    std::span<const TSettingName> All() const { return rows; }
    // The names of the value with this ordinal; nullptr when there is none.
    const TSettingName* At(int ordinal) const;
    // The ordinal of the value whose name of this kind is `name`, compared exactly.
    std::optional<int> Find(TNameKind kind, std::string_view name) const;

private:
    std::span<const TSettingName> rows;
};

// The table of a setting, chosen by its enumeration: SettingNames<TParity>(). It exists for these
// five.
template <typename E> TSettingNames SettingNames();
extern template TSettingNames SettingNames<TBaudRate>();
extern template TSettingNames SettingNames<TDatabits>();
extern template TSettingNames SettingNames<TStopbits>();
extern template TSettingNames SettingNames<TParity>();
extern template TSettingNames SettingNames<TFlowControl>();

// The names of `value`; nullptr for a value outside its enumeration.
template <typename E> const TSettingName* NamesOf(E value) {
    return SettingNames<E>().At(int(value));
}

// The value named `name`, or nothing.
template <typename E> std::optional<E> FindSetting(TNameKind kind, std::string_view name) {
    const std::optional<int> ordinal = SettingNames<E>().Find(kind, name);
    return ordinal ? std::optional<E>(E(*ordinal)) : std::nullopt;
}

} // namespace serial
