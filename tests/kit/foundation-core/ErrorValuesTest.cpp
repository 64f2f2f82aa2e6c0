#include "kit/foundation/core/ErrorValues.h"
#include "kit/foundation/core/ErrorRecoveryAttempter.h"
#include "kit/foundation/core/FatalError.h"
#include "kit/foundation/core/GeneralError.h"

#include "platform/Logger.h"

#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <memory>
#include <variant>

using namespace zk;

TEST(ErrorValuesTest, CancellationIsRecognised)
{
    EXPECT_TRUE(CancellationError().isCancelled());
    EXPECT_TRUE(PlatformError("NSURLErrorDomain", -999).isCancelled());
    EXPECT_TRUE(PlatformError("NSCocoaErrorDomain", 3072).isCancelled());
    EXPECT_TRUE(PlatformError("SKErrorDomain", 2).isCancelled());
    EXPECT_FALSE(PlatformError("SKErrorDomain", 3).isCancelled());
    EXPECT_FALSE(PlatformError("OtherDomain", 2).isCancelled());
    EXPECT_FALSE(GeneralError("Nope").isCancelled());
}

TEST(ErrorValuesTest, CancelledResultIsAFailureThatIsACancellation)
{
    using Result = std::variant<int, ErrorPtr>;
    EXPECT_FALSE(isCancelled(Result(3)));
    EXPECT_TRUE(isCancelled(Result(std::make_shared<CancellationError>())));
    EXPECT_FALSE(isCancelled(Result(std::make_shared<GeneralError>("Nope"))));
    EXPECT_FALSE(isCancelled(Result(ErrorPtr())));
}

TEST(ErrorValuesTest, UnderlyingErrorsAreSearchedOneLevelDeep)
{
    auto deep = std::make_shared<PlatformError>("Deep", 3);
    auto middle = std::make_shared<PlatformError>("Middle", 2,
        ErrorUserInfo { { ErrorKeys::multipleUnderlyingErrors, std::vector<ErrorPtr> { deep } } });
    const PlatformError top("Top", 1,
        ErrorUserInfo { { ErrorKeys::multipleUnderlyingErrors, std::vector<ErrorPtr> { middle } } });
    EXPECT_TRUE(top.hasUnderlyingError("Top", 1));
    EXPECT_TRUE(top.hasUnderlyingError("Middle", 2));
    EXPECT_FALSE(top.hasUnderlyingError("Deep", 3));
    EXPECT_FALSE(top.isError("top", 1)); // case-sensitive
}

TEST(ErrorValuesTest, MakeErrorUserInfoAddsOnlyWhatIsGiven)
{
    const ErrorUserInfo given { { "key", std::string("value") } };
    EXPECT_EQ(makeErrorUserInfo(given, {}, {}, std::nullopt).size(), 1u);

    int ran = -1;
    const ErrorUserInfo info = makeErrorUserInfo(given,
        { { "First",
              [&] {
                  ran = 0;
                  return true;
              } },
            { "Second",
                [&] {
                    ran = 1;
                    return false;
                } } },
        {}, std::nullopt);
    ASSERT_EQ(info.size(), 3u);
    EXPECT_EQ(std::get<std::vector<std::string>>(info.at(ErrorKeys::localizedRecoveryOptions)),
        (std::vector<std::string> { "First", "Second" }));
    const auto& attempter
        = std::get<std::shared_ptr<ErrorRecoveryAttempter>>(info.at(ErrorKeys::recoveryAttempter));
    EXPECT_FALSE(attempter->attemptRecovery(1));
    EXPECT_EQ(ran, 1);
    EXPECT_TRUE(attempter->attemptRecovery(0));
    EXPECT_EQ(ran, 0);

    const ErrorUserInfo withUrl = makeErrorUserInfo(
        {}, {}, { std::make_shared<PlatformError>("D", 1) }, std::string("file:///tmp/x"));
    EXPECT_EQ(std::get<std::string>(withUrl.at(ErrorKeys::url)), "file:///tmp/x");
    EXPECT_EQ(std::get<std::vector<ErrorPtr>>(withUrl.at(ErrorKeys::multipleUnderlyingErrors)).size(), 1u);
}

TEST(ErrorValuesTest, RecoveryOutsideTheOptionsRunsNothing)
{
    int calls = 0;
    ErrorRecoveryAttempter attempter(std::vector<ErrorRecoveryAttempter::Option> { { "Retry", [&] {
                                                                                        ++calls;
                                                                                        return true;
                                                                                    } } });
    EXPECT_FALSE(attempter.attemptRecovery(-1));
    EXPECT_FALSE(attempter.attemptRecovery(1));
    EXPECT_EQ(calls, 0);
    std::optional<bool> told;
    attempter.attemptRecovery(0, [&](bool recovered) { told = recovered; });
    EXPECT_EQ(told, true);
    attempter.attemptRecovery(5, [&](bool recovered) { told = recovered; });
    EXPECT_EQ(told, false);
    EXPECT_NO_THROW(attempter.attemptRecovery(0, nullptr));
    EXPECT_FALSE(ErrorRecoveryAttempter(std::vector<ErrorRecoveryAttempter::Option> {}).attemptRecovery(0));
}

