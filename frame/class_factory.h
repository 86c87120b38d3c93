// The class object of a class-table row: makes instances through the row's
// instance creator. It does not hold the module lock.
#pragma once

#include "frame/module.h"

namespace gn {

// Creates a class object for the given instance creator, queried for riid.
HRESULT create_class_factory(creator_fn instance_creator, REFIID riid, void** ppv) noexcept;

}  // namespace gn
