#include "libraries/defaults/Keys.h"

#include <functional>

namespace Defaults {

Keys::Keys(std::string name, std::shared_ptr<platform::UserDefaults> suite)
    : m_name(std::move(name))
    , m_suite(std::move(suite))
{
}

void Keys::reset() const
{
    m_suite->removeObject(m_name);
}

bool operator==(const Keys& a, const Keys& b)
{
    return a.m_name == b.m_name && a.m_suite.get() == b.m_suite.get();
}

std::size_t Keys::hash() const
{
    std::size_t seed = std::hash<std::string>()(m_name);
    seed ^= std::hash<const void*>()(m_suite.get()) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
    return seed;
}

} // namespace Defaults
