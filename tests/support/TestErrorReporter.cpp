#include "support/TestErrorReporter.h"

TestErrorReporter::TestErrorReporter()
    : m_reporter(m_folder.path().toStdString())
{
    platform::ErrorReporter::setShared(&m_reporter);
}

TestErrorReporter::~TestErrorReporter()
{
    platform::ErrorReporter::setShared(nullptr);
}
