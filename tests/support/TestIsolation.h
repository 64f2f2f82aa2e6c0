#pragma once

#include <QObject>

#include <gtest/gtest.h>

#include <memory>

namespace platform {
class UserDefaults;
}

// Keeps the tests of one program from seeing each other, in whatever order they run: each test
// starts with the program's one standard store, emptied, and a test that ends with a window
// still shown, a mouse or keyboard grab held, or a modal dialog nobody answers fails with what it
// left, which is then closed. A modal dialog that stays open for seconds fails the test that is
// running instead of hanging the program.
class TestIsolation : public QObject, public ::testing::EmptyTestEventListener {
public:
    TestIsolation();
    ~TestIsolation() override;

    void OnTestStart(const ::testing::TestInfo& test) override;
    void OnTestEnd(const ::testing::TestInfo& test) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::shared_ptr<platform::UserDefaults> m_store;
};
