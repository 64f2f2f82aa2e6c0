#include "platform/store/StoredValueJoins.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

StoredValueJoin giving(std::int64_t result)
{
    // The value is made once and copied out: GCC 12 with the sanitizers warns falsely that a
    // moved-from temporary's other alternatives may be uninitialised.
    return [value = PropertyList(result)](const PropertyList&, const PropertyList&, const PropertyList*) {
        return std::optional<PropertyList>(value);
    };
}

std::optional<PropertyList> joined(
    const StoredValueJoins& joins, const std::string& suite, const std::string& key)
{
    const auto join = joins.of(suite, key);
    return join ? join(PropertyList(0), PropertyList(0), nullptr) : std::nullopt;
}

// The process's joins outlive a test: each test names suites of its own and takes its joins back.
struct ProcessJoin {
    ProcessJoin(std::string suite, std::string key, StoredValueJoin join)
        : suite(std::move(suite))
        , key(std::move(key))
    {
        StoredValueJoins::setForProcess(this->suite, this->key, std::move(join));
    }
    ~ProcessJoin() { StoredValueJoins::setForProcess(suite, key, nullptr); }
    std::string suite;
    std::string key;
};

} // namespace

// A store's own join of a key comes before the process's; the process's reaches every store, for
// its suite and key only.
TEST(StoredValueJoinsTest, AStoresOwnJoinComesBeforeTheProcesss)
{
    const ProcessJoin process("joinsTestSuite", "k", giving(1));
    StoredValueJoins first;
    StoredValueJoins second;
    first.set("joinsTestSuite", "k", giving(2));
    EXPECT_EQ(joined(first, "joinsTestSuite", "k"), PropertyList(2));
    EXPECT_EQ(joined(second, "joinsTestSuite", "k"), PropertyList(1));
    EXPECT_EQ(joined(second, "joinsTestOtherSuite", "k"), std::nullopt);
    EXPECT_EQ(joined(second, "joinsTestSuite", "other"), std::nullopt);

    // Given again, a join replaces the one before.
    first.set("joinsTestSuite", "k", giving(3));
    EXPECT_EQ(joined(first, "joinsTestSuite", "k"), PropertyList(3));
}

// A store that takes its join of a key back takes the key out of the process's join too; the
// process taking its own back leaves the key without one.
TEST(StoredValueJoinsTest, AnEmptyJoinLeavesTheKeyWithoutOne)
{
    const ProcessJoin process("joinsTestSuite2", "k", giving(1));
    StoredValueJoins joins;
    joins.set("joinsTestSuite2", "k", nullptr);
    EXPECT_EQ(joins.of("joinsTestSuite2", "k"), nullptr);

    StoredValueJoins fresh;
    StoredValueJoins::setForProcess("joinsTestSuite2", "k", nullptr);
    EXPECT_EQ(fresh.of("joinsTestSuite2", "k"), nullptr);
}
