#include "kit/foundation/Box.h"
#include "kit/foundation/WeakRef.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Size {
    double width;
    double height;
    bool operator==(const Size&) const = default;
    // Partial: neither of a wide-and-low and a narrow-and-tall size is less than the other.
    bool operator<(const Size& other) const { return width < other.width && height < other.height; }
};

struct Named {
    std::string name;
    int number = 0;
    bool operator==(const Named&) const = default;
    bool operator<(const Named& other) const { return name < other.name; }
};

} // namespace

template <> struct std::hash<Named> {
    std::size_t operator()(const Named& value) const { return std::hash<std::string> {}(value.name); }
};

TEST(BoxesTest, ValueBoxesForwardToTheirValues)
{
    const zk::Box<int> five(5);
    zk::MutableBox<int> mutableFive(5);
    EXPECT_EQ(five.debugDescription(), "Box(5)");
    EXPECT_EQ(mutableFive.debugDescription(), "MutableBox(5)");
    EXPECT_EQ(five.description(), "5");
    EXPECT_EQ(five, zk::Box<int>(5));
    EXPECT_EQ(std::hash<zk::Box<int>> {}(five), std::hash<int> {}(5));
    mutableFive.wrappedValue = 7;
    EXPECT_TRUE(zk::MutableBox<int>(5) < mutableFive);

    // The other comparisons come from `<` alone.
    const zk::Box<Size> wide(Size { 2, 1 });
    const zk::Box<Size> tall(Size { 1, 2 });
    EXPECT_FALSE(wide < tall);
    EXPECT_FALSE(wide > tall);
    EXPECT_TRUE(wide <= tall);
    EXPECT_TRUE(tall <= wide);
}

TEST(BoxesTest, ALazyBoxComputesOnceOnFirstUseEvenWhenComparedFirst)
{
    std::atomic<int> runs { 0 };
    zk::LazyBox<int> lazy([&] {
        ++runs;
        return 42;
    });
    EXPECT_EQ(runs.load(), 0);
    zk::LazyBox<int> other([] { return 42; });
    EXPECT_TRUE(lazy == other);
    EXPECT_EQ(runs.load(), 1);

    zk::LazyBox<int> shared([&] {
        ++runs;
        return 1;
    });
    std::vector<std::thread> readers;
    for (int i = 0; i < 8; ++i) {
        readers.emplace_back([&] { EXPECT_EQ(shared.wrappedValue(), 1); });
    }
    for (auto& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(runs.load(), 2);
}

TEST(BoxesTest, WeakBoxesWithoutObjects)
{
    auto first = std::make_shared<Named>(Named { "a", 1 });
    auto second = std::make_shared<Named>(Named { "b", 2 });
    zk::WeakBox<Named> a(first);
    zk::WeakBox<Named> b(second);
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(a.isNil());
    EXPECT_EQ(a.id(), std::optional<const Named*>(first.get()));

    first.reset();
    EXPECT_TRUE(a.isNil());
    EXPECT_EQ(a.id(), std::nullopt);
    EXPECT_NE(a, b);
    EXPECT_FALSE(a < b);
    EXPECT_FALSE(b < a);

    second.reset();
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<zk::WeakBox<Named>> {}(a), std::hash<zk::WeakBox<Named>> {}(b));
}

TEST(BoxesTest, WeakBoxMembersAreReadAndWrittenOnlyWhileTheObjectLives)
{
    auto object = std::make_shared<Named>(Named { "a", 1 });
    zk::WeakBox<Named> box(object);
    box.set(&Named::number, 5);
    EXPECT_EQ(object->number, 5);
    box.set(&Named::number, std::nullopt);
    EXPECT_EQ(object->number, 5);
    box.modify(&Named::number, [](std::optional<int>& value) { *value += 1; });
    EXPECT_EQ(box.get(&Named::number), 6);

    object.reset();
    EXPECT_EQ(box.get(&Named::number), std::nullopt);
    box.set(&Named::number, 9); // nothing to change, and no failure
    box.modify(&Named::number, [](std::optional<int>& value) { EXPECT_FALSE(value.has_value()); });
}

TEST(BoxesTest, AWeakArrayKeepsCountingReleasedObjects)
{
    auto one = std::make_shared<Named>(Named { "1" });
    auto two = std::make_shared<Named>(Named { "2" });
    auto three = std::make_shared<Named>(Named { "3" });
    zk::WeakArray<Named> array { one, two, three };
    two.reset();
    EXPECT_EQ(array.count(), 3);
    EXPECT_EQ(array.at(1), nullptr);
    EXPECT_EQ(array.at(2), three);
    EXPECT_THROW(array.at(3), std::out_of_range);
}
