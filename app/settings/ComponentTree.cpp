#include "portwell/settings/ComponentTree.h"

#include <bit>

namespace portwell::settings {

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

TValue OfKind(TValueKind kind) {
    TValue value;
    value.Kind = kind;
    return value;
}

TValue WithInt(TValueKind kind, int64_t i) {
    TValue value = OfKind(kind);
    value.Int = i;
    return value;
}

TValue WithReal(TValueKind kind, double r) {
    TValue value = OfKind(kind);
    value.Real = r;
    return value;
}

TValue WithBytes(TValueKind kind, std::string bytes) {
    TValue value = OfKind(kind);
    value.Bytes = std::move(bytes);
    return value;
}

template <typename Self> Self* FindIn(Self& component, std::string_view name) {
    if (SameName(component.Name, name)) return &component;
    for (auto& child : component.Children)
        if (Self* found = FindIn(child, name)) return found;
    return nullptr;
}

} // namespace

TValue TValue::Null() {
    return {};
}

TValue TValue::Nil() {
    return OfKind(TValueKind::Nil);
}

TValue TValue::Integer(int64_t value) {
    return WithInt(TValueKind::Integer, value);
}

TValue TValue::Boolean(bool value) {
    return WithInt(TValueKind::Boolean, value);
}

TValue TValue::Currency(int64_t tenThousandths) {
    return WithInt(TValueKind::Currency, tenThousandths);
}

TValue TValue::Extended(double value) {
    return WithReal(TValueKind::Extended, value);
}

TValue TValue::Single(float value) {
    return WithReal(TValueKind::Single, value);
}

TValue TValue::Date(double value) {
    return WithReal(TValueKind::Date, value);
}

TValue TValue::Text(std::string utf8) {
    return WithBytes(TValueKind::Text, std::move(utf8));
}

TValue TValue::Ident(std::string name) {
    return WithBytes(TValueKind::Ident, std::move(name));
}

TValue TValue::Binary(std::string bytes) {
    return WithBytes(TValueKind::Binary, std::move(bytes));
}

TValue TValue::List(std::vector<TValue> elements) {
    TValue value = OfKind(TValueKind::List);
    value.Elements = std::move(elements);
    return value;
}

TValue TValue::TextList(const std::vector<std::string>& texts) {
    TValue value = OfKind(TValueKind::List);
    value.Elements.reserve(texts.size());
    for (const std::string& text : texts)
        value.Elements.push_back(Text(text));
    return value;
}

TValue TValue::Set(std::vector<std::string> names) {
    TValue value = OfKind(TValueKind::Set);
    value.Names = std::move(names);
    return value;
}

TValue TValue::Collection(std::vector<TCollectionItem> items) {
    TValue value = OfKind(TValueKind::Collection);
    value.Items = std::move(items);
    return value;
}

ESettingsFormat::ESettingsFormat(const std::string& what, size_t offset)
    : std::runtime_error(what + " (at byte offset " + std::to_string(offset) + ")"),
      offset(offset) {}

bool TValue::operator==(const TValue& other) const {
    return Kind == other.Kind && Int == other.Int &&
           std::bit_cast<uint64_t>(Real) == std::bit_cast<uint64_t>(other.Real) &&
           Bytes == other.Bytes && Elements == other.Elements && Names == other.Names &&
           Items == other.Items;
}

const TComponent* TComponent::FindComponent(std::string_view name) const {
    return FindIn(*this, name);
}

TComponent* TComponent::FindComponent(std::string_view name) {
    return FindIn(*this, name);
}

const TValue* TComponent::FindProperty(std::string_view name) const {
    for (const TProperty& property : Properties)
        if (SameName(property.Name, name)) return &property.Value;
    return nullptr;
}

void TComponent::SetProperty(std::string_view name, TValue value) {
    for (TProperty& property : Properties) {
        if (SameName(property.Name, name)) {
            property.Value = std::move(value);
            return;
        }
    }
    Properties.push_back({std::string(name), std::move(value)});
}

int64_t TComponent::ReadInteger(std::string_view name, int64_t fallback) const {
    const TValue* value = FindProperty(name);
    return value && value->Kind == TValueKind::Integer ? value->Int : fallback;
}

bool TComponent::ReadBoolean(std::string_view name, bool fallback) const {
    const TValue* value = FindProperty(name);
    return value && value->Kind == TValueKind::Boolean ? value->Int != 0 : fallback;
}

std::string TComponent::ReadText(std::string_view name, const std::string& fallback) const {
    const TValue* value = FindProperty(name);
    return value && value->Kind == TValueKind::Text ? value->Bytes : fallback;
}

std::string TComponent::ReadIdent(std::string_view name, const std::string& fallback) const {
    const TValue* value = FindProperty(name);
    return value && value->Kind == TValueKind::Ident ? value->Bytes : fallback;
}

std::vector<std::string> TComponent::ReadTextList(std::string_view name,
                                                  const std::vector<std::string>& fallback) const {
    const TValue* value = FindProperty(name);
    if (!value || value->Kind != TValueKind::List) return fallback;
    std::vector<std::string> texts;
    texts.reserve(value->Elements.size());
    for (const TValue& element : value->Elements) {
        if (element.Kind != TValueKind::Text) return fallback;
        texts.push_back(element.Bytes);
    }
    return texts;
}

} // namespace portwell::settings
