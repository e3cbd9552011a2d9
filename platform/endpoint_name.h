#pragma once
// Audio endpoints' own names, through the system's endpoint list.

#include <string>

// The friendly name of the endpoint `endpointId` (an identity as the wave-input driver gives it);
// empty when COM is not entered on this thread, the endpoint is unknown or has no name.
std::wstring EndpointFriendlyName(const std::wstring& endpointId);
