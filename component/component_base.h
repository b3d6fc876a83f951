// The host's component interfaces, which the component implements. The host calls every
// operation by its position in the virtual tables: the order below is binding, and each
// interface starts with its virtual destructor.
#pragma once

#include "host/host_api.h"

#include <cstdint>

class IInitDoneBase {
public:
    virtual ~IInitDoneBase() = default;
    virtual bool Init(void* connection) = 0;
    virtual bool setMemManager(void* memoryManager) = 0;
    virtual int32_t GetInfo() = 0;
    virtual void Done() = 0;
};

class ILanguageExtenderBase {
public:
    virtual ~ILanguageExtenderBase() = default;
    virtual bool RegisterExtensionAs(ShortWchar** extensionName) = 0;
    virtual int32_t GetNProps() = 0;
    virtual int32_t FindProp(const ShortWchar* name) = 0;
    virtual const ShortWchar* GetPropName(int32_t number, int32_t alias) = 0;
    virtual bool GetPropVal(int32_t number, tVariant* value) = 0;
    virtual bool SetPropVal(int32_t number, tVariant* value) = 0;
    virtual bool IsPropReadable(int32_t number) = 0;
    virtual bool IsPropWritable(int32_t number) = 0;
    virtual int32_t GetNMethods() = 0;
    virtual int32_t FindMethod(const ShortWchar* name) = 0;
    virtual const ShortWchar* GetMethodName(int32_t number, int32_t alias) = 0;
    virtual int32_t GetNParams(int32_t number) = 0;
    virtual bool GetParamDefValue(int32_t number, int32_t parameter, tVariant* value) = 0;
    virtual bool HasRetVal(int32_t number) = 0;
    virtual bool CallAsProc(int32_t number, tVariant* parameters, int32_t arraySize) = 0;
    virtual bool CallAsFunc(int32_t number, tVariant* returnValue, tVariant* parameters,
                            int32_t arraySize) = 0;
};

class LocaleBase {
public:
    virtual ~LocaleBase() = default;
    virtual void SetLocale(const ShortWchar* locale) = 0;
};

// What GetClassObject hands the host: one object with three interface tables.
class IComponentBase : public IInitDoneBase, public ILanguageExtenderBase, public LocaleBase {
public:
    ~IComponentBase() override = default;
};
