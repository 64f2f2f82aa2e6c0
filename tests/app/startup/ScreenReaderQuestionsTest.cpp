#include "app/MenuBarFixture.h"

#include "app/reminders/ReminderDelivery.h"
#include "app/startup/AppMain.h"
#include "app/windows/HistoryScreen.h"
#include "app/windows/HistoryWindowController.h"
#include "app/windows/SettingsScreen.h"
#include "app/windows/SettingsWindowController.h"
#include "app/windows/WelcomeWindowController.h"
#include "kit/diagnostics/DebugWindowController.h"
#include "kit/foundation/SettingsWindowOpener.h"
#include "support/ScreenReaderSession.h"

#include <QAccessible>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QTableView>
#include <QTest>
#include <QXmlStreamReader>

#include <cmath>
#include <limits>
#include <map>
#include <set>

namespace {

using kiruvo::SettingsScreen;
using zk::SingletonWindowController;

// What the desktop's accessibility interfaces offer a reader: each property (with its type) and
// each method (with the types of what it takes).
struct Member {
    QString name;
    QString types;
};

struct AccessibilityInterface {
    QString name;
    std::vector<Member> properties;
    std::vector<Member> methods;
};

const std::vector<AccessibilityInterface>& readerInterfaces()
{
    static const std::vector<AccessibilityInterface> interfaces {
        { "org.a11y.atspi.Accessible",
            { { "Name", "s" }, { "Description", "s" }, { "Parent", "(so)" }, { "ChildCount", "i" },
                { "Locale", "s" }, { "AccessibleId", "s" }, { "HelpText", "s" } },
            { { "GetChildAtIndex", "i" }, { "GetChildren", "" }, { "GetIndexInParent", "" },
                { "GetRelationSet", "" }, { "GetRole", "" }, { "GetRoleName", "" },
                { "GetLocalizedRoleName", "" }, { "GetState", "" }, { "GetAttributes", "" },
                { "GetApplication", "" }, { "GetInterfaces", "" } } },
        { "org.a11y.atspi.Action", { { "NActions", "i" } },
            { { "GetDescription", "i" }, { "GetName", "i" }, { "GetLocalizedName", "i" },
                { "GetKeyBinding", "i" }, { "GetActions", "" }, { "DoAction", "i" } } },
        { "org.a11y.atspi.Component", {},
            { { "Contains", "iiu" }, { "GetAccessibleAtPoint", "iiu" }, { "GetExtents", "u" },
                { "GetPosition", "u" }, { "GetSize", "" }, { "GetLayer", "" }, { "GetMDIZOrder", "" },
                { "GrabFocus", "" }, { "GetAlpha", "" }, { "SetExtents", "iiiiu" }, { "SetPosition", "iiu" },
                { "SetSize", "ii" }, { "ScrollTo", "u" }, { "ScrollToPoint", "uii" } } },
        { "org.a11y.atspi.Text", { { "CharacterCount", "i" }, { "CaretOffset", "i" } },
            { { "GetStringAtOffset", "iu" }, { "GetText", "ii" }, { "SetCaretOffset", "i" },
                { "GetTextBeforeOffset", "iu" }, { "GetTextAtOffset", "iu" }, { "GetTextAfterOffset", "iu" },
                { "GetCharacterAtOffset", "i" }, { "GetAttributeValue", "is" }, { "GetAttributes", "i" },
                { "GetDefaultAttributes", "" }, { "GetCharacterExtents", "iu" },
                { "GetOffsetAtPoint", "iiu" }, { "GetNSelections", "" }, { "GetSelection", "i" },
                { "AddSelection", "ii" }, { "RemoveSelection", "i" }, { "SetSelection", "iii" },
                { "GetRangeExtents", "iiu" }, { "GetBoundedRanges", "iiiiuuu" }, { "GetAttributeRun", "ib" },
                { "GetDefaultAttributeSet", "" }, { "ScrollSubstringTo", "iiu" },
                { "ScrollSubstringToPoint", "iiuii" } } },
        { "org.a11y.atspi.EditableText", {},
            { { "SetTextContents", "s" }, { "InsertText", "isi" }, { "CopyText", "ii" }, { "CutText", "ii" },
                { "DeleteText", "ii" }, { "PasteText", "i" } } },
        { "org.a11y.atspi.Table",
            { { "NRows", "i" }, { "NColumns", "i" }, { "Caption", "(so)" }, { "Summary", "(so)" },
                { "NSelectedRows", "i" }, { "NSelectedColumns", "i" } },
            { { "GetAccessibleAt", "ii" }, { "GetIndexAt", "ii" }, { "GetRowAtIndex", "i" },
                { "GetColumnAtIndex", "i" }, { "GetRowDescription", "i" }, { "GetColumnDescription", "i" },
                { "GetRowExtentAt", "ii" }, { "GetColumnExtentAt", "ii" }, { "GetRowHeader", "i" },
                { "GetColumnHeader", "i" }, { "GetSelectedRows", "" }, { "GetSelectedColumns", "" },
                { "IsRowSelected", "i" }, { "IsColumnSelected", "i" }, { "IsSelected", "ii" },
                { "AddRowSelection", "i" }, { "AddColumnSelection", "i" }, { "RemoveRowSelection", "i" },
                { "RemoveColumnSelection", "i" }, { "GetRowColumnExtentsAtIndex", "i" } } },
        { "org.a11y.atspi.TableCell",
            { { "ColumnSpan", "i" }, { "Position", "(ii)" }, { "RowSpan", "i" }, { "Table", "(so)" } },
            { { "GetRowColumnSpan", "" }, { "GetColumnHeaderCells", "" }, { "GetRowHeaderCells", "" } } },
        { "org.a11y.atspi.Selection", { { "NSelectedChildren", "i" } },
            { { "GetSelectedChild", "i" }, { "SelectChild", "i" }, { "DeselectSelectedChild", "i" },
                { "IsChildSelected", "i" }, { "SelectAll", "" }, { "ClearSelection", "" },
                { "DeselectChild", "i" } } },
        { "org.a11y.atspi.Value",
            { { "MinimumValue", "d" }, { "MaximumValue", "d" }, { "MinimumIncrement", "d" },
                { "CurrentValue", "d" }, { "Text", "s" } },
            {} },
        { "org.a11y.atspi.Image", { { "ImageDescription", "s" }, { "ImageLocale", "s" } },
            { { "GetImageExtents", "u" }, { "GetImagePosition", "u" }, { "GetImageSize", "" } } },
        { "org.a11y.atspi.Hypertext", {},
            { { "GetNLinks", "" }, { "GetLink", "i" }, { "GetLinkIndex", "i" } } },
        { "org.a11y.atspi.Hyperlink", { { "NAnchors", "n" }, { "StartIndex", "i" }, { "EndIndex", "i" } },
            { { "GetObject", "i" }, { "GetURI", "i" }, { "IsValid", "" } } },
        { "org.a11y.atspi.Document", { { "CurrentPageNumber", "i" }, { "PageCount", "i" } },
            { { "GetLocale", "" }, { "GetAttributeValue", "s" }, { "GetAttributes", "" } } },
        { "org.a11y.atspi.Collection", {},
            { { "GetMatches", "(aiia{ss}iaiiasib)uib" }, { "GetMatchesTo", "o(aiia{ss}iaiiasib)uubib" },
                { "GetMatchesFrom", "o(aiia{ss}iaiiasib)uuib" }, { "GetActiveDescendant", "" } } },
    };
    return interfaces;
}

// The ways a reader may fill in a call: plausible values, values out of every range, and a plausible
// first value (a place in a text, a row) followed by values out of range.
enum class Filling { plausible, negative, largest, smallest, plausibleThenNegative, plausibleThenLargest };
constexpr Filling fillings[] = { Filling::plausible, Filling::negative, Filling::largest, Filling::smallest,
    Filling::plausibleThenNegative, Filling::plausibleThenLargest };

// The complete types of a signature, one after the other: "i(so)u" gives "i", "(so)", "u".
QStringList completeTypes(const QString& signature)
{
    QStringList types;
    QString current;
    int depth = 0;
    for (const QChar type : signature) {
        current += type;
        if (type == u'(' || type == u'{') {
            ++depth;
        } else if (type == u')' || type == u'}') {
            --depth;
        }
        if (depth == 0 && type != u'a') {
            types << current;
            current.clear();
        }
    }
    return types;
}

QDBusArgument objectReference(Filling filling)
{
    QDBusArgument reference;
    reference.beginStructure();
    reference << (filling == Filling::plausible ? QString() : QStringLiteral(":1.999999"))
              << QDBusObjectPath(filling == Filling::plausible
                         ? QStringLiteral("/org/a11y/atspi/accessible/root")
                         : QStringLiteral("/org/a11y/atspi/null"));
    reference.endStructure();
    return reference;
}

QVariant valueOf(const QString& type, Filling filling)
{
    const auto pick = [filling](auto plausible, auto negative, auto largest, auto smallest) {
        switch (filling) {
        case Filling::plausible:
            return QVariant::fromValue(plausible);
        case Filling::negative:
        case Filling::plausibleThenNegative:
            return QVariant::fromValue(negative);
        case Filling::largest:
        case Filling::plausibleThenLargest:
            return QVariant::fromValue(largest);
        case Filling::smallest:
            return QVariant::fromValue(smallest);
        }
        return QVariant();
    };
    if (type == u"i") {
        return pick(0, -1, std::numeric_limits<int>::max(), std::numeric_limits<int>::min());
    }
    if (type == u"u") {
        return pick(0u, std::numeric_limits<uint>::max(), 1000u, 0x80000000u);
    }
    if (type == u"n") {
        return pick(
            short(0), short(-1), std::numeric_limits<short>::max(), std::numeric_limits<short>::min());
    }
    if (type == u"d") {
        return pick(0.0, -1.0, std::numeric_limits<double>::infinity(), std::nan(""));
    }
    if (type == u"b") {
        return pick(false, true, true, false);
    }
    if (type == u"s") {
        return pick(QString(), QStringLiteral("x"), QString(4096, u'\u00e9'), QStringLiteral("\u0000"));
    }
    if (type == u"o") {
        return pick(QDBusObjectPath(QStringLiteral("/org/a11y/atspi/accessible/root")),
            QDBusObjectPath(QStringLiteral("/org/a11y/atspi/null")), QDBusObjectPath(QStringLiteral("/")),
            QDBusObjectPath(QStringLiteral("/org/a11y/atspi/accessible/4294967295")));
    }
    if (type == u"v") {
        return pick(QDBusVariant(0.0), QDBusVariant(-1), QDBusVariant(std::numeric_limits<double>::max()),
            QDBusVariant(QStringLiteral("x")));
    }
    if (type == u"(so)") {
        return QVariant::fromValue(objectReference(filling));
    }
    if (type == u"(ii)") {
        const int value = valueOf(QStringLiteral("i"), filling).toInt();
        QDBusArgument point;
        point.beginStructure();
        point << value << value;
        point.endStructure();
        return QVariant::fromValue(point);
    }
    if (type == u"(aiia{ss}iaiiasib)") {
        // A match rule: states, attributes, roles and interfaces with how each is matched.
        const int match = valueOf(QStringLiteral("i"), filling).toInt();
        const QList<int> bits = filling == Filling::plausible ? QList<int> {} : QList<int> { -1, -1, -1, -1 };
        QDBusArgument rule;
        rule.beginStructure();
        rule << bits << match << QMap<QString, QString> { { QStringLiteral("x"), QString() } } << match
             << bits << match << QStringList { QStringLiteral("Text"), QStringLiteral("x") } << match
             << false;
        rule.endStructure();
        return QVariant::fromValue(rule);
    }
    ADD_FAILURE() << "no values for the type " << type.toStdString();
    return {};
}

QVariantList argumentsOf(const QString& signature, Filling filling)
{
    QVariantList arguments;
    for (const QString& type : completeTypes(signature)) {
        Filling each = filling;
        if (filling == Filling::plausibleThenNegative || filling == Filling::plausibleThenLargest) {
            each = arguments.isEmpty()                      ? Filling::plausible
                : filling == Filling::plausibleThenNegative ? Filling::negative
                                                            : Filling::largest;
        }
        arguments << valueOf(type, each);
    }
    return arguments;
}

void collectObjects(QAccessibleInterface* object, std::vector<QAccessibleInterface*>& objects,
    std::set<QAccessible::Id>& seen)
{
    if (!object || !object->isValid() || !seen.insert(QAccessible::uniqueId(object)).second) {
        return;
    }
    objects.push_back(object);
    for (int index = 0; index < object->childCount(); ++index) {
        collectObjects(object->child(index), objects, seen);
    }
}

class ScreenReaderQuestionsTest : public MenuBarTest {
protected:
    void SetUp() override
    {
        MenuBarTest::SetUp();
        kiruvo::SettingsEnvironment environment;
        environment.sessionController = &controller();
        kiruvo::SettingsWindowController::setEnvironment(environment);
        kiruvo::HistoryWindowController::setSessionController(&controller());
        delivery = std::make_unique<kiruvo::ReminderDelivery>(controller());
        kiruvo::AppMain::installSettingsWindow(delivery.get());
    }

