// The program's own resources: dialog templates 100 and 102 and the string
// table, stored as UTF-16 like every resource text.
#pragma once

#include "framework/resources.h"

[[nodiscard]] const fw::ResourceSet& ProgramResources() noexcept;
