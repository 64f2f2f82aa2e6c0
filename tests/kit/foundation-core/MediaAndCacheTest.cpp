#include "kit/foundation/core/Cache.h"
#include "kit/foundation/core/Description.h"
#include "kit/foundation/core/JsonDecoding.h"
#include "kit/foundation/core/MediaFormat.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

TEST(AVFormatTest, NamesCodesAndTheirTrimming)
{
    EXPECT_EQ(zk::avFormatFromRawValue("hevc"), zk::AVFormat::hevc);
    EXPECT_EQ(zk::avFormatFromRawValue("HEVC"), std::nullopt);
    EXPECT_EQ(zk::avFormatFromRawValue("hvc1"), std::nullopt);
    EXPECT_EQ(zk::debugDescription(zk::AVFormat::hevc), "HEVC (hvc1)");
    EXPECT_EQ(zk::debugDescription(zk::AVFormat::appleAnimation), "Apple Animation (rle)");
    EXPECT_EQ(zk::debugDescription(zk::AVFormat::quickTimeGraphics), "QuickTime Graphics (smc)");
    EXPECT_EQ(zk::description(zk::AVFormat::hap7), zk::description(zk::AVFormat::hap1));
    for (const auto format : zk::allAVFormats) {
        EXPECT_EQ(zk::avFormatFromRawValue(zk::rawValue(format)), format);
    }
    EXPECT_EQ(zk::mediaTypeDescription("vide"), "Video");
    EXPECT_EQ(zk::mediaTypeDescription("nope"), "Unknown");
}

TEST(CacheTest, SharedCachesAreSeparateAndStoringNothingRemoves)
{
    using StringCache = zk::Cache<QString, std::string>;
    const auto first = StringCache::shared();
    const auto second = StringCache::shared();
    first->setObject("a", std::make_shared<std::string>("x"));
    EXPECT_EQ(*first->object("a"), "x");
    EXPECT_EQ(second->object("a"), nullptr);
    first->setObject("a", nullptr);
    EXPECT_EQ(first->object("a"), nullptr);

    StringCache named("thumbnails", 1000, 2);
    EXPECT_EQ(named.name(), "thumbnails");
    EXPECT_EQ(named.countLimit(), 2);
    named.setObject("1", std::make_shared<std::string>("1"));
    named.setObject("2", std::make_shared<std::string>("2"));
    named.setObject("3", std::make_shared<std::string>("3"));
    EXPECT_NE(named.object("3"), nullptr);
    EXPECT_EQ(int(named.object("1") != nullptr) + int(named.object("2") != nullptr), 1);
}

TEST(DecodingTest, InvalidJsonForTheTypeGivesNothing)
{
    EXPECT_EQ(zk::decodeIfPossible<std::vector<int>>("[1,2]"), (std::vector<int> { 1, 2 }));
    EXPECT_EQ(zk::decodeIfPossible<std::vector<int>>("[1,"), std::nullopt);
    EXPECT_EQ(zk::decodeIfPossible<std::vector<int>>(R"({"a":1})"), std::nullopt);
    EXPECT_EQ(zk::decodeIfPossible<int>("\"text\""), std::nullopt);
}

TEST(DescriptionTest, OptionalsWithAndWithoutADefault)
{
    EXPECT_EQ(zk::optionalDescription(std::optional<int>()), "nil");
    EXPECT_EQ(zk::optionalDescription(std::optional<int>(), "-"), "-");
    EXPECT_EQ(zk::optionalDescription(std::optional<int>(3)), "3");
    EXPECT_EQ(zk::optionalDescription(std::optional<std::string>("x"), "-"), "x");
    EXPECT_EQ(zk::textDescription(2.5), "2.5");
    EXPECT_EQ(zk::textDescription(true), "true");
}
