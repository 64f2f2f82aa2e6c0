#pragma once

#include "libraries/defaults/JsonCoding.h"
#include "libraries/defaults/Serializable.h"
#include "platform/store/PropertyList.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <map>
#include <optional>
#include <string>

namespace zk {

// A saved permission to reach a file or folder. There is no sandbox here: the bookmark data is the
// canonical path of the item as UTF-8.
struct SandboxURLBookmark {
    platform::Bytes bookmarkData;

    // The bookmark of an existing item; nothing when it cannot be made canonical.
    static std::optional<SandboxURLBookmark> make(const std::string& path);
    // The path the bookmark names, when the item is still there.
    std::optional<std::string> resolve() const;

    bool operator==(const SandboxURLBookmark&) const = default;
};

// The bookmarks kept in the standard suite under "__securityScopedBookmarks__": the absolute file
// URL of each item (symbolic links resolved) to its bookmark data. Main-thread only.
class SecurityScopedBookmarks {
public:
    static constexpr const char* key = "__securityScopedBookmarks__";

    static std::map<std::string, platform::Bytes> all();
    // The entry's key for a path: file URL text of the path with symbolic links resolved, ending in
    // "/" for a folder.
    static std::string keyFor(const std::string& path);
    // Stores `data` for the path, or removes its entry when `data` is empty; the whole dictionary
    // is written back.
    static void setBookmarkData(const std::string& path, const std::optional<platform::Bytes>& data);
    static std::optional<platform::Bytes> bookmarkData(const std::string& path);
};

} // namespace zk

// Stored as its raw bytes.
template <> struct Defaults::RawRepresentable<zk::SandboxURLBookmark> {
    using RawValue = platform::Bytes;
    static RawValue rawValue(const zk::SandboxURLBookmark& value) { return value.bookmarkData; }
    static std::optional<zk::SandboxURLBookmark> fromRawValue(const RawValue& raw)
    {
        return zk::SandboxURLBookmark { raw };
    }
};

// Coded as one value, its bookmark data (base64 text, as data is in JSON). Any other form fails
// with the decoder's error: a JSON type error for a value that is not text, an "other" error for
// text that is not base64.
template <> struct nlohmann::adl_serializer<zk::SandboxURLBookmark> {
    template <class Json> static zk::SandboxURLBookmark from_json(const Json& json)
    {
        if (!json.is_string()) {
            throw Json::type_error::create(
                302, std::string("A folder bookmark must be data, not ") + json.type_name(), &json);
        }
        auto bytes = Defaults::detail::base64Decode(json.template get<std::string>());
        if (!bytes) {
            throw Json::other_error::create(501, "A folder bookmark is not valid base64 data", &json);
        }
        return zk::SandboxURLBookmark { std::move(*bytes) };
    }
    template <class Json> static void to_json(Json& json, const zk::SandboxURLBookmark& bookmark)
    {
        json = Defaults::detail::base64Encode(bookmark.bookmarkData);
    }
};

template <> struct std::hash<zk::SandboxURLBookmark> {
    std::size_t operator()(const zk::SandboxURLBookmark& value) const noexcept
    {
        return std::hash<std::string_view>()(std::string_view(
            reinterpret_cast<const char*>(value.bookmarkData.data()), value.bookmarkData.size()));
    }
};
