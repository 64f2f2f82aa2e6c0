#include "kit/foundation/core/EmptyInitializable.h"
#include "kit/foundation/core/EnumCaseMap.h"
#include "kit/foundation/core/GeometryHashing.h"
#include "kit/foundation/core/IndexedCollection.h"
#include "platform/time/DateRange.h"

#include <gtest/gtest.h>

#include <array>
#include <span>
#include <string>
#include <vector>

namespace {
enum class Letter { a, b, c };
} // namespace

template <> struct zk::AllCases<Letter> {
    static constexpr std::array all { Letter::a, Letter::b, Letter::c };
};

TEST(EnumCaseMapTest, ExcludedCasesAreNeverIteratedEvenWithAValue)
{
    zk::EnumCaseMap<Letter, int> map({ { Letter::a, 1 }, { Letter::b, 2 }, { Letter::c, 3 } }, { Letter::b });
    EXPECT_EQ(map.count(), 2);
    std::vector<Letter> seen;
    for (const auto& element : map) {
        seen.push_back(element.key);
    }
    EXPECT_EQ(seen, (std::vector<Letter> { Letter::a, Letter::c }));

    map.set(Letter::b, 20);
    EXPECT_EQ(map.count(), 2);
    EXPECT_EQ(map[Letter::b], 20);
    map.modify(Letter::a, [](int& value) { value += 10; });
    EXPECT_EQ(map.at(0).value, 11);
    EXPECT_EQ(map.values().size(), 3u);

    zk::EnumCaseMap<Letter, int> sparse({ { Letter::a, 1 } });
    EXPECT_THROW(sparse[Letter::c], std::out_of_range);
    EXPECT_THROW(sparse.at(2), std::out_of_range);
}

TEST(IndexedCollectionTest, ASliceKeepsItsPositions)
{
    const std::vector<std::string> all { "q", "r", "s", "t", "u", "v", "w" };
    const zk::IndexedCollection slice(std::span<const std::string>(all).subspan(5), 5);
    const auto pairs = slice.pairs();
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0], (std::pair<std::ptrdiff_t, std::string>(5, "v")));
    EXPECT_EQ(slice.at(6).second, "w");
    EXPECT_EQ(slice.startIndex(), 5);
    EXPECT_EQ(slice.endIndex(), 7);
}

TEST(IndexedCollectionDeathTest, APositionOutsideTheCollectionStopsTheProgram)
{
    const std::vector<std::string> all { "q", "r", "s", "t", "u", "v", "w" };
    const zk::IndexedCollection slice(std::span<const std::string>(all).subspan(5), 5);
    EXPECT_DEATH(slice.at(7), "out of range 5..<7");
    EXPECT_DEATH(slice.at(4), "out of range 5..<7");
    const zk::IndexedCollection<std::vector<int>> empty({});
    EXPECT_DEATH(empty.at(0), "out of range 0..<0");
}

TEST(EmptyInitializableTest, EmptyValues)
{
    EXPECT_EQ(zk::emptyValue<std::int64_t>(), 0);
    EXPECT_TRUE(zk::emptyValue<std::string>().empty());
    EXPECT_EQ(zk::emptyValue<QUrl>().toString(), ".");
    EXPECT_TRUE(zk::emptyValue<QUrl>().isRelative());
}

TEST(GeometryTest, SignedZerosHashAlikeAndSizesArePartiallyOrdered)
{
    const zk::GeometryHash hash;
    EXPECT_EQ(hash(QSizeF(0.0, 1.0)), hash(QSizeF(-0.0, 1.0)));
    EXPECT_NE(hash(QSizeF(1.0, 2.0)), hash(QSizeF(2.0, 1.0)));
    EXPECT_EQ(hash(QRectF(-0.0, 0.0, 3.0, 4.0)), hash(QRectF(0.0, -0.0, 3.0, 4.0)));

    const QSizeF wide(2, 1);
    const QSizeF tall(1, 2);
    EXPECT_FALSE(zk::sizeLess(wide, tall));
    EXPECT_FALSE(zk::sizeGreater(wide, tall));
    EXPECT_TRUE(zk::sizeLessOrEqual(wide, tall));
    EXPECT_TRUE(zk::sizeLessOrEqual(tall, wide));
    EXPECT_TRUE(zk::sizeLess(QSizeF(1, 1), QSizeF(2, 2)));
}

TEST(DateRangeTest, BetweenTwoDatesInEitherOrder)
{
    const platform::Date early(100);
    const platform::Date late(200);
    EXPECT_EQ(platform::DateRange::between(late, early), (platform::DateRange { early, late }));
    const auto instant = platform::DateRange::between(early, early);
    EXPECT_EQ(instant.duration(), 0.0);
    EXPECT_TRUE(instant.contains(early));
}
