// The four functions the host finds in the library by name.
#pragma once

#include "component/component_base.h"

#include <cstdint>

#define KESTRA_EXPORT extern "C" __attribute__((visibility("default")))

// The list of component class names the library offers, owned by the library.
KESTRA_EXPORT const ShortWchar* GetClassNames();
// Creates the named component into *component, which must be null. Non-zero on success.
KESTRA_EXPORT int32_t GetClassObject(const ShortWchar* className, IComponentBase** component);
// Destroys *component and sets it to null: 0, or -1 when there is nothing to destroy.
KESTRA_EXPORT int32_t DestroyObject(IComponentBase** component);
// The host announces its capabilities; always 1.
KESTRA_EXPORT int32_t SetPlatformCapabilities(int32_t capabilities);

// Pointer types for a host that looks the exports up with dlsym.
using GetClassNamesFunction = const ShortWchar* (*)();
using GetClassObjectFunction = int32_t (*)(const ShortWchar*, IComponentBase**);
using DestroyObjectFunction = int32_t (*)(IComponentBase**);
using SetPlatformCapabilitiesFunction = int32_t (*)(int32_t);
