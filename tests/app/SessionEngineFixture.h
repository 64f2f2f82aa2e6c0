#pragma once

#include "app/engine/CurrentSession.h"
#include "app/engine/SessionController.h"
#include "app/engine/SettingsKeys.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/core/CallSiteCache.h"
#include "platform/ErrorReporter.h"
#include "platform/fake/FakeClock.h"
#include "platform/fake/FakeIdleTimeSource.h"
#include "platform/fake/FakeSystemEvents.h"
#include "platform/store/DefaultsDatabase.h"
#include "platform/store/UserDefaults.h"
#include "platform/time/Locale.h"
#include "platform/time/TimeZone.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

// The engine's tests share one in-memory standard suite per process: the settings keys bind to the
// standard suite at their first use. Each test starts from an empty store, a fresh memo table,
// Oslo time in an en_US locale, and fakes for the clock, the idle time and the system events.
class SessionEngineTest : public ::testing::Test {
protected:
    static std::shared_ptr<platform::UserDefaults> store() { return platform::UserDefaults::standard(); }

    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        m_reporter = std::make_unique<platform::ErrorReporter>(m_folder.path().toStdString());
        platform::ErrorReporter::setShared(m_reporter.get());
        platform::TimeZone::setCurrentForTesting(platform::TimeZone::withIdentifier("Europe/Oslo"));
        platform::Locale::setCurrentForTesting(platform::Locale("en_US"));
        zk::CallSiteCache::resetForTesting();
        kiruvo::CurrentSession::setReportHandler(
            [this](const kiruvo::CurrentSession::Report& report) { sessionReports.push_back(report); });
        zk::AlertPresenter::shared().setRunModal([this](QMessageBox& alert) {
            alertTitles.push_back(alert.text().toStdString());
            alertMessages.push_back(alert.informativeText().toStdString());
            return 0;
        });
    }

    void TearDown() override
    {
        // Alerts the test queued are answered here, not by a user after it.
        processEvents();
        zk::AlertPresenter::shared().setRunModal({});
        kiruvo::CurrentSession::setReportHandler(nullptr);
        platform::TimeZone::setCurrentForTesting(std::nullopt);
        platform::Locale::setCurrentForTesting(std::nullopt);
        platform::ErrorReporter::setShared(nullptr);
    }

    // The engine under test, built after the fakes are in place.
    kiruvo::SessionController& controller()
    {
        if (!m_controller) {
            m_controller = std::make_unique<kiruvo::SessionController>();
        }
        return *m_controller;
    }

    // Lets the presenter show queued alerts.
    static void processEvents()
    {
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::processEvents();
        }
    }

    // The messages of the error reports written so far.
    std::vector<std::string> reportLines() const
    {
        std::vector<std::string> lines;
        std::ifstream file(m_reporter->reportsPath());
        for (std::string line; std::getline(file, line);) {
            lines.push_back(line);
        }
        return lines;
    }
    int reportsContaining(const std::string& text) const
    {
        int count = 0;
        for (const auto& line : reportLines()) {
            count += line.find(text) != std::string::npos ? 1 : 0;
        }
        return count;
    }

    static platform::Date oslo(int year, int month, int day, int hour, int minute = 0, int second = 0)
    {
        return at("Europe/Oslo", year, month, day, hour, minute, second);
    }
    static platform::Date at(
        const std::string& zone, int year, int month, int day, int hour, int minute = 0, int second = 0)
    {
        platform::DateComponents components;
        components.year = year;
        components.month = month;
        components.day = day;
        components.hour = hour;
        components.minute = minute;
        components.second = second;
        components.timeZone = platform::TimeZone::withIdentifier(zone);
        return *platform::Calendar(platform::TimeZone::utc(), platform::Locale("en_US")).date(components);
    }

    static kiruvo::Session session(
        platform::Date start, platform::Date end, const std::string& zone = "Europe/Oslo")
    {
        return *kiruvo::Session::make(
            platform::Uuid::random(), start, end, *platform::TimeZone::withIdentifier(zone));
    }

    // Storage as another writer would leave it.
    static void storeRaw(const platform::PropertyListArray& entries)
    {
        store()->setObject(platform::PropertyList(entries), "sessions");
    }
    static platform::PropertyListArray storedEntries()
    {
        auto object = store()->objectForKey("sessions");
        if (!object || !object->isArray()) {
            return {};
        }
        return *object->getIf<platform::PropertyListArray>();
    }
    // The sessions among stored entries, decoded, in stored order.
    static std::vector<kiruvo::Session> sessionsIn(const platform::PropertyListArray& entries)
    {
        std::vector<kiruvo::Session> sessions;
        for (const auto& entry : entries) {
            if (const auto* text = entry.getIf<std::string>()) {
                if (auto session = kiruvo::sessionFromStoredText(*text)) {
                    sessions.push_back(std::move(*session));
                }
            }
        }
        return sessions;
    }

    QTemporaryDir m_folder;
    std::unique_ptr<platform::ErrorReporter> m_reporter;
    platform::fake::ScopedFakeClock fake { oslo(2024, 5, 15, 12), 100000 };
    platform::fake::ScopedFakeIdleTimeSource idle;
    platform::fake::FakeSystemEvents events;
    std::vector<kiruvo::CurrentSession::Report> sessionReports;
    std::vector<std::string> alertTitles;
    std::vector<std::string> alertMessages;
    std::unique_ptr<kiruvo::SessionController> m_controller;
};
