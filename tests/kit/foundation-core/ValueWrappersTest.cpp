#include "kit/foundation/core/AnyEquatable.h"
#include "kit/foundation/core/ApproximateComparison.h"
#include "kit/foundation/core/DecodableDefault.h"
#include "kit/foundation/core/PairAndEither.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

using zk::Either;
using zk::Tuple2;
using Json = nlohmann::json;

TEST(PairAndEitherTest, CodedLayoutsRoundTrip)
{
    const Tuple2<int, std::string> pair { 1, "x" };
    EXPECT_EQ(Json(pair).dump(), R"({"first":1,"second":"x"})");
    const auto decoded = Json::parse(R"({"second":"x","first":1})").get<Tuple2<int, std::string>>();
    EXPECT_EQ(decoded, pair);
    const std::hash<Tuple2<int, std::string>> hash;
    EXPECT_EQ(hash(decoded), hash(pair));
    EXPECT_THROW((Json::parse(R"({"first":1})").get<Tuple2<int, std::string>>()), Json::exception);

    using Value = Either<int, std::string>;
    EXPECT_EQ(Json(Value::left(5)).dump(), R"({"left":{"_0":5}})");
    EXPECT_EQ(Json(Value::right("y")).dump(), R"({"right":{"_0":"y"}})");
    EXPECT_EQ(Json::parse(R"({"left":{"_0":5},"other":true})").get<Value>(), Value::left(5));
}

TEST(PairAndEitherTest, AnEitherNeedsExactlyOneCase)
{
    using Value = Either<int, int>;
    for (const char* text : { R"({"left":{"_0":1},"right":{"_0":2}})", "{}" }) {
        try {
            (void)Json::parse(text).get<Value>();
            ADD_FAILURE() << text;
        } catch (const zk::DecodingTypeMismatch& error) {
            EXPECT_STREQ(error.what(), "Invalid number of keys found, expected one.");
        }
    }
    EXPECT_THROW((Json::parse(R"({"left":{}})").get<Value>()), Json::out_of_range);
}

TEST(PairAndEitherTest, LeftOrdersBeforeRight)
{
    using Value = Either<int, int>;
    EXPECT_TRUE(Value::left(9) < Value::right(1));
    EXPECT_FALSE(Value::right(1) < Value::left(9));
    EXPECT_TRUE(Value::right(1) < Value::right(2));
    EXPECT_FALSE(Value::right(2) < Value::right(2));
    EXPECT_TRUE(Value::right(2) <= Value::right(2));
    EXPECT_NE(std::hash<Value> {}(Value::left(1)), std::hash<Value> {}(Value::right(1)));
}

TEST(AnyEquatableTest, EqualOnlyWithinOneType)
{
    EXPECT_NE(zk::AnyEquatable(1), zk::AnyEquatable(1.0));
    EXPECT_EQ(zk::AnyEquatable("abc"), zk::AnyEquatable(std::string("abc")));
    EXPECT_NE(zk::AnyEquatable("abc"), zk::AnyEquatable("abd"));
    EXPECT_EQ(zk::AnyEquatable(true), zk::AnyEquatable(true));
}

namespace {
struct FiveByDefault {
    using Value = int;
    static int defaultValue() { return 5; }
};
} // namespace

TEST(DecodableDefaultTest, CodesAsTheBareValueAndNeverFallsBack)
{
    using Wrapper = zk::DecodableDefault::Wrapper<FiveByDefault>;
    EXPECT_EQ(Wrapper {}.wrappedValue, 5);
    EXPECT_EQ(Json(Wrapper { 7 }).dump(), "7");
    EXPECT_EQ(Json::parse("8").get<Wrapper>().wrappedValue, 8);
    EXPECT_THROW(Json::parse("\"eight\"").get<Wrapper>(), Json::exception);
}

TEST(ApproximateComparisonTest, RelativeToleranceAndTheInfinities)
{
    constexpr double tolerance = 0.001;
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(zk::isAlmostEqual(1.0, 1.0005, tolerance));
    EXPECT_FALSE(zk::isAlmostEqual(1.0, 1.002, tolerance));
    EXPECT_TRUE(zk::isAlmostEqual(0.0, std::numeric_limits<double>::min() * 0.0005, tolerance));
    EXPECT_FALSE(zk::isAlmostEqual(nan, nan, tolerance));
    EXPECT_TRUE(zk::isAlmostEqual(inf, inf, tolerance));
    EXPECT_FALSE(zk::isAlmostEqual(inf, -inf, tolerance));
    EXPECT_FALSE(zk::isAlmostEqual(inf, 1.0, tolerance));
    EXPECT_TRUE(zk::isAlmostEqual(inf, std::numeric_limits<double>::max(), tolerance));
    EXPECT_TRUE(zk::isAlmostEqual(std::numeric_limits<double>::max(), inf, tolerance));
    EXPECT_TRUE(zk::isAlmostZero(0.0004, tolerance));
    EXPECT_FALSE(zk::isAlmostZero(-0.001, tolerance));
}
