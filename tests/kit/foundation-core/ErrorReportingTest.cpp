#include "kit/foundation/core/GeneralError.h"
#include "kit/foundation/core/ReportError.h"

#include "platform/ErrorReporter.h"
#include "platform/store/JsonWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;
using namespace zk;

namespace {

// An error of the program's own enumeration type: case index 2, case name with payload.
EnumCaseError negativeDuration(double seconds)
{
    return EnumCaseError("app.SessionError", 2, "negativeDuration", std::to_string(seconds),
        "The session has a negative duration.");
}

std::string text(const ErrorUserInfo& info, const std::string& key)
{
    auto found = info.find(key);
    return found == info.end() ? "<absent>" : errorInfoText(found->second);
}

const ErrorUserInfo callSite { { "file", std::string("app/Session.cpp") }, { "line", std::int64_t { 7 } } };

// Captures into a temporary state folder and reads the lines back.
class ReportedErrors : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "kiruvo-report-XXXXXX").string();
        m_dir = ::mkdtemp(pattern.data());
        m_reporter = std::make_unique<platform::ErrorReporter>(m_dir);
        platform::ErrorReporter::setShared(m_reporter.get());
    }
    void TearDown() override
    {
        platform::ErrorReporter::setShared(nullptr);
        ErrorReporting::setIgnoredErrors({});
        ErrorReporting::setAcceptPredicate(nullptr);
        ErrorReporting::customMetadata().modify([](auto& storage) { storage.clear(); });
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    std::vector<platform::JsonValue> lines() const
    {
        std::vector<platform::JsonValue> result;
        std::ifstream in(m_reporter->reportsPath());
        std::string line;
        while (std::getline(in, line)) {
            result.push_back(platform::JsonReader::parse(line).value());
        }
        return result;
    }

private:
    fs::path m_dir;
    std::unique_ptr<platform::ErrorReporter> m_reporter;
};

} // namespace

TEST(NormalizedErrorTest, PlatformErrorKeepsDomainAndCode)
{
    const PlatformError error("NSCocoaErrorDomain", 260,
        { { ErrorKeys::localizedDescription,
            std::string("The file \u201Cx\u201D couldn\u2019t be opened.") } });
    const PlatformError normalized = normalizedError(error, callSite);
    EXPECT_EQ(normalized.domain(), "NSCocoaErrorDomain");
    EXPECT_EQ(normalized.code(), 260);
    const auto info = normalized.userInfo();
    EXPECT_EQ(text(info, "file"), "app/Session.cpp");
    EXPECT_EQ(text(info, "line"), "7");
    EXPECT_EQ(text(info, "codeString"), "<absent>");
    EXPECT_EQ(text(info, ErrorKeys::localizedDescription), "The file \u201Cx\u201D couldn\u2019t be opened.");
}

TEST(NormalizedErrorTest, EnumCaseGetsItsNameAndIndex)
{
    const PlatformError normalized = normalizedError(negativeDuration(-3), callSite);
    EXPECT_EQ(normalized.domain(), "app.SessionError.negativeDuration");
    EXPECT_EQ(normalized.code(), 2);
    const auto info = normalized.userInfo();
    EXPECT_EQ(text(info, "codeString"), "negativeDuration");
    EXPECT_EQ(text(info, ErrorKeys::localizedDescription), "The session has a negative duration.");
    // The payload does not split one kind of failure into many.
    EXPECT_EQ(normalizedError(negativeDuration(-99), callSite).domain(), normalized.domain());
}

TEST(NormalizedErrorTest, StructureErrorsGetTheHashOfTheirName)
{
    const PlatformError first = normalizedError(GeneralError("Could not export \u201Ca.csv\u201D"), callSite);
    const PlatformError second = normalizedError(GeneralError("Something else entirely"), callSite);
    EXPECT_EQ(first.domain(), "zk.GeneralError.GeneralError");
    EXPECT_EQ(first.code(), fnv1aHash("GeneralError"));
    EXPECT_EQ(first.code(), second.code());
    EXPECT_EQ(text(first.userInfo(), ErrorKeys::localizedDescription), "Could not export \u201Ca.csv\u201D");
}

