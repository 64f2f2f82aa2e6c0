#include "kit/interface/ErrorCaptureTask.h"

#include "kit/foundation/core/GeneralError.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// Runs the event loop until the task has returned.
void waitFor(const platform::async::TaskHandle& task)
{
    for (int i = 0; i < 100 && !task.isFinished(); ++i) {
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(task.isFinished());
}

} // namespace

TEST(ErrorCaptureTask, AnErrorThrownByTheBodyIsHandedOn)
{
    std::vector<zk::ErrorPtr> errors;
    auto task = zk::errorCaptureTask(
        [](std::stop_token) -> QCoro::Task<void> {
            throw zk::GeneralError(std::string("The export failed."));
            co_return;
        },
        [&](zk::ErrorPtr error) { errors.push_back(std::move(error)); });
    EXPECT_TRUE(errors.empty());
    waitFor(task);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0]->localizedDescription(), "The export failed.");
}

TEST(ErrorCaptureTask, PlainExceptionsAreSeenAsErrorsAndCancellationsAreDropped)
{
    std::vector<zk::ErrorPtr> errors;
    const auto keep = [&](zk::ErrorPtr error) { errors.push_back(std::move(error)); };
    auto plain = zk::errorCaptureTask(
        [](std::stop_token) -> QCoro::Task<void> {
            throw std::runtime_error("disk full");
            co_return;
        },
        keep);
    auto cancelled = zk::errorCaptureTask(
        [](std::stop_token) -> QCoro::Task<void> {
            throw zk::CancellationError();
            co_return;
        },
        keep);
    auto fine = zk::errorCaptureTask([](std::stop_token) -> QCoro::Task<void> { co_return; }, keep);
    waitFor(plain);
    waitFor(cancelled);
    waitFor(fine);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0]->localizedDescription(), "disk full");
}