TEST(ErrorValuesTest, GeneralErrorBridgesItsTexts)
{
    const GeneralError error(GeneralError::Parts { .errorDescription = "Could not save",
        .recoverySuggestion = "Try again",
        .userInfo = { { "extra", std::int64_t { 5 } } },
        .helpAnchor = "saving" });
    EXPECT_EQ(error.domain(), GeneralError::errorDomain);
    EXPECT_EQ(error.code(), 1);
    EXPECT_FALSE(error.isPlatformError());
    EXPECT_EQ(error.localizedDescription(), "Could not save");
    EXPECT_EQ(error.recoverySuggestion(), "Try again");
    EXPECT_STREQ(error.what(), "Could not save");
    const ErrorUserInfo info = error.userInfo();
    EXPECT_EQ(std::get<std::string>(info.at(ErrorKeys::helpAnchor)), "saving");
    EXPECT_EQ(std::get<std::int64_t>(info.at("extra")), 5);
    EXPECT_EQ(error.errorUserInfo().size(), 1u);
    EXPECT_TRUE(
        error.debugDescription().starts_with("GeneralError(errorDescription: Optional(\"Could not save\")"));
    EXPECT_EQ(GeneralError("a").domain(), GeneralError("b").domain());
}

TEST(ErrorValuesTest, CombinedMessage)
{
    EXPECT_EQ(GeneralError("Could not save", "Try again").combinedMessage(), "Could not save. Try again.");
    EXPECT_EQ(GeneralError("Saved.").combinedMessage(), "Saved.");
    EXPECT_EQ(GeneralError("", "Try again").combinedMessage(), ". Try again.");
    EXPECT_EQ(GeneralError("  Failed?\n", "\tRetry!  ").combinedMessage(), "Failed?. Retry!.");
    EXPECT_EQ(GeneralError("Done.", "Again.").combinedMessage(), "Done. Again.");
}

TEST(ErrorValuesTest, AppendingUserInfoOverridesAndKeeps)
{
    const PlatformError error("D", 4, { { "a", std::string("1") }, { "b", std::string("2") } });
    const PlatformError appended = error.appendingUserInfo({ { "b", std::string("3") }, { "c", true } });
    EXPECT_EQ(appended.domain(), "D");
    EXPECT_EQ(appended.code(), 4);
    const auto info = appended.userInfo();
    EXPECT_EQ(std::get<std::string>(info.at("a")), "1");
    EXPECT_EQ(std::get<std::string>(info.at("b")), "3");
    EXPECT_TRUE(std::get<bool>(info.at("c")));
    EXPECT_EQ(std::get<std::string>(error.userInfo().at("b")), "2");
}

TEST(ErrorValuesTest, FnvHashAndStableCode)
{
    EXPECT_EQ(fnv1aHash(""), static_cast<std::int64_t>(0xcbf29ce484222325ULL));
    EXPECT_EQ(fnv1aHash("a"), static_cast<std::int64_t>(0xaf63dc4c8601ec8cULL));
    EXPECT_EQ(fnv1aHash("foobar"), static_cast<std::int64_t>(0x85944171f73967e8ULL));
    EXPECT_EQ(stableErrorCode("The file \u201Cone.txt\u201D is missing"),
        stableErrorCode("The file \u201Canother name.csv\u201D is missing"));
    EXPECT_EQ(stableErrorCode("The file \u201Cone.txt\u201D is missing"), fnv1aHash("The file  is missing"));
    EXPECT_NE(stableErrorCode("Cannot read"), stableErrorCode("Cannot write"));
    // Shortest match: text between two quoted parts stays.
    EXPECT_EQ(stableErrorCode("\u201Ca\u201D and \u201Cb\u201D"), fnv1aHash(" and "));
    // A quote pair does not span lines.
    EXPECT_EQ(stableErrorCode("\u201Ca\nb\u201D"), fnv1aHash("\u201Ca\nb\u201D"));
    // Each text gets its own code, whichever came first.
    EXPECT_NE(stableErrorCode("first"), stableErrorCode("second"));
}

TEST(ErrorValuesTest, ExceptionsBecomeErrors)
{
    const ErrorPtr wrapped = ExceptionError::from(std::make_exception_ptr(std::runtime_error("disk full")));
    ASSERT_TRUE(wrapped);
    EXPECT_EQ(wrapped->localizedDescription(), "disk full");
    EXPECT_EQ(wrapped->debugDescription(), "std::runtime_error(\"disk full\")");
    EXPECT_EQ(wrapped->code(), 1);

    const ErrorPtr own = ExceptionError::from(std::make_exception_ptr(GeneralError("kept")));
    ASSERT_TRUE(own);
    EXPECT_EQ(own->domain(), GeneralError::errorDomain);
    EXPECT_EQ(own->localizedDescription(), "kept");
    EXPECT_FALSE(ExceptionError::from(nullptr));
}

