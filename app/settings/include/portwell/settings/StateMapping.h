#pragma once
// The stored state under the fixed component and property names of the settings file.
#include "portwell/StoredState.h"
#include "portwell/settings/ComponentTree.h"

namespace portwell::settings {

// The stored state held in a component tree under the fixed names of the file, and back. The
// reader finds each component by name wherever it stands; what is absent keeps its default.
TComponent StateToComponents(const TStoredState& state);
TStoredState StateFromComponents(const TComponent& root);

} // namespace portwell::settings
