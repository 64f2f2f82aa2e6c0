#include "platform/store/PropertyListJson.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstring>
#include <limits>

using namespace platform;

namespace {

// Equality of property lists compares reals with ==, which calls 0.0 and -0.0 equal; stored reals
// must come back with the very same bits.
bool identical(const PropertyList& a, const PropertyList& b)
{
    if (a.value().index() != b.value().index()) {
        return false;
    }
    if (const double* x = a.getIf<double>()) {
        const double y = *b.getIf<double>();
        return std::memcmp(x, &y, sizeof y) == 0;
    }
    if (const Date* x = a.getIf<Date>()) {
        const double y = b.getIf<Date>()->timeIntervalSinceReferenceDate;
        return std::memcmp(&x->timeIntervalSinceReferenceDate, &y, sizeof y) == 0;
    }
    if (const auto* x = a.getIf<PropertyListArray>()) {
        const auto& y = *b.getIf<PropertyListArray>();
        if (x->size() != y.size()) {
            return false;
        }
        for (std::size_t i = 0; i < x->size(); ++i) {
            if (!identical((*x)[i], y[i])) {
                return false;
            }
        }
        return true;
    }
    if (const auto* x = a.getIf<PropertyListDictionary>()) {
        const auto& y = *b.getIf<PropertyListDictionary>();
        if (x->size() != y.size()) {
            return false;
        }
        for (auto i = x->begin(), j = y.begin(); i != x->end(); ++i, ++j) {
            if (i->first != j->first || !identical(i->second, j->second)) {
                return false;
            }
        }
        return true;
    }
    return a == b;
}

struct Case {
    PropertyList object;
    std::string text;
};

void expectRoundTrip(const Case& c)
{
    std::string error;
    auto text = PropertyListJson::encode(c.object, &error);
    ASSERT_TRUE(text) << error;
    EXPECT_EQ(*text, c.text);
    auto back = PropertyListJson::decode(*text, &error);
    ASSERT_TRUE(back) << error << " for " << *text;
    EXPECT_TRUE(identical(*back, c.object)) << *text;
}

} // namespace

TEST(PropertyListJson, ScalarsHaveTheirExactText)
{
    const Case cases[] = {
        { true, "true" },
        { false, "false" },
        { 0, "0" },
        { -42, "-42" },
        { std::numeric_limits<std::int64_t>::max(), "9223372036854775807" },
        { std::numeric_limits<std::int64_t>::min(), "-9223372036854775808" },
        { std::string(), "\"\"" },
        { "a/b \"q\" \\ \n\t\x01 é 😀", "\"a\\/b \\\"q\\\" \\\\ \\n\\t\\u0001 é 😀\"" },
        { std::string("nul\0byte", 8), "\"nul\\u0000byte\"" },
    };
    for (const auto& c : cases) {
        expectRoundTrip(c);
    }
}

TEST(PropertyListJson, RealsAlwaysReadBackAsReals)
{
    const Case cases[] = {
        { 600.0, "600.0" },
        { 0.0, "0.0" },
        { -0.0, "-0.0" },
        { 0.1, "0.1" },
        { -2.5, "-2.5" },
        { 1e300, "1e+300" },
        { 1e21, "1e+21" },
        { 9007199254740994.0, "9007199254740994.0" },
        { 5e-324, "5e-324" },
        { std::numeric_limits<double>::max(), "1.7976931348623157e+308" },
        { std::numeric_limits<double>::lowest(), "-1.7976931348623157e+308" },
    };
    for (const auto& c : cases) {
        expectRoundTrip(c);
    }
    // And an integer that happens to be integral-valued stays an integer.
    auto integer = PropertyListJson::decode("600");
    ASSERT_TRUE(integer);
    EXPECT_TRUE(integer->isInteger());
}

