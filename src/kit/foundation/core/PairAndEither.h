#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

namespace zk {

// A failure to read a coded value: the value is of another shape than the type expects.
class DecodingTypeMismatch : public std::runtime_error {
public:
    DecodingTypeMismatch(std::string codingPath, const std::string& description)
        : std::runtime_error(description)
        , codingPath(std::move(codingPath))
    {
    }
    std::string codingPath;
};

// A pair that can be stored, compared and hashed; coded as {"first": …, "second": …}.
template <class A, class B> struct Tuple2 {
    A first;
    B second;
    bool operator==(const Tuple2&) const = default;
};

// Either JSON flavour codes them: the store's, which keeps members in the order written, as well
// as the plain one.
template <class Json>
concept JsonDocument = nlohmann::detail::is_basic_json<Json>::value;

template <JsonDocument Json, class A, class B> void to_json(Json& json, const Tuple2<A, B>& pair)
{
    json = Json::object();
    json["first"] = pair.first;
    json["second"] = pair.second;
}
// A missing or mistyped key fails with the JSON library's own error.
template <JsonDocument Json, class A, class B> void from_json(const Json& json, Tuple2<A, B>& pair)
{
    pair.first = json.at("first").template get<A>();
    pair.second = json.at("second").template get<B>();
}

// A value of one of two types; coded as {"left": {"_0": …}} or {"right": {"_0": …}}. A left value
// orders before any right one.
template <class Left, class Right> class Either {
public:
    // The keys of its coded form: the case, then the one key under which the value is nested.
    struct CodingKeys {
        static constexpr const char* left = "left";
        static constexpr const char* right = "right";
    };
    struct LeftCodingKeys {
        static constexpr const char* value = "_0";
    };
    struct RightCodingKeys {
        static constexpr const char* value = "_0";
    };

    static Either left(Left value) { return Either(std::in_place_index<0>, std::move(value)); }
    static Either right(Right value) { return Either(std::in_place_index<1>, std::move(value)); }

    bool isLeft() const { return storage.index() == 0; }
    bool isRight() const { return storage.index() == 1; }
    const Left* leftValue() const { return std::get_if<0>(&storage); }
    const Right* rightValue() const { return std::get_if<1>(&storage); }
    // The case's number: 0 for left, 1 for right.
    std::size_t caseNumber() const { return storage.index(); }

    bool operator==(const Either&) const = default;
    friend bool operator<(const Either& a, const Either& b)
    {
        if (a.caseNumber() != b.caseNumber()) {
            return a.isLeft();
        }
        if (a == b) {
            return false;
        }
        return a.isLeft() ? *a.leftValue() < *b.leftValue() : *a.rightValue() < *b.rightValue();
    }
    friend bool operator>(const Either& a, const Either& b) { return b < a; }
    friend bool operator<=(const Either& a, const Either& b) { return !(b < a); }
    friend bool operator>=(const Either& a, const Either& b) { return !(a < b); }

    Either() = default;

private:
    template <std::size_t I, class V>
    Either(std::in_place_index_t<I> index, V&& value)
        : storage(index, std::forward<V>(value))
    {
    }
    std::variant<Left, Right> storage;
};

template <JsonDocument Json, class L, class R> void to_json(Json& json, const Either<L, R>& value)
{
    json = Json::object();
    Json nested = Json::object();
    if (const auto* left = value.leftValue()) {
        nested["_0"] = *left;
        json["left"] = std::move(nested);
    } else {
        nested["_0"] = *value.rightValue();
        json["right"] = std::move(nested);
    }
}

// Keys other than "left" and "right" are not seen; none or both of them is a type mismatch.
template <JsonDocument Json, class L, class R> void from_json(const Json& json, Either<L, R>& value)
{
    if (!json.is_object()) {
        throw DecodingTypeMismatch("", "Expected to decode a keyed object.");
    }
    const bool hasLeft = json.contains("left");
    const bool hasRight = json.contains("right");
    if (hasLeft == hasRight) {
        throw DecodingTypeMismatch("", "Invalid number of keys found, expected one.");
    }
    if (hasLeft) {
        value = Either<L, R>::left(json.at("left").at("_0").template get<L>());
    } else {
        value = Either<L, R>::right(json.at("right").at("_0").template get<R>());
    }
}

} // namespace zk

template <class A, class B> struct std::hash<zk::Tuple2<A, B>> {
    std::size_t operator()(const zk::Tuple2<A, B>& pair) const
    {
        std::size_t seed = std::hash<A> {}(pair.first);
        seed ^= std::hash<B> {}(pair.second) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
        return seed;
    }
};

template <class L, class R> struct std::hash<zk::Either<L, R>> {
    std::size_t operator()(const zk::Either<L, R>& value) const
    {
        std::size_t seed = value.caseNumber();
        const std::size_t carried
            = value.isLeft() ? std::hash<L> {}(*value.leftValue()) : std::hash<R> {}(*value.rightValue());
        seed ^= carried + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
        return seed;
    }
};
