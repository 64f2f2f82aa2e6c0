#include "platform/store/JsonWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using platform::JsonReader;
using platform::JsonValue;
using platform::JsonWriter;

namespace {

std::string written(const JsonValue& value)
{
    std::string error;
    auto text = JsonWriter::write(value, &error);
    EXPECT_TRUE(text) << error;
    return text.value_or("<refused>");
}

std::string nested(int depth)
{
    return std::string(static_cast<std::size_t>(depth), '[')
        + std::string(static_cast<std::size_t>(depth), ']');
}

} // namespace

TEST(JsonWriterTest, NumbersUseTheShortestTextAndNoFractionForIntegralReals)
{
    EXPECT_EQ(JsonWriter::numberText(600.0), "600");
    EXPECT_EQ(JsonWriter::numberText(-42.0), "-42");
    EXPECT_EQ(JsonWriter::numberText(0.0), "0");
    // "-0" would read back as the integer 0.
    EXPECT_EQ(JsonWriter::numberText(-0.0), "-0.0");
    const auto negativeZero = JsonReader::parse(*JsonWriter::write(JsonValue::array({ -0.0 })));
    ASSERT_TRUE(negativeZero);
    ASSERT_TRUE((*negativeZero)[0].is_number_float());
    EXPECT_TRUE(std::signbit((*negativeZero)[0].get<double>()));
    EXPECT_EQ(JsonWriter::numberText(0.1), "0.1");
    EXPECT_EQ(JsonWriter::numberText(2.5), "2.5");
    EXPECT_EQ(JsonWriter::numberText(1.0 / 3.0), "0.3333333333333333");
    EXPECT_EQ(JsonWriter::numberText(694224000.123), "694224000.123");
    EXPECT_EQ(JsonWriter::numberText(1e-5), "1e-05");
    EXPECT_EQ(JsonWriter::numberText(1e300), "1e+300");
    EXPECT_EQ(JsonWriter::numberText(1e20), "1e+20");
    EXPECT_EQ(JsonWriter::numberText(9007199254740991.0), "9007199254740991");
    EXPECT_EQ(JsonWriter::numberText(9007199254740992.0), "9007199254740992");
    EXPECT_EQ(JsonWriter::numberText(std::numeric_limits<double>::max()), "1.7976931348623157e+308");
    EXPECT_EQ(JsonWriter::numberText(std::numeric_limits<double>::denorm_min()), "5e-324");
    EXPECT_FALSE(JsonWriter::numberText(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(JsonWriter::numberText(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(JsonWriter::numberText(-std::numeric_limits<double>::infinity()));
}

TEST(JsonWriterTest, EveryFiniteNumberReadsBackExactly)
{
    const double values[] = { 600, 0.1, 1e-5, 1e300, -1e-300, 123456.789, 1.0 / 3.0, 9007199254740993.0,
        std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min(), -2.5e15 };
    for (double value : values) {
        auto text = written(JsonValue::array({ value }));
        auto back = JsonReader::parse(text);
        ASSERT_TRUE(back) << text;
        EXPECT_EQ((*back)[0].get<double>(), value) << text;
    }
}

TEST(JsonWriterTest, IntegersAndLiterals)
{
    JsonValue value = JsonValue::array({ 1, -7, std::numeric_limits<std::int64_t>::min(),
        std::numeric_limits<std::uint64_t>::max(), true, false, nullptr });
    EXPECT_EQ(written(value), "[1,-7,-9223372036854775808,18446744073709551615,true,false,null]");
}

TEST(JsonWriterTest, TextEscapesSlashQuotesBackslashAndControlCharacters)
{
    EXPECT_EQ(JsonWriter::quoted("https://example.com/a"), R"("https:\/\/example.com\/a")");
    EXPECT_EQ(JsonWriter::quoted("say \"hi\" \\ done"), R"("say \"hi\" \\ done")");
    EXPECT_EQ(JsonWriter::quoted("\b\f\n\r\t"), R"("\b\f\n\r\t")");
    EXPECT_EQ(JsonWriter::quoted(std::string("a\0b", 3)), R"("a\u0000b")");
    EXPECT_EQ(JsonWriter::quoted("\x01\x1f"), R"("\u0001\u001f")");
    EXPECT_EQ(JsonWriter::quoted("\x7f"), "\"\x7f\"");
    EXPECT_EQ(JsonWriter::quoted(""), "\"\"");
}

TEST(JsonWriterTest, NonAsciiTextIsWrittenAsRawUtf8)
{
    const std::string text = "Caf\xC3\xA9 \xE2\x80\xAF \xF0\x9F\x90\xB1 Europe\\/Z\xC3\xBCrich";
    EXPECT_EQ(
        written(JsonValue(text)), "\"Caf\xC3\xA9 \xE2\x80\xAF \xF0\x9F\x90\xB1 Europe\\\\\\/Z\xC3\xBCrich\"");
    auto back = JsonReader::parse(written(JsonValue(text)));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->get<std::string>(), text);
}

TEST(JsonWriterTest, TextThatIsNotUtf8IsRefusedByTheWriter)
{
    const char* bad[] = {
        "\xFF", // never in UTF-8
        "a\xC3", // truncated sequence
        "\xC0\xAF", // overlong "/"
        "\xED\xA0\x80", // surrogate
        "\xF4\x90\x80\x80", // above U+10FFFF
    };
    for (const char* text : bad) {
        std::string error;
        EXPECT_FALSE(JsonWriter::write(JsonValue::array({ text }), &error)) << text;
        EXPECT_NE(error.find("UTF-8"), std::string::npos) << error;
        JsonValue object = JsonValue::object();
        object[text] = 1;
        EXPECT_FALSE(JsonWriter::write(object)) << "as a member name: " << text;
    }
    // The literal on its own stays readable JSON.
    EXPECT_EQ(JsonWriter::quoted("a\xFF"
                                 "b"),
        "\"a\xEF\xBF\xBD"
        "b\"");
    EXPECT_TRUE(JsonReader::parse(JsonWriter::quoted("\xC3(\xED\xA0\x80")));
}

TEST(JsonWriterTest, ObjectsKeepTheOrderOfTheirMembersAndAreCompact)
{
    JsonValue session = JsonValue::object();
    session["id"] = "E621E1F8-C36C-495A-93FC-0C247A3E6E5F";
    session["dateRange"] = JsonValue::array({ 700000000.5, 700003600 });
    session["timeZone"] = JsonValue::object({ { "identifier", "America/New_York" } });
    session["b"] = JsonValue::array();
    session["a"] = JsonValue::object();
    EXPECT_EQ(written(session),
        R"({"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","dateRange":[700000000.5,700003600],)"
        R"("timeZone":{"identifier":"America\/New_York"},"b":[],"a":{}})");

    auto back = JsonReader::parse(written(session));
    ASSERT_TRUE(back);
    EXPECT_EQ(written(*back), written(session));
    EXPECT_EQ(back->begin().key(), "id");
}

TEST(JsonWriterTest, NonFiniteNumbersAreRefusedNeverWrittenAsNull)
{
    for (double bad : { std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
             -std::numeric_limits<double>::infinity() }) {
        JsonValue value = JsonValue::object();
        value["start"] = 1.0;
        value["durations"] = JsonValue::array({ 2.0, bad });
        std::string error;
        EXPECT_FALSE(JsonWriter::write(value, &error));
        EXPECT_NE(error.find("non-finite"), std::string::npos) << error;
        EXPECT_NE(error.find(".durations[1]"), std::string::npos) << error;
        EXPECT_FALSE(JsonWriter::write(JsonValue(bad)));
    }
    EXPECT_FALSE(JsonWriter::write(JsonValue::binary({ 1, 2 })));
}

TEST(JsonWriterTest, NestingIsBoundedOnBothSides)
{
    auto deepest = JsonReader::parse(nested(JsonWriter::maxDepth));
    ASSERT_TRUE(deepest);
    EXPECT_EQ(written(*deepest), nested(JsonWriter::maxDepth));
    EXPECT_FALSE(JsonReader::parse(nested(JsonWriter::maxDepth + 1)));
    EXPECT_FALSE(JsonReader::parse(nested(200000)));

    JsonValue tooDeep = JsonValue::array();
    for (int i = 0; i < JsonWriter::maxDepth; ++i) {
        tooDeep = JsonValue::array({ tooDeep });
    }
    EXPECT_FALSE(JsonWriter::write(tooDeep));
    // Brackets inside text are no nesting.
    EXPECT_TRUE(JsonReader::parse("\"" + std::string(2000, '[') + "\""));
}

TEST(JsonWriterTest, ReaderIsStrict)
{
    EXPECT_TRUE(JsonReader::parse("600"));
    EXPECT_TRUE(JsonReader::parse(" [1, 2] \n"));
    EXPECT_TRUE(JsonReader::parse("\"a\\/b\""));
    const char* bad[] = {
        "",
        "600 600",
        "[1] x",
        "[1],[2]",
        "{\"a\":1}}",
        "[1,]",
        "{\"a\":1,}",
        "// note\n1",
        "1 /* note */",
        "'text'",
        "NaN",
        "Infinity",
        "[1e400]",
        "-1e999",
        "01",
        "{a:1}",
        "\"unterminated",
        "\"\xFF\"",
        "\"tab\tinside\"",
        "True",
    };
    for (const char* text : bad) {
        EXPECT_FALSE(JsonReader::parse(text)) << text;
    }
}

TEST(JsonWriterTest, ReaderKeepsKindsApart)
{
    auto value = JsonReader::parse(R"([600, 600.0, 3.5, true, "600", null])");
    ASSERT_TRUE(value);
    EXPECT_TRUE((*value)[0].is_number_integer());
    EXPECT_TRUE((*value)[1].is_number_float());
    EXPECT_TRUE((*value)[2].is_number_float());
    EXPECT_TRUE((*value)[3].is_boolean());
    EXPECT_TRUE((*value)[4].is_string());
    EXPECT_TRUE((*value)[5].is_null());
}