TEST(PropertyListJson, TaggedKindsAndNesting)
{
    Bytes allBytes;
    for (int i = 0; i < 256; ++i) {
        allBytes.push_back(static_cast<std::uint8_t>(i));
    }
    const Case cases[] = {
        { Date(0.0), "{\"date\":0.0}" },
        { Date(-978307200.0), "{\"date\":-978307200.0}" },
        { Date(737000000.123), "{\"date\":737000000.123}" },
        { Bytes {}, "{\"data\":\"\"}" },
        { Bytes { 0xFF, 0x00, 0x7F }, "{\"data\":\"/wB/\"}" },
        { PropertyListArray {}, "[]" },
        { PropertyListDictionary {}, "{\"dict\":{}}" },
        { PropertyListArray { 1, 1.0, "1", true, Date(1.0) }, "[1,1.0,\"1\",true,{\"date\":1.0}]" },
        { PropertyListDictionary { { "b", PropertyListArray { PropertyListDictionary { { "x", -0.0 } } } },
              { "a", Bytes { 1, 2, 3 } }, { "date", 3 } },
            "{\"dict\":{\"a\":{\"data\":\"AQID\"},\"b\":[{\"dict\":{\"x\":-0.0}}],\"date\":3}}" },
    };
    for (const auto& c : cases) {
        expectRoundTrip(c);
    }
    auto text = PropertyListJson::encode(allBytes);
    ASSERT_TRUE(text);
    auto back = PropertyListJson::decode(*text);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, PropertyList(allBytes));
}

TEST(PropertyListJson, RefusesWhatCannotBeReadBack)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const PropertyList refused[] = {
        nan, inf, -inf, Date(inf), Date(nan), PropertyListArray { 1, PropertyListArray { nan } },
        PropertyListDictionary { { "k", PropertyListDictionary { { "n", -inf } } } },
        std::string("\xC3\x28"), // broken sequence
        std::string("\xED\xA0\x80"), // a surrogate
        std::string("\xC0\xAF"), // an overlong slash
        PropertyListDictionary { { std::string("\xFF"), 1 } }, // a key
    };
    for (const auto& object : refused) {
        std::string error;
        EXPECT_FALSE(PropertyListJson::encode(object, &error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(PropertyListJson, NestingIsBoundedBothWays)
{
    PropertyList deep = 1;
    for (int i = 0; i < PropertyListJson::maximumDepth; ++i) {
        deep = PropertyList(PropertyListArray { std::move(deep) });
    }
    auto text = PropertyListJson::encode(deep);
    ASSERT_TRUE(text);
    EXPECT_TRUE(PropertyListJson::decode(*text));

    PropertyList deeper = PropertyList(PropertyListArray { deep });
    EXPECT_FALSE(PropertyListJson::encode(deeper));

    std::string hostile(200000, '[');
    hostile += std::string(200000, ']');
    EXPECT_FALSE(PropertyListJson::decode(hostile));
}

TEST(PropertyListJson, DecodeRejectsForeignText)
{
    const char* rejected[] = {
        "",
        "null",
        "{}",
        "{\"date\":\"yesterday\"}",
        "{\"date\":1,\"data\":\"\"}",
        "{\"data\":\"not base64!\"}",
        "{\"data\":3}",
        "{\"dict\":[1]}",
        "{\"other\":1}",
        "[1,null]",
        "18446744073709551615",
        "1e400",
        "1 2",
        "[1,",
        "\"\xFF\"",
        "/* note */ 1",
    };
    for (const char* text : rejected) {
        std::string error;
        EXPECT_FALSE(PropertyListJson::decode(text, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    auto boolean = PropertyListJson::decode("true");
    ASSERT_TRUE(boolean);
    EXPECT_TRUE(boolean->isBool());
}

// Another program's list of Codable values stored as JSON objects (a history's sessions) reads as
// the list of their texts, as Kiruvo stores such a list; an object in a tagged form stays what it
// stands for, and a broken one is still refused.
TEST(PropertyListJson, ObjectsInAListReadAsTheTextsTheyStandFor)
{
    const auto list = PropertyListJson::decode(
        R"([{"id":"A","dateRange":[1.5,2],"timeZone":{"identifier":"UTC"}},"{\"id\":\"B\"}",{"date":3}])");
    ASSERT_TRUE(list);
    const auto* array = list->getIf<PropertyListArray>();
    ASSERT_TRUE(array);
    ASSERT_EQ(array->size(), 3U);
    const auto* first = (*array)[0].getIf<std::string>();
    ASSERT_TRUE(first);
    const auto object = nlohmann::json::parse(*first);
    EXPECT_EQ(object.at("id"), "A");
    EXPECT_EQ(object.at("dateRange").at(0), 1.5);
    EXPECT_EQ((*array)[1], PropertyList(std::string("{\"id\":\"B\"}")));
    EXPECT_EQ((*array)[2], PropertyList(Date(3)));

    EXPECT_FALSE(PropertyListJson::decode(R"([{"date":"yesterday"}])"));
    EXPECT_FALSE(PropertyListJson::decode(R"({"id":"A","timeZone":"UTC"})"));
}
