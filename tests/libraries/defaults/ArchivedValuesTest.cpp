#include "DefaultsTestSupport.h"

#include <QDataStream>
#include <QString>

using namespace defaults_test;
using platform::PropertyList;

namespace archived_test {

// A value Qt's archive writes: a pin on a map, with a label.
struct Pin {
    qint32 x = 0;
    QString label;
    friend bool operator==(const Pin&, const Pin&) = default;
};
inline QDataStream& operator<<(QDataStream& stream, const Pin& pin)
{
    return stream << pin.x << pin.label;
}
inline QDataStream& operator>>(QDataStream& stream, Pin& pin)
{
    return stream >> pin.x >> pin.label;
}

// The same, also Codable.
struct CodablePin : Pin { };
inline void to_json(platform::JsonValue& json, const CodablePin& pin)
{
    json = platform::JsonValue::object();
    json["x"] = pin.x;
    json["label"] = pin.label.toStdString();
}
inline void from_json(const platform::JsonValue& json, CodablePin& pin)
{
    pin.x = json.at("x").get<qint32>();
    pin.label = QString::fromStdString(json.at("label").get<std::string>());
}

// Codable too, but asking to be archived.
struct ArchivedPin : CodablePin { };

} // namespace archived_test

template <> struct Defaults::NSSecureCoding<archived_test::Pin> : std::true_type {
};
template <> struct Defaults::NSSecureCoding<archived_test::CodablePin> : std::true_type {
};
template <> struct Defaults::NSSecureCoding<archived_test::ArchivedPin> : std::true_type {
};
template <> struct Defaults::PreferNSSecureCoding<archived_test::ArchivedPin> : std::true_type {
};

namespace {

using archived_test::ArchivedPin;
using archived_test::CodablePin;
using archived_test::Pin;

class ArchivedValues : public DefaultsFixture { };

platform::Bytes archiveOf(const Pin& pin)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_6_0);
    stream << pin;
    return platform::Bytes(bytes.begin(), bytes.end());
}

TEST_F(ArchivedValues, TheChoiceOfBridgeFollowsTheTable)
{
    static_assert(std::is_same_v<Defaults::BridgeOf<Pin>, Defaults::NSSecureCodingBridge<Pin>>);
    static_assert(
        std::is_same_v<Defaults::BridgeOf<CodablePin>, Defaults::CodableNSSecureCodingBridge<CodablePin>>);
    static_assert(
        std::is_same_v<Defaults::BridgeOf<ArchivedPin>, Defaults::NSSecureCodingBridge<ArchivedPin>>);
    static_assert(!Defaults::Serializable<Pin>::isNativelySupported);
    static_assert(std::is_same_v<Defaults::BridgeOf<Record>, Defaults::TopLevelCodableBridge<Record>>);
}

TEST_F(ArchivedValues, AnArchivedValueIsStoredAsTheBytesOfItsArchive)
{
    Defaults::Key<Pin> key("pin", Pin {});
    const Pin pin { 42, QStringLiteral("Caf\u00e9") };
    Defaults::set(key, pin);
    EXPECT_EQ(stored("pin"), PropertyList(archiveOf(pin)));
    EXPECT_EQ(Defaults::get(key), pin);

    Defaults::Key<std::vector<Pin>> pins("pins", {});
    Defaults::set(pins, std::vector<Pin> { pin, Pin { 1, "b" } });
    EXPECT_EQ(stored("pins"),
        PropertyList(platform::PropertyListArray {
            PropertyList(archiveOf(pin)), PropertyList(archiveOf(Pin { 1, "b" })) }));
    EXPECT_EQ(Defaults::get(pins).size(), 2u);

    Defaults::Key<ArchivedPin> preferred("preferred", ArchivedPin {});
    ArchivedPin archived;
    archived.x = 7;
    Defaults::set(preferred, archived);
    EXPECT_EQ(stored("preferred"), PropertyList(archiveOf(archived)));
}

TEST_F(ArchivedValues, ACodableArchivedValueIsStoredAsJson)
{
    Defaults::Key<CodablePin> key("codablePin", CodablePin {});
    CodablePin pin;
    pin.x = 3;
    pin.label = "a/b";
    Defaults::set(key, pin);
    EXPECT_EQ(stored("codablePin"), PropertyList(R"({"x":3,"label":"a\/b"})"));
    EXPECT_EQ(Defaults::get(key), pin);
}

TEST_F(ArchivedValues, BytesThatAreNoArchiveOfTheTypeReadAsTheDefault)
{
    Defaults::Key<Pin> key("pin", Pin { -1, "default" });
    // Too short for the label that should follow the number.
    suite().setObject(PropertyList(platform::Bytes { 0, 0, 0, 5, 0xff }), "pin");
    EXPECT_EQ(Defaults::get(key), (Pin { -1, "default" }));
    // A whole archive with something after it is not one value either.
    auto bytes = archiveOf(Pin { 2, "x" });
    bytes.push_back(0);
    suite().setObject(PropertyList(bytes), "pin");
    EXPECT_EQ(Defaults::get(key), (Pin { -1, "default" }));
    suite().setObject(PropertyList("text"), "pin");
    EXPECT_EQ(Defaults::get(key), (Pin { -1, "default" }));
}

} // namespace
