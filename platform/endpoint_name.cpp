#include "platform/endpoint_name.h"

#include <windows.h>
#include <mmdeviceapi.h>
#include <propidl.h>
#include <propsys.h>

#include "platform/guards.h"

namespace {

// PKEY_Device_FriendlyName, defined here rather than taken from a library that may lack it.
const PROPERTYKEY kFriendlyName = {{0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};

} // namespace

std::wstring EndpointFriendlyName(const std::wstring& endpointId)
{
    if (endpointId.empty())
        return std::wstring();
    ComPtr<IMMDeviceEnumerator> endpoints;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER,
                                __uuidof(IMMDeviceEnumerator), endpoints.PutVoid())))
        return std::wstring();
    ComPtr<IMMDevice> endpoint;
    if (FAILED(endpoints->GetDevice(endpointId.c_str(), endpoint.Put())))
        return std::wstring();
    ComPtr<IPropertyStore> properties;
    if (FAILED(endpoint->OpenPropertyStore(STGM_READ, properties.Put())))
        return std::wstring();
    PROPVARIANT value;
    PropVariantInit(&value);
    const ScopeExit clear([&value] { PropVariantClear(&value); });
    if (FAILED(properties->GetValue(kFriendlyName, &value)) || value.vt != VT_LPWSTR || !value.pwszVal)
        return std::wstring();
    return value.pwszVal;
}
