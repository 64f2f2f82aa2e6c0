#include "kit/foundation/core/BundleIdentifier.h"
#include "kit/foundation/core/Bytes.h"
#include "kit/foundation/core/EmailAddress.h"
#include "kit/foundation/core/UnexpectedNilError.h"
#include "kit/foundation/core/ZKProcessID.h"
#include "platform/time/Locale.h"

#include <gtest/gtest.h>

#include <limits>

using zk::Bytes;

TEST(BytesTest, DecimalUnitsAndTruncation)
{
    EXPECT_EQ(Bytes::unitFromRawValue(1024), std::nullopt);
    EXPECT_EQ(Bytes::unitFromRawValue(1000), Bytes::Unit::kilobytes);
    EXPECT_EQ(Bytes::kilobytes(1.5).bytes, 1500);
    EXPECT_EQ(Bytes::megabytes(0.0015).bytes, 1500);
    EXPECT_EQ(Bytes::kilobytes(0.0029999).bytes, 2);
    EXPECT_DOUBLE_EQ(Bytes { 1500 }.count(Bytes::Unit::kilobytes), 1.5);
    EXPECT_DOUBLE_EQ(Bytes { 1 }.count(Bytes::Unit::bits), 8);

    Bytes total = Bytes::zero();
    total += Bytes { 700 };
    total -= Bytes { 200 };
    EXPECT_EQ(total, Bytes { 500 });
    EXPECT_LT(Bytes { 1 }, Bytes { 2 });
    // Counts that do not fit are errors, not wrapped numbers.
    EXPECT_THROW(Bytes { std::numeric_limits<std::int64_t>::max() } + Bytes { 1 }, std::overflow_error);
    EXPECT_THROW(Bytes::gigabytes(1e300), std::overflow_error);
    EXPECT_THROW(Bytes::gigabytes(std::numeric_limits<double>::quiet_NaN()), std::overflow_error);
}

TEST(BytesTest, DebugDescriptionIsAFileSizeInTheCurrentLocale)
{
    platform::Locale::setCurrentForTesting(platform::Locale("de_DE"));
    EXPECT_EQ(zk::Bytes::zero().debugDescription(), "Null KB");
    EXPECT_EQ(zk::Bytes::megabytes(1.7).debugDescription(), "1,7 MB");
    platform::Locale::setCurrentForTesting(platform::Locale("en_US"));
    EXPECT_EQ(zk::Bytes { 1 }.debugDescription(), "1 byte");
    EXPECT_EQ(zk::Bytes::gigabytes(2500).debugDescription(), "2.5 TB");
    platform::Locale::setCurrentForTesting(std::nullopt);
}

TEST(EmailAddressTest, TrimmedCheckedAndDecodedAsStored)
{
    const auto address = zk::EmailAddress::make("  someone@example.com\n");
    ASSERT_TRUE(address.has_value());
    EXPECT_EQ(address->rawValue(), "someone@example.com");
    EXPECT_EQ(zk::EmailAddress::make(""), std::nullopt);
    EXPECT_EQ(zk::EmailAddress::make("no address"), std::nullopt);
    try {
        (void)zk::EmailAddress::literal(" nope ");
        FAIL();
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "Invalid email address:  nope ");
    }
    const auto stored = nlohmann::json("not an address").get<zk::EmailAddress>();
    EXPECT_EQ(stored.rawValue(), "not an address");
    EXPECT_EQ(nlohmann::json(*address).dump(), "\"someone@example.com\"");
}

TEST(SmallValueTypesTest, IdentifiersKeepTheirTextAndNumbers)
{
    const zk::BundleIdentifier id { "Com.Example.App" };
    EXPECT_EQ(nlohmann::json(id).get<zk::BundleIdentifier>(), id);
    EXPECT_EQ(nlohmann::json(id).dump(), "\"Com.Example.App\"");
    EXPECT_LT(zk::BundleIdentifier { "a" }, zk::BundleIdentifier { "b" });
    EXPECT_EQ(zk::ZKProcessID { -1 }.id(), -1);
}

TEST(UnexpectedNilErrorTest, DescribesWhereTheValueWasMissing)
{
    const zk::UnexpectedNilError error(std::nullopt, "a", 12);
    EXPECT_EQ(error.localizedDescription(), "Unexpected nil encountered at a:12");
    EXPECT_EQ(error.failureReason(), "Unexpected nil encountered at a:12");
    EXPECT_EQ(zk::UnexpectedNilError("No screen", "a", 12).localizedDescription(), "No screen");
    EXPECT_EQ(zk::valueOrThrow(std::optional<int>(3)), 3);
    try {
        (void)zk::valueOrThrow(std::optional<int>());
        FAIL();
    } catch (const zk::UnexpectedNilError& thrown) {
        EXPECT_EQ(thrown.file(), "SmallValueTypesTest.cpp");
    }
}

TEST(BytesTest, MeasurementsOfInformation)
{
    EXPECT_EQ(Bytes { 1500 }.measurement().value, 1500);
    EXPECT_EQ(Bytes::fromMeasurement({ 1.5, zk::UnitInformationStorage::kilobytes() }).bytes, 1500);
    EXPECT_EQ(Bytes::fromMeasurement({ 12, zk::UnitInformationStorage::bits() }).bytes, 1);
    EXPECT_THROW(
        Bytes::fromMeasurement({ 1e30, zk::UnitInformationStorage::gigabytes() }), std::overflow_error);
}