TEST(NormalizedErrorTest, CodeIsComputedPerErrorNotOncePerProcess)
{
    const PlatformError runtime = normalizedError(ExceptionError("std::runtime_error", "a"), callSite);
    const PlatformError logic = normalizedError(ExceptionError("std::logic_error", "b"), callSite);
    EXPECT_EQ(runtime.code(), fnv1aHash("std::runtime_error"));
    EXPECT_EQ(logic.code(), fnv1aHash("std::logic_error"));
    EXPECT_NE(runtime.code(), logic.code());
}

TEST(NormalizedErrorTest, PlatformErrorWithCodeOneIsNormalisedToo)
{
    const PlatformError error("SomeDomain", 1);
    const PlatformError normalized = normalizedError(error, callSite);
    // A system error's debugging text starts with "Error Domain=…", cut at the first blank.
    EXPECT_EQ(text(normalized.userInfo(), "codeString"), "Error");
    EXPECT_EQ(normalized.domain(), "SomeDomain.Error");
    EXPECT_EQ(normalized.code(), fnv1aHash("Error"));
}

TEST(NormalizedErrorTest, DescriptionStartingWithBlankOrParenthesisGivesEmptyCodeString)
{
    for (const char* name : { " leading", "(tuple)", "\tTabbed thing" }) {
        const PlatformError normalized = normalizedError(EnumCaseError("app.Odd", 1, name), callSite);
        EXPECT_EQ(normalized.domain(), "app.Odd") << name;
        EXPECT_EQ(text(normalized.userInfo(), "codeString"), "") << name;
        EXPECT_EQ(normalized.code(), fnv1aHash("")) << name;
    }
    // An opening parenthesis with nothing after it on its line is not cut away.
    EXPECT_EQ(text(normalizedError(EnumCaseError("app.Odd", 3, "name("), callSite).userInfo(), "codeString"),
        "name(");
    // Text on later lines goes; trailing blanks are trimmed.
    EXPECT_EQ(text(normalizedError(EnumCaseError("app.Odd", 3, "first\nsecond line"), callSite).userInfo(),
                  "codeString"),
        "first");
}

TEST(NormalizedErrorTest, MetadataIsSetOverTheErrorsOwnEntries)
{
    const PlatformError error("D", 5, { { "file", std::string("theirs") }, { "keep", std::string("yes") } });
    const auto info = normalizedError(error, callSite).userInfo();
    EXPECT_EQ(text(info, "file"), "app/Session.cpp");
    EXPECT_EQ(text(info, "keep"), "yes");
}

TEST_F(ReportedErrors, ReportsWithCallSite)
{
    const int line = __LINE__ + 1;
    reportError(negativeDuration(-3));
    const auto reported = lines();
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0]["domain"], "app.SessionError.negativeDuration");
    EXPECT_EQ(reported[0]["code"], 2);
    EXPECT_EQ(reported[0]["message"], "The session has a negative duration.");
    EXPECT_EQ(reported[0]["file"], "ErrorReportingTest.cpp");
    EXPECT_EQ(reported[0]["line"], line);
    EXPECT_EQ(reported[0]["userInfo"]["codeString"], "negativeDuration");
    EXPECT_EQ(reported[0]["userInfo"]["line"], std::to_string(line));
}

TEST_F(ReportedErrors, CancellationIsNeverReportedButLookalikesAre)
{
    reportError(CancellationError());
    EXPECT_TRUE(lines().empty());
    reportError(PlatformError("NSURLErrorDomain", -999));
    reportError(PlatformError("NSCocoaErrorDomain", 3072));
    EXPECT_EQ(lines().size(), 2u);
}

