#include "kit/foundation/core/FeedbackLink.h"
#include "kit/foundation/core/URLQueryItem.h"

#include <QUrl>
#include <QUrlQuery>
#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

namespace {

QUrlQuery queryOf(const std::string& url)
{
    const QUrl parsed(QString::fromStdString(url), QUrl::StrictMode);
    EXPECT_TRUE(parsed.isValid()) << url;
    return QUrlQuery(parsed);
}

std::string value(const QUrlQuery& query, const char* key)
{
    return query.queryItemValue(key, QUrl::FullyDecoded).toStdString();
}

} // namespace

TEST(FeedbackLink, HoldsProductAndMetadataOnlyWithoutMessage)
{
    const std::string url = zk::feedbackPageURL("Kiruvo", "Version: 1.0");
    EXPECT_EQ(url, "https://kiruvo.example/feedback?product=Kiruvo&metadata=Version%3A%201.0");
    const auto query = queryOf(url);
    EXPECT_EQ(query.queryItems().size(), 2);
    EXPECT_EQ(value(query, "metadata"), "Version: 1.0");
}

TEST(FeedbackLink, MessageWithSpecialCharactersSurvivesTheRoundTrip)
{
    const std::string message = "a b\nc&d=e+f?g#h/%25 \xC3\xA9\xE2\x9C\x93 \xF0\x9F\x98\x80 \xD0\x9F\xD1\x80";
    const std::string url = zk::feedbackPageURL("Kiruvo", "macOS: none\nLinux: yes", message, "");
    // Nothing outside the unreserved set is left raw, letters of other scripts included.
    const std::string query = url.substr(url.find('?') + 1);
    for (const char c : query) {
        const auto byte = static_cast<unsigned char>(c);
        EXPECT_TRUE(std::isalnum(byte) || std::string_view("-._~%&=").find(c) != std::string_view::npos)
            << "raw character " << int(byte);
    }
    const auto parsed = queryOf(url);
    EXPECT_EQ(value(parsed, "messageField"), message);
    EXPECT_EQ(value(parsed, "metadata"), "macOS: none\nLinux: yes");
    EXPECT_TRUE(parsed.hasQueryItem("extraInfo")); // an empty text is still given
    EXPECT_EQ(value(parsed, "extraInfo"), "");
    EXPECT_EQ(parsed.queryItems().size(), 4);
}

TEST(FeedbackLink, PercentEncodingOfEveryByte)
{
    EXPECT_EQ(zk::percentEncodedURLUnreserved("AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(zk::percentEncodedURLUnreserved(" !*'();:@&=+$,/?#[]%"),
        "%20%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%23%5B%5D%25");
    EXPECT_EQ(zk::percentEncodedURLUnreserved("\xC3\xA9"), "%C3%A9");
    EXPECT_EQ(zk::percentEncodedURLUnreserved(std::string("a\0b", 3)), "a%00b");
}

TEST(FeedbackLink, QueryItemsOfValuesAndBack)
{
    const std::vector<std::pair<std::string, int>> numbers { { "count", 42 }, { "neg ative", -7 } };
    EXPECT_EQ(zk::toURLQueryItems(numbers),
        (std::vector<zk::URLQueryItem> { { "count", "42" }, { "neg%20ative", "-7" } }));
    EXPECT_TRUE(zk::toURLQueryItems(std::map<std::string, std::string> {}).empty());

    const std::vector<zk::URLQueryItem> items { { "a", "1" }, { "b", std::nullopt }, { "a", "2" } };
    const auto dictionary = zk::dictionary(items);
    EXPECT_EQ(dictionary.at("a"), "2");
    EXPECT_EQ(dictionary.at("b"), std::nullopt);
    EXPECT_EQ(zk::compactValues(dictionary), (std::map<std::string, std::string> { { "a", "2" } }));
    EXPECT_EQ(zk::queryString(items), "a=1&b&a=2");
}
