#include "libraries/defaults/ObservableBase.h"

namespace Defaults {

ObservableBase::~ObservableBase() = default;

} // namespace Defaults
