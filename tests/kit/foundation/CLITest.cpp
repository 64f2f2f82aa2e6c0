#include "kit/foundation/CLI.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

// A stream holding `text`, read from the start.
std::FILE* streamWith(const std::string& text)
{
    std::FILE* stream = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), stream);
    std::rewind(stream);
    return stream;
}

std::string contents(std::FILE* stream)
{
    std::rewind(stream);
    std::string text;
    char buffer[256];
    std::size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, stream)) > 0) {
        text.append(buffer, read);
    }
    return text;
}

} // namespace

TEST(CLITest, PositionalArgumentsOptionsAndTheEndOfTheParse)
{
    zk::CLI::setProcessArguments(
        { "/usr/bin/tool", "a", "--verbose", "--out", "file", "b", "--", "--late", "c" });
    EXPECT_EQ(zk::CLI::positionalArguments(), (std::vector<std::string> { "a", "b" }));
    EXPECT_EQ(zk::CLI::options().size(), 2u);
    EXPECT_EQ(zk::CLI::options().at("verbose"), zk::CLI::OptionValue(true));
    EXPECT_EQ(zk::CLI::options().at("out"), zk::CLI::OptionValue(std::string("file")));
    EXPECT_TRUE(zk::CLI::hasOption("verbose"));
    EXPECT_FALSE(zk::CLI::hasOption("late"));
    EXPECT_EQ(zk::CLI::name(), "tool");
    EXPECT_EQ(zk::CLI::arguments().size(), 8u);
}

TEST(CLITest, InputLosesOneTrailingLineFeedAndMustBeUtf8)
{
    std::FILE* input = streamWith("first\nsecond\n");
    zk::CLI::standardInput = input;
    EXPECT_EQ(zk::CLI::readInput(), "first\nsecond");
    std::fclose(input);

    input = streamWith("one\ntwo");
    zk::CLI::standardInput = input;
    EXPECT_EQ(zk::CLI::readLine(), "one");
    EXPECT_EQ(zk::CLI::readLine(false), "two");
    EXPECT_EQ(zk::CLI::readLine(), std::nullopt);
    std::fclose(input);

    input = streamWith("\xff\xfe");
    zk::CLI::standardInput = input;
    EXPECT_EQ(zk::CLI::readInput(), std::nullopt);
    std::fclose(input);
    zk::CLI::standardInput = stdin;
}

TEST(CLITest, PrintingJoinsTheValues)
{
    std::FILE* output = std::tmpfile();
    zk::CLI::print(output, ", ", ".\n", "a", 1, 2.5, true);
    EXPECT_EQ(contents(output), "a, 1, 2.5, true.\n");
    std::fclose(output);
}

TEST(CLIDeathTest, AFailingBodyEndsTheProgramWithItsMessage)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(zk::CLI::exitOnError([] { throw std::runtime_error("no input file"); }),
        testing::ExitedWithCode(1), "no input file");
    int ran = 0;
    zk::CLI::exitOnError([&] { ++ran; });
    EXPECT_EQ(ran, 1);
}

TEST(CLITest, SudoIdentityIsDroppedOnlyForAValidNumber)
{
    const uid_t before = ::getuid();
    for (const char* value : { "not a number", "4294967296", "", "12abc" }) {
        ::setenv("SUDO_UID", value, 1);
        zk::CLI::dropSudoPrivileges();
        EXPECT_EQ(::getuid(), before) << value;
    }
    ::unsetenv("SUDO_UID");
    zk::CLI::dropSudoPrivileges();
    EXPECT_EQ(::getuid(), before);
}