TEST(FatalErrorTest, MessageAndNamedReasons)
{
    EXPECT_EQ(fatalErrorMessage(FatalReason::shouldNotBeCalled(), "init(coder:)"),
        "init(coder:): Should never be called.");
    EXPECT_EQ(FatalReason::notYetImplemented().description(), "Not yet implemented.");
    EXPECT_EQ(FatalReason::unreachable().reason, "Should never be reached during execution.");
    EXPECT_EQ(FatalReason::mustBeOverridden().reason, "Must be overridden in subtype.");
    EXPECT_EQ(&FatalReason::unreachable(), &FatalReason::unreachable());
    EXPECT_EQ(FatalReason("custom").reason, "custom");
}

TEST(FatalErrorDeathTest, StopsWithTheFatalErrorMessage)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(fatalError(FatalReason::notYetImplemented()), "Fatal error: .*: Not yet implemented\\.");
}

TEST(DebugLogTest, RendersValuesAndLocation)
{
    platform::DebugLog::clear();
    platform::DebugLog::setEnabled(true);
    const int line = __LINE__ + 1;
    debugLog("Session", 5, 2.5, true, std::string("a\"b"));
    platform::DebugLog::setEnabled(false);
    const auto entries = platform::DebugLog::entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].starts_with("\"Session\" 5 2.5 true \"a\\\"b\"\n\t["));
    EXPECT_NE(entries[0].find(" in ErrorValuesTest:" + std::to_string(line) + "]\n"), std::string::npos);
    platform::DebugLog::clear();
}

TEST(DebugLogTest, DisabledDebugModeKeepsNothing)
{
    platform::DebugLog::clear();
    platform::DebugLog::setEnabled(false);
    platform::LogCapture log;
    debugLog("quiet");
    EXPECT_TRUE(platform::DebugLog::entries().empty());
    // The system log still gets the line.
    EXPECT_EQ(log.countContaining("\"quiet\""), 1);
}

TEST(DebugLogTest, LogTypeSetsTheLevelAndOrdinaryLinesStayOut)
{
    platform::DebugLog::clear();
    platform::DebugLog::setEnabled(true);
    testing::internal::CaptureStderr();
    debugLog(platform::LogLevel::Error, "Store", 3);
    debugLog("Default");
    platform::log(platform::LogLevel::Warning, platform::lcStore(), "Ordinary line");
    const std::string written = testing::internal::GetCapturedStderr();
    const auto entries = platform::DebugLog::entries();
    platform::DebugLog::setEnabled(false);
    platform::DebugLog::clear();
    EXPECT_TRUE(written.starts_with("kiruvo.diagnostics error: \"Store\" 3\n"));
    EXPECT_NE(written.find("kiruvo.diagnostics info: \"Default\"\n"), std::string::npos);
    EXPECT_NE(written.find("Ordinary line"), std::string::npos);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(entries[0].starts_with("\"Store\" 3\n"));
    EXPECT_TRUE(entries[1].starts_with("\"Default\"\n"));
}

TEST(DebugLogTest, TheDebugWindowKeepsEntriesThatLoggingRulesKeepOffStandardError)
{
    platform::DebugLog::clear();
    platform::DebugLog::setEnabled(true);
    QLoggingCategory::setFilterRules(QStringLiteral("kiruvo.diagnostics.info=false"));
    platform::LogCapture log;
    testing::internal::CaptureStderr();
    debugLog("Session new");
    const std::string written = testing::internal::GetCapturedStderr();
    QLoggingCategory::setFilterRules(QString());
    const auto entries = platform::DebugLog::entries();
    platform::DebugLog::setEnabled(false);
    platform::DebugLog::clear();
    EXPECT_EQ(written, "");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].starts_with("\"Session new\"\n\t["));
    EXPECT_EQ(log.countContaining("\"Session new\""), 1);
}

TEST(DebugLogTest, FileNamesLoseOnlySourceExtensions)
{
    EXPECT_EQ(debugLogFileName("app/SessionController.cpp"), "SessionController");
    EXPECT_EQ(debugLogFileName("App/SessionController.swift"), "SessionController");
    EXPECT_EQ(debugLogFileName("kit/README"), "README");
    EXPECT_EQ(debugLogFileName("notes.txt"), "notes.txt");
    EXPECT_EQ(detail::debugValue(600.0), "600.0");
    EXPECT_EQ(detail::debugValue(std::optional<int>()), "nil");
    EXPECT_EQ(detail::debugValue(std::optional<int>(3)), "Optional(3)");
}
