#include "kit/interface/LaunchAtLoginToggle.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/core/ReportError.h"
#include "kit/interface/LaunchAtLoginObservable.h"
#include "platform/ErrorReporter.h"
#include "platform/fake/FakeLoginItemService.h"

#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using platform::LoginItemService;
using Status = LoginItemService::Status;
using zk::LaunchAtLoginObservable;

namespace {

class KitLaunchAtLoginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        LoginItemService::setMainAppService(&service);
        zk::ErrorReporting::setAcceptPredicate([this](const zk::Error& error) {
            reports.push_back(error.localizedDescription());
            return true;
        });
        ASSERT_TRUE(m_reports.isValid());
        m_reporter = std::make_unique<platform::ErrorReporter>(m_reports.path().toStdString());
        platform::ErrorReporter::setShared(m_reporter.get());
        zk::AlertPresenter::shared().setRunModal([this](QMessageBox& alert) {
            alerts.push_back(alert.text().toStdString());
            return 0;
        });
    }

    void TearDown() override
    {
        zk::AlertPresenter::shared().setRunModal({});
        zk::ErrorReporting::setAcceptPredicate({});
        platform::ErrorReporter::setShared(nullptr);
        LoginItemService::setMainAppService(nullptr);
    }

    platform::fake::FakeLoginItemService service;
    std::vector<std::string> reports;
    std::vector<std::string> alerts;
    QTemporaryDir m_reports;
    std::unique_ptr<platform::ErrorReporter> m_reporter;

    // The recorded reports, one JSON line each.
    std::string recorded() const
    {
        QFile file(QString::fromStdString(m_reporter->reportsPath().string()));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }
};

TEST_F(KitLaunchAtLoginTest, OnlyAnEnabledItemReadsAsOnAndApprovalIsReported)
{
    service.currentStatus = Status::enabled;
    EXPECT_TRUE(LaunchAtLoginObservable::shared().isEnabled());
    service.currentStatus = Status::notRegistered;
    EXPECT_FALSE(LaunchAtLoginObservable::shared().isEnabled());
    service.currentStatus = Status::notFound;
    EXPECT_FALSE(LaunchAtLoginObservable::shared().isEnabled());
    EXPECT_TRUE(reports.empty());

    service.currentStatus = Status::requiresApproval;
    EXPECT_FALSE(LaunchAtLoginObservable::shared().isEnabled());
    EXPECT_FALSE(LaunchAtLoginObservable::shared().isEnabled());
    EXPECT_EQ(reports, (std::vector<std::string>(2, "SMAppService#status == .requiresApproval")));

    service.currentStatus = static_cast<Status>(7);
    EXPECT_FALSE(LaunchAtLoginObservable::shared().isEnabled());
    EXPECT_EQ(reports.back(), "Received a new enum case. Please handle it.");
}

TEST_F(KitLaunchAtLoginTest, ARefusedWriteIsReportedWithTheValueAndShown)
{
    service.failure = "the autostart folder is read-only";
    QSignalSpy willChange(&LaunchAtLoginObservable::shared(), &LaunchAtLoginObservable::objectWillChange);

    LaunchAtLoginObservable::shared().setEnabled(true);
    // The alert is queued on the main thread.
    EXPECT_TRUE(QTest::qWaitFor([this] { return !alerts.empty(); }, 5000));

    EXPECT_EQ(willChange.count(), 2);
    EXPECT_EQ(reports, (std::vector<std::string> { "the autostart folder is read-only" }));
    EXPECT_NE(recorded().find("\"newValue\":\"true\""), std::string::npos) << recorded();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_NE(alerts[0].find("read-only"), std::string::npos);
    EXPECT_FALSE(LaunchAtLoginObservable::shared().isEnabled());
}

TEST_F(KitLaunchAtLoginTest, TheKitToggleWritesAndFollowsTheState)
{
    zk::LaunchAtLoginToggle toggle;
    EXPECT_EQ(toggle.text(), QStringLiteral("Launch at login"));
    EXPECT_FALSE(toggle.isChecked());

    toggle.click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(toggle.isChecked());
    EXPECT_EQ(service.currentStatus, Status::enabled);

    service.failure = "no";
    toggle.click();
    // The refusal is shown, from the main thread's queue.
    EXPECT_TRUE(QTest::qWaitFor([this] { return !alerts.empty(); }, 5000));
    EXPECT_EQ(alerts.size(), 1u);
    EXPECT_TRUE(toggle.isChecked());
    EXPECT_NE(recorded().find("\"newValue\":\"false\""), std::string::npos) << recorded();
}

} // namespace
