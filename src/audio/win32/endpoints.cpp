#include "audio/binding.h"
#include "audio/win32/ids.h"
// After ids.h, which brings in windows.h.
#include <propidl.h>

namespace native_audio {

namespace {

WideString copy_wide(const wchar_t* text) {
  return WideString(reinterpret_cast<const char16_t*>(text));
}

WideString friendly_name(IMMDevice* device) {
  IPropertyStore* store = nullptr;
  if (FAILED(device->OpenPropertyStore(STGM_READ, &store)) || !store) return {};
  WideString name;
  PROPVARIANT value;
  PropVariantInit(&value);
  if (SUCCEEDED(store->GetValue(kFriendlyNameKey, &value)) && value.vt == VT_LPWSTR &&
      value.pwszVal) {
    name = copy_wide(value.pwszVal);
  }
  PropVariantClear(&value);
  store->Release();
  return name;
}

EndpointInfo describe(IMMDevice* device) {
  EndpointInfo info;
  DWORD state = 0;  // a failed query reads as not active
  device->GetState(&state);
  info.active = (state & DEVICE_STATE_ACTIVE) != 0;
  LPWSTR id = nullptr;
  if (SUCCEEDED(device->GetId(&id)) && id) {
    info.id = copy_wide(id);
    CoTaskMemFree(id);
  }
  info.name = friendly_name(device);
  return info;
}

}  // namespace

std::vector<EndpointInfo> enumerate_render_endpoints() {
  std::vector<EndpointInfo> endpoints;
  IMMDeviceEnumerator* enumerator = create_device_enumerator();
  if (!enumerator) return endpoints;
  IMMDeviceCollection* collection = nullptr;
  if (FAILED(enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE | DEVICE_STATE_DISABLED,
                                            &collection)) ||
      !collection) {
    enumerator->Release();
    return endpoints;
  }
  UINT count = 0;  // a failed count lists nothing
  collection->GetCount(&count);
  for (UINT i = 0; i < count; ++i) {
    IMMDevice* device = nullptr;
    if (FAILED(collection->Item(i, &device)) || !device) continue;
    endpoints.push_back(describe(device));
    device->Release();
  }
  collection->Release();
  enumerator->Release();
  return endpoints;
}

VisibilityStatus change_endpoint_visibility(const WideString& id, bool visible) {
  using SetEndpointVisibility = HRESULT(STDMETHODCALLTYPE*)(void* self, PCWSTR id, INT visible);
  void* object = nullptr;
  HRESULT result =
      CoCreateInstance(kPolicyConfigClass, nullptr, CLSCTX_ALL, kPolicyConfigInterface, &object);
  if (SUCCEEDED(result) && object) {
    void** methods = *static_cast<void***>(object);
    const auto set_visibility =
        reinterpret_cast<SetEndpointVisibility>(methods[kSetEndpointVisibilityEntry]);
    result = set_visibility(object, reinterpret_cast<PCWSTR>(id.c_str()), visible ? 1 : 0);
    static_cast<IUnknown*>(object)->Release();
  } else if (SUCCEEDED(result)) {
    result = E_POINTER;  // "succeeded" without an object: nothing was changed
  }
  if (SUCCEEDED(result)) return VisibilityStatus::success;
  return result == E_ACCESSDENIED ? VisibilityStatus::access_denied : VisibilityStatus::failed;
}

}  // namespace native_audio
