#include "platform/Uuid.h"

#include <gtest/gtest.h>

#include <set>
#include <unordered_set>

using platform::Uuid;

TEST(UuidTest, DefaultIsAllZero)
{
    const Uuid zero;
    EXPECT_EQ(zero.uuidString(), "00000000-0000-0000-0000-000000000000");
    for (auto b : zero.bytes()) {
        EXPECT_EQ(b, 0);
    }
}

TEST(UuidTest, TextIsUpperCaseWithHyphensAndRoundTrips)
{
    auto uuid = Uuid::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    ASSERT_TRUE(uuid);
    EXPECT_EQ(uuid->uuidString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(uuid->bytes()[0], 0xE6);
    EXPECT_EQ(uuid->bytes()[15], 0x5F);
    EXPECT_EQ(Uuid::parse(uuid->uuidString()), uuid);
    // Mixed case reads as the same identifier.
    EXPECT_EQ(Uuid::parse("E621e1f8-C36c-495A-93fc-0C247A3E6E5F"), uuid);
}

TEST(UuidTest, ParseRefusesEverythingButTheStandardForm)
{
    const char* bad[] = {
        "",
        "{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}",
        " E621E1F8-C36C-495A-93FC-0C247A3E6E5F",
        "E621E1F8-C36C-495A-93FC-0C247A3E6E5F ",
        "E621E1F8C36C495A93FC0C247A3E6E5F",
        "E621E1F8-C36C-495A-93FC-0C247A3E6E5",
        "E621E1F8-C36C-495A-93FC-0C247A3E6E5FF",
        "E621E1F8-C36C-495A-93FC0-C247A3E6E5F",
        "E621E1F8-C36C-495A-93FG-0C247A3E6E5F",
        "E621E1F8+C36C-495A-93FC-0C247A3E6E5F",
        "urn:uuid:E621E1F8-C36C-495A-93FC-0C247A3E6E5F",
        "-621E1F8-C36C-495A-93FC-0C247A3E6E5F",
    };
    for (const char* text : bad) {
        EXPECT_FALSE(Uuid::parse(text)) << text;
    }
    // An embedded NUL is not a hexadecimal digit.
    std::string withNul = "E621E1F8-C36C-495A-93FC-0C247A3E6E5F";
    withNul[3] = '\0';
    EXPECT_FALSE(Uuid::parse(withNul));
}

TEST(UuidTest, RandomIsVersion4WithTheStandardVariantAndDistinct)
{
    std::set<Uuid> seen;
    for (int i = 0; i < 1000; ++i) {
        Uuid uuid = Uuid::random();
        EXPECT_EQ(uuid.version(), 4);
        EXPECT_EQ(uuid.bytes()[8] & 0xC0, 0x80);
        EXPECT_EQ(uuid.uuidString()[14], '4');
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 1000u);
}

TEST(UuidTest, NameBasedMatchesTheStandardVersion5Values)
{
    EXPECT_EQ(Uuid::urlNamespace().uuidString(), "6BA7B811-9DAD-11D1-80B4-00C04FD430C8");
    EXPECT_EQ(Uuid::nameBased(Uuid::urlNamespace(), "http://python.org/").uuidString(),
        "4C565F0D-3F5A-5890-B41B-20CF47701C5E");
    EXPECT_EQ(Uuid::nameBased(Uuid::urlNamespace(), "Work/Break reminder").uuidString(),
        "2AD1829A-1A8B-5B2E-8ABB-44C22F5BCAC4");
    EXPECT_EQ(Uuid::nameBased(Uuid::urlNamespace(), "").uuidString(), "1B4DB7EB-4057-5DDF-91E0-36DEC72071F5");
    // Names are hashed as their UTF-8 bytes.
    EXPECT_EQ(Uuid::nameBased(Uuid::urlNamespace(),
                  "Caf\xC3\xA9/\xC3\xBCn\xC3\xAF"
                  "code")
                  .uuidString(),
        "420DD033-569B-56E5-B6D0-F850B4C3FA0B");
    auto dns = Uuid::parse("6ba7b810-9dad-11d1-80b4-00c04fd430c8");
    ASSERT_TRUE(dns);
    EXPECT_EQ(Uuid::nameBased(*dns, "python.org").uuidString(), "886313E1-3B8A-5372-9B90-0C9AEE199E5D");
    EXPECT_EQ(Uuid::nameBased(*dns, "python.org").version(), 5);
}

TEST(UuidTest, OrderingAndHashFollowTheBytes)
{
    auto a = *Uuid::parse("00000000-0000-0000-0000-000000000001");
    auto b = *Uuid::parse("00000000-0000-0000-0000-000000000002");
    auto c = *Uuid::parse("10000000-0000-0000-0000-000000000000");
    EXPECT_LT(a, b);
    EXPECT_LT(b, c);
    EXPECT_NE(a, b);
    std::unordered_set<Uuid> set { a, b, c, *Uuid::parse("00000000-0000-0000-0000-000000000001") };
    EXPECT_EQ(set.size(), 3u);
    EXPECT_EQ(std::hash<Uuid>()(a), std::hash<Uuid>()(*Uuid::parse("00000000-0000-0000-0000-000000000001")));
}