TEST_F(ReportedErrors, CallerEntriesWinOverCallSiteAndCustomOverBoth)
{
    reportError(GeneralError("x"), { { "file", std::string("caller.cpp") } }, "site.cpp", 3);
    ErrorReporting::customMetadata().set("file", ErrorInfoValue(std::string("custom.cpp")));
    ErrorReporting::customMetadata().set("build", ErrorInfoValue(std::int64_t { 42 }));
    reportError(GeneralError("y"), { { "file", std::string("caller.cpp") } }, "site.cpp", 3);
    const auto reported = lines();
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported[0]["file"], "caller.cpp");
    EXPECT_EQ(reported[0]["line"], 3);
    EXPECT_EQ(reported[1]["file"], "custom.cpp");
    EXPECT_EQ(reported[1]["userInfo"]["build"], "42");
}

TEST_F(ReportedErrors, IgnoredAndUnacceptedErrorsAreDropped)
{
    ErrorReporting::setIgnoredErrors({ { "Ignored", 7 } });
    reportError(PlatformError("Ignored", 7));
    reportError(PlatformError("Wrapper", 1,
        { { ErrorKeys::multipleUnderlyingErrors,
            std::vector<ErrorPtr> { std::make_shared<PlatformError>("Other", 1),
                std::make_shared<PlatformError>("Ignored", 7) } } }));
    EXPECT_TRUE(lines().empty());
    reportError(PlatformError("Ignored", 8));
    EXPECT_EQ(lines().size(), 1u);

    ErrorReporting::setAcceptPredicate([](const Error& error) { return error.domain() != "Rejected"; });
    reportError(PlatformError("Rejected", 3));
    EXPECT_EQ(lines().size(), 1u);
}

TEST_F(ReportedErrors, ExceptionsAreReportedAsOwnErrors)
{
    try {
        throw std::out_of_range("index 12 of 3");
    } catch (const std::exception& exception) {
        reportError(exception);
    }
    try {
        throw GeneralError("thrown general error");
    } catch (...) {
        reportError(std::current_exception());
    }
    const auto reported = lines();
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported[0]["domain"], "std.exception.std::out_of_range");
    EXPECT_EQ(reported[0]["message"], "index 12 of 3");
    EXPECT_EQ(reported[1]["domain"], "zk.GeneralError.GeneralError");
    EXPECT_EQ(reported[1]["message"], "thrown general error");
}

TEST_F(ReportedErrors, ReportingNeverThrowsEvenWithoutAFolder)
{
    platform::ErrorReporter unwritable("/proc/kiruvo-cannot-exist");
    platform::ErrorReporter::setShared(&unwritable);
    EXPECT_NO_THROW(reportError(GeneralError("lost")));
}

TEST(SourceFileIdentifierTest, PathFromTheSourceRoot)
{
    EXPECT_EQ(sourceFileIdentifier(
                  "/home/me/src/kiruvo/src/app/engine/SessionController.cpp", "/home/me/src/kiruvo/src"),
        "app/engine/SessionController.cpp");
    EXPECT_EQ(
        sourceFileIdentifier("/home/me/src/kiruvo/src/main.cpp", "/home/me/src/kiruvo/src/"), "main.cpp");
    // A checkout under a folder named "src" is no source root of its own.
    EXPECT_EQ(sourceFileIdentifier("/src/other/src/File.cpp", "/home/me/kiruvo/src"), "File.cpp");
    EXPECT_EQ(sourceFileIdentifier("/elsewhere/File.cpp", "/home/me/kiruvo/src"), "File.cpp");
    EXPECT_EQ(sourceFileIdentifier("/home/me/kiruvo/srcs/File.cpp", "/home/me/kiruvo/src"), "File.cpp");
    EXPECT_EQ(sourceFileIdentifier("File.cpp", ""), "File.cpp");
    EXPECT_EQ(sourceFileIdentifier(nullptr, "/home/me/kiruvo/src"), "");
}
