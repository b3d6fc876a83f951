// Records and interfaces that cross the boundary between the library and its host platform.
// The host calls and is called by position in the virtual tables, so the order of the virtual
// operations below is part of the contract and must never change.
#pragma once

#include <jni.h>

#include <cstddef>
#include <cstdint>

// One unit of a host short string: a NUL-terminated array of 16-bit code units.
using ShortWchar = char16_t;

enum VariantType : uint16_t {
    VariantEmpty = 0,
    VariantInt32 = 3,
    VariantBool = 11,
    VariantShortString = 22,
};

// The host's variant record. The first 44 bytes hold the value; which member is meaningful
// depends on typeCode.
struct tVariant {
    union {
        uint8_t boolValue;  // 0 or 1
        int32_t intValue;
        struct {
            ShortWchar* text;
            uint32_t length;  // in 16-bit units, NUL excluded
        } string;
        uint8_t valueArea[44];
    };
    uint32_t elementCount;  // never set by the library
    uint16_t typeCode;      // a VariantType
    uint16_t alignment;
};

// The layout is checked on every ABI, so that no compiler or architecture (ARM aligns 64-bit
// values to 8 bytes, x86 to 4) can move a member. 32-bit targets: the host's record, 52 bytes.
// 64-bit targets: the contract gives no layout; this is the natural extension (an 8-byte string
// pointer, the value area rounded up to 48 bytes, the rest after it), to be confirmed with the
// host platform.
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(void*) == 4, "the 32-bit build must have 32-bit pointers");
static_assert(alignof(tVariant) == 4, "the variant record is 4-byte aligned");
static_assert(sizeof(tVariant) == 52, "the host's variant record is 52 bytes");
static_assert(offsetof(tVariant, string.length) == 4, "string length follows the pointer");
static_assert(offsetof(tVariant, elementCount) == 44, "element count at offset 44");
static_assert(offsetof(tVariant, typeCode) == 48, "type code at offset 48");
static_assert(offsetof(tVariant, alignment) == 50, "alignment field at offset 50");
#elif UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
static_assert(alignof(tVariant) == 8, "the variant record is 8-byte aligned");
static_assert(sizeof(tVariant) == 56, "the 64-bit variant record is 56 bytes");
static_assert(offsetof(tVariant, string.length) == 8, "string length follows the pointer");
static_assert(offsetof(tVariant, elementCount) == 48, "element count at offset 48");
static_assert(offsetof(tVariant, typeCode) == 52, "type code at offset 52");
static_assert(offsetof(tVariant, alignment) == 54, "alignment field at offset 54");
#else
#error "the variant record's layout is known for 32-bit and 64-bit pointers only"
#endif

// The host's memory manager, handed over untyped through setMemManager. Strings returned to
// the host are allocated here; the host owns them afterwards and the library never frees them.
class IHostMemory {
public:
    virtual ~IHostMemory() = default;
    virtual bool AllocMemory(void** block, uint32_t size) = 0;
};

// The host connection, handed over untyped through Init. The library calls only three of its
// operations; the others keep their places in the table. ExternalEvent is called on the Java
// thread that delivered the barcode. The connection must stay alive while it is the component's:
// once a later Init (with another connection or null) or DestroyObject has returned, no thread
// of the library uses it any more, and the host may release it.
class IAddInDefBaseEx {
public:
    virtual ~IAddInDefBaseEx() = default;
    virtual void unusedOperation1() {}
    virtual void unusedOperation2() {}
    virtual void unusedOperation3() {}
    virtual void unusedOperation4() {}
    virtual bool SetEventBufferDepth(int32_t depth) = 0;
    virtual void unusedOperation5() {}
    virtual bool ExternalEvent(const ShortWchar* source, const ShortWchar* message,
                               const ShortWchar* data) = 0;
    virtual void unusedOperation6() {}
    virtual void unusedOperation7() {}
    virtual void unusedOperation8() {}
    virtual void* GetInterface(int32_t index) = 0;
};

// GetInterface index of the Android helper.
constexpr int32_t kAndroidHelperInterface = 2;

// The host's Android helper. It has no destructor entry in its table.
class IAndroidHelper {
public:
    // The current Android activity, as a JNI local reference of the calling thread.
    virtual jobject GetActivity() = 0;
    // A class of the app by its dotted name, as a JNI local reference, or null.
    virtual jclass FindClass(const ShortWchar* className) = 0;

protected:
    ~IAndroidHelper() = default;
};