    void TearDown() override
    {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            window->close();
        }
        processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        kiruvo::HistoryWindowController::setSessionController(nullptr);
        zk::SettingsWindowOpener::setOpener({});
        kiruvo::SettingsWindowController::setEnvironment({});
        kiruvo::WelcomeWindowController::setEnvironment({});
        delivery.reset();
        MenuBarTest::TearDown();
    }

    std::unique_ptr<kiruvo::ReminderDelivery> delivery;
};

// What a reader is told: a reply, or an error that names what it did not find or take. A call never
// answered, or answered that the application has gone, is what this test is for.
bool isAnswered(const QDBusMessage& answer)
{
    if (answer.type() == QDBusMessage::ReplyMessage) {
        return true;
    }
    static const std::set<QString> unanswered { QStringLiteral("org.freedesktop.DBus.Error.NoReply"),
        QStringLiteral("org.freedesktop.DBus.Error.Timeout"),
        QStringLiteral("org.freedesktop.DBus.Error.Disconnected"),
        QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") };
    return answer.type() == QDBusMessage::ErrorMessage && !unanswered.contains(answer.errorName());
}

// Adds what an object's answer to Introspect names to the interfaces asked.
void addDescribed(const QString& introspection, std::vector<AccessibilityInterface>& interfaces)
{
    QXmlStreamReader description(introspection);
    AccessibilityInterface* interface = nullptr;
    Member* method = nullptr;
    while (!description.atEnd()) {
        description.readNext();
        if (!description.isStartElement()) {
            continue;
        }
        const QString name = description.attributes().value(QLatin1String("name")).toString();
        const QString type = description.attributes().value(QLatin1String("type")).toString();
        if (description.name() == QLatin1String("interface")) {
            method = nullptr;
            interface = nullptr;
            if (name.startsWith(QLatin1String("org.freedesktop.DBus."))) {
                continue;
            }
            auto known = std::find_if(interfaces.begin(), interfaces.end(),
                [&name](const AccessibilityInterface& candidate) { return candidate.name == name; });
            if (known == interfaces.end()) {
                interfaces.push_back({ name, {}, {} });
                known = std::prev(interfaces.end());
            }
            interface = &*known;
        } else if (interface && description.name() == QLatin1String("method")) {
            auto known = std::find_if(interface->methods.begin(), interface->methods.end(),
                [&name](const Member& candidate) { return candidate.name == name; });
            // One described afresh is asked with the arguments described.
            method = known == interface->methods.end() ? &interface->methods.emplace_back(Member { name, {} })
                                                       : nullptr;
        } else if (interface && description.name() == QLatin1String("property")) {
            method = nullptr;
            if (std::none_of(interface->properties.begin(), interface->properties.end(),
                    [&name](const Member& candidate) { return candidate.name == name; })) {
                interface->properties.push_back({ name, type });
            }
        } else if (method && description.name() == QLatin1String("arg")
            && description.attributes().value(QLatin1String("direction")) != QLatin1String("out")) {
            method->types += type;
        }
    }
}

// Every object of every window asked every question a reader may ask, each property of each of
// the desktop's accessibility interfaces and each method, whether the object has the interface or
// not; of the interfaces it has, each method also with values out of every range and without its
// arguments, and each property set to such values. Each question is answered, and the application
// lives on (the child test program would end by a crash otherwise).
TEST_F(ScreenReaderQuestionsTest, EveryObjectOfEveryWindowAnswersEveryQuestionOfAReader)
{
    if (!ScreenReaderSession::isChild()) {
        ScreenReaderSession::runCurrentTest();
        return;
    }
    controller().setAllSessions({ session(oslo(2024, 5, 15, 10), oslo(2024, 5, 15, 11)),
        session(oslo(2024, 5, 14, 9), oslo(2024, 5, 14, 9, 45)) });
    ScreenReaderSession reader;
    ASSERT_TRUE(reader.isConnected());
    const QString properties = QStringLiteral("org.freedesktop.DBus.Properties");
    const QString accessible = QStringLiteral("org.a11y.atspi.Accessible");

    std::map<std::string, int> answers;
    std::size_t asked = 0;
    std::set<std::pair<QAccessible::Id, bool>> askedBefore;
    const auto askEveryObject = [&](const std::string& shown) {
        SCOPED_TRACE(shown);
        processEvents();
        std::vector<QAccessibleInterface*> objects;
        std::set<QAccessible::Id> seen;
        collectObjects(QAccessible::queryAccessibleInterface(qApp), objects, seen);
        // Each object once while hidden and once while shown (a pane of Settings, say).
        std::vector<QString> paths;
        if (asked == 0) {
            paths.push_back(QStringLiteral("/org/a11y/atspi/accessible/root"));
        }
        for (QAccessibleInterface* object : objects) {
            if (askedBefore.insert({ QAccessible::uniqueId(object), object->state().invisible }).second) {
                paths.push_back(ScreenReaderSession::pathOf(object));
            }
        }
        // First what each object says of itself, as a reader reads it.
        std::vector<QDBusMessage> selves;
        for (const QString& path : paths) {
            selves.push_back(reader.question(
                path, QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect")));
            selves.push_back(reader.question(path, accessible, QStringLiteral("GetInterfaces")));
        }
        const std::vector<QDBusMessage> said = reader.askAll(selves);
        std::vector<AccessibilityInterface> interfaces = readerInterfaces();
        for (std::size_t index = 0; index < said.size(); index += 2) {
            addDescribed(said[index].arguments().value(0).toString(), interfaces);
        }
        // A name no interface has, and none at all.
        interfaces.push_back(
            { QStringLiteral("org.example.Nothing"), { { "Name", "s" } }, { { "GetName", "" } } });
        std::vector<QDBusMessage> calls;
        const auto ask = [&](const QString& path, const QString& interface, const QString& method,
                             const QVariantList& arguments = {}) {
            calls.push_back(reader.question(path, interface, method, arguments));
        };
        for (std::size_t object = 0; object < paths.size(); ++object) {
            const QString& path = paths[object];
            const QStringList has = said[2 * object + 1].arguments().value(0).toStringList();
            ask(path, QString(), QStringLiteral("GetName"));
            for (const AccessibilityInterface& interface : interfaces) {
                const bool itHas = has.contains(interface.name);
                // Asked of an object without the interface, a question is refused whatever its values.
                const auto fillingsOf = [itHas](const QString& method, qsizetype values) {
                    std::vector<Filling> chosen;
                    for (const Filling filling : fillings) {
                        const bool mixed = filling == Filling::plausibleThenNegative
                            || filling == Filling::plausibleThenLargest;
                        // Acting on every object (a menu's Quit among them) is no question.
                        const bool acts = method == u"DoAction" && filling == Filling::plausible;
                        if ((itHas || chosen.empty()) && !acts && (!mixed || values > 1)
                            && (values > 0 || chosen.empty())) {
                            chosen.push_back(filling);
                        }
                    }
                    return chosen;
                };
                ask(path, properties, QStringLiteral("GetAll"), { interface.name });
                for (const Member& property : interface.properties) {
                    ask(path, properties, QStringLiteral("Get"), { interface.name, property.name });
                    if (!itHas) {
                        continue;
                    }
                    for (const Filling filling : fillingsOf(property.name, 1)) {
                        ask(path, properties, QStringLiteral("Set"),
                            { interface.name, property.name,
                                QVariant::fromValue(QDBusVariant(valueOf(property.types, filling))) });
                    }
                }
                for (const Member& method : interface.methods) {
                    for (const Filling filling :
                        fillingsOf(method.name, completeTypes(method.types).size())) {
                        ask(path, interface.name, method.name, argumentsOf(method.types, filling));
                    }
                    if (!itHas) {
                        continue;
                    }
                    if (!method.types.isEmpty()) {
                        ask(path, interface.name, method.name);
                    }
                    // A method's name is no property: asked as one all the same.
                    ask(path, properties, QStringLiteral("Get"), { interface.name, method.name.mid(3) });
                    ask(path, properties, QStringLiteral("Set"),
                        { interface.name, method.name.mid(3), QVariant::fromValue(QDBusVariant(0)) });
                }
            }
        }
        const std::vector<QDBusMessage> replies = reader.askAll(calls);
        for (std::size_t index = 0; index < calls.size(); ++index) {
            const QDBusMessage& reply = replies[index];
            ASSERT_TRUE(isAnswered(reply))
                << calls[index].path().toStdString() << " " << calls[index].interface().toStdString() << "."
                << calls[index].member().toStdString() << " " << reply.errorName().toStdString();
            ++answers[reply.type() == QDBusMessage::ReplyMessage ? "reply" : reply.errorName().toStdString()];
        }
        asked += calls.size();
    };

    kiruvo::HistoryWindowController::show();
    SingletonWindowController::show<kiruvo::WelcomeWindowController>(false);
    zk::DebugWindowController::show();
    kiruvo::SettingsWindowController::show(SettingsScreen::Tab::general);
    menuBar().showMenu();
    askEveryObject("History, Welcome, the debug window, Settings and the menu");
    for (const auto tab : { SettingsScreen::Tab::menuBar, SettingsScreen::Tab::notifications,
             SettingsScreen::Tab::shortcuts }) {
        kiruvo::SettingsWindowController::show(tab);
        askEveryObject("Settings, pane " + std::to_string(static_cast<int>(tab)));
    }

    // The question of a reader that ended Kiruvo, a table's property asked of one of its cells, is
    // refused; the table's own is answered, and so is the application's name of its toolkit.
    auto& history = SingletonWindowController::shared<kiruvo::HistoryWindowController>();
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&history.screen().listView());
    ASSERT_TRUE(list && list->tableInterface() && list->childCount() > 0);
    const QDBusMessage cellsRows = reader.call(list->child(0), properties, QStringLiteral("Get"),
        { QStringLiteral("org.a11y.atspi.Table"), QStringLiteral("NRows") });
    EXPECT_EQ(cellsRows.errorName(), QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"));
    EXPECT_EQ(reader.property(list, QStringLiteral("org.a11y.atspi.Table"), QStringLiteral("NRows")).toInt(),
        list->tableInterface()->rowCount());
    const QDBusMessage toolkit
        = reader.call(QStringLiteral("/org/a11y/atspi/accessible/root"), properties, QStringLiteral("Get"),
            { QStringLiteral("org.a11y.atspi.Application"), QStringLiteral("ToolkitName") });
    EXPECT_EQ(toolkit.arguments().value(0).value<QDBusVariant>().variant().toString(), QStringLiteral("Qt"));
    EXPECT_GT(answers["reply"], 0);
}

} // namespace
