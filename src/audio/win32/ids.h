#pragma once
// Class, interface and property identifiers of the Core Audio objects used
// here, written out so that no import library of identifiers is needed.
#include <windows.h>
// windows.h first: the COM headers rely on its definitions.
#include <mmdeviceapi.h>

inline constexpr CLSID kDeviceEnumeratorClass = {
    0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
inline constexpr IID kDeviceEnumeratorInterface = {
    0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
inline constexpr IID kEndpointVolumeInterface = {
    0x5CDF2C82, 0x841E, 0x4546, {0x97, 0x22, 0x0C, 0xF7, 0x40, 0x78, 0x22, 0x9A}};
inline constexpr PROPERTYKEY kFriendlyNameKey = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 14};

// The endpoint policy object is not in the published SDK: it is reached by
// these identifiers and one method called by its place in the method table.
inline constexpr CLSID kPolicyConfigClass = {
    0x870AF99C, 0x171D, 0x4F9E, {0xAF, 0x0D, 0xE6, 0x3D, 0xF4, 0x0C, 0x2B, 0xC9}};
inline constexpr IID kPolicyConfigInterface = {
    0xF8679F50, 0x850A, 0x41CF, {0x9C, 0x72, 0x43, 0x0F, 0x29, 0x02, 0x90, 0xC8}};
inline constexpr int kSetEndpointVisibilityEntry = 14;

// Opens the device enumerator; nullptr on failure. The caller releases it.
inline IMMDeviceEnumerator* create_device_enumerator() {
  void* object = nullptr;
  if (FAILED(CoCreateInstance(kDeviceEnumeratorClass, nullptr, CLSCTX_ALL,
                              kDeviceEnumeratorInterface, &object))) {
    return nullptr;
  }
  return static_cast<IMMDeviceEnumerator*>(object);
}
