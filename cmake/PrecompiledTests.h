// The tests' precompiled header: the project's own set, and the test frameworks every test file
// includes.
#pragma once

#include "Precompiled.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
