#include "libraries/defaults/JsonCoding.h"

#include <QByteArray>
#include <QUrl>

namespace Defaults {

namespace detail {

std::string base64Encode(const platform::Bytes& bytes)
{
    QByteArray raw(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    return raw.toBase64().toStdString();
}

std::optional<platform::Bytes> base64Decode(const std::string& text)
{
    auto result = QByteArray::fromBase64Encoding(
        QByteArray::fromStdString(text), QByteArray::AbortOnBase64DecodingErrors);
    if (!result) {
        return std::nullopt;
    }
    const QByteArray& decoded = *result;
    return platform::Bytes(decoded.begin(), decoded.end());
}

} // namespace detail

platform::JsonValue JsonCoding<QUrl>::encode(const QUrl& value)
{
    return platform::JsonValue(value.toString(QUrl::FullyEncoded).toStdString());
}

std::optional<QUrl> JsonCoding<QUrl>::decode(const platform::JsonValue& json)
{
    if (!json.is_string()) {
        return std::nullopt;
    }
    const auto& text = json.get_ref<const std::string&>();
    QUrl url(QString::fromStdString(text), QUrl::StrictMode);
    if (text.empty() || !url.isValid()) {
        return std::nullopt;
    }
    return url;
}

} // namespace Defaults
