#include "libraries/defaults/CodableForm.h"

#include "libraries/defaults/JsonCoding.h"

#include <QUrl>

namespace Defaults {

std::optional<std::string> CodableForm::encodeJson(const platform::JsonValue& element)
{
    platform::JsonValue array = platform::JsonValue::array();
    array.push_back(element);
    std::string error;
    auto text = platform::JsonWriter::write(array, &error);
    if (!text) {
        detail::noteEncodingFailure(error.empty() ? "The value has no JSON form." : error);
        return std::nullopt;
    }
    // The writer's text of an array always starts with "[" and ends with "]".
    return text->substr(1, text->size() - 2);
}

std::optional<platform::JsonValue> CodableForm::decodeJson(const std::string& text)
{
    std::string wrapped;
    wrapped.reserve(text.size() + 2);
    wrapped += '[';
    wrapped += text;
    wrapped += ']';
    auto json = platform::JsonReader::parse(wrapped);
    if (!json || !json->is_array() || json->empty()) {
        return std::nullopt;
    }
    return std::move((*json)[0]);
}

std::optional<std::string> CodableForm::encodeWith(const void* value, WriteJson write)
{
    platform::JsonValue json;
    try {
        write(json, value);
    } catch (const std::exception& error) {
        detail::noteEncodingFailure(error.what());
        return std::nullopt;
    }
    return encodeJson(json);
}

bool CodableForm::decodeWith(const std::string& text, void* value, ReadJson read)
{
    auto json = decodeJson(text);
    if (!json) {
        return false;
    }
    try {
        read(*json, value);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

namespace detail {

template <BasicCodable T> std::optional<std::string> BasicCodableForm<T>::encode(const T& value)
{
    return CodableForm::encodeWith(&value, [](platform::JsonValue& json, const void* encoded) {
        json = JsonCoding<T>::encode(*static_cast<const T*>(encoded));
    });
}

template <BasicCodable T> std::optional<T> BasicCodableForm<T>::decode(const std::string& text)
{
    auto json = CodableForm::decodeJson(text);
    if (!json) {
        return std::nullopt;
    }
    return JsonCoding<T>::decode(*json);
}

// Every type that NativeScalar admits, and URLs.
template struct BasicCodableForm<bool>;
template struct BasicCodableForm<signed char>;
template struct BasicCodableForm<unsigned char>;
template struct BasicCodableForm<short>;
template struct BasicCodableForm<unsigned short>;
template struct BasicCodableForm<int>;
template struct BasicCodableForm<unsigned int>;
template struct BasicCodableForm<long>;
template struct BasicCodableForm<unsigned long>;
template struct BasicCodableForm<long long>;
template struct BasicCodableForm<unsigned long long>;
template struct BasicCodableForm<float>;
template struct BasicCodableForm<double>;
template struct BasicCodableForm<long double>;
template struct BasicCodableForm<std::string>;
template struct BasicCodableForm<platform::Date>;
template struct BasicCodableForm<platform::Bytes>;
template struct BasicCodableForm<QUrl>;

} // namespace detail

} // namespace Defaults
