// The driver method set: one constant table gives each method its English and Russian names,
// its parameter count and the operation that CallAsFunc runs for it.
#pragma once

#include "host/host_api.h"

#include <array>
#include <cstddef>
#include <cstdint>

class MobileBarcodeScannerNative;

struct DriverMethod {
    const wchar_t* nameEn;
    const wchar_t* nameRu;
    int32_t parameterCount;
    // Runs the method; parameters holds at least parameterCount records.
    bool (*call)(MobileBarcodeScannerNative& component, tVariant& result, tVariant* parameters);
};

constexpr size_t kDriverMethodCount = 10;

// Indexed by method number.
extern const std::array<DriverMethod, kDriverMethodCount> kDriverMethods;
extern const std::array<const wchar_t*, kDriverMethodCount> methodNamesEn;
extern const std::array<const wchar_t*, kDriverMethodCount> methodNamesRu;

// The method with this number, or null outside the table (negative numbers included).
const DriverMethod* driverMethod(int32_t number);

// The index of the first of the count names equal to name (wcscmp), or -1.
int32_t findName(const wchar_t* const* names, const wchar_t* name, uint32_t count);
