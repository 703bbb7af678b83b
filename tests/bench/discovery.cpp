// Baseline of the discovery benchmark: what discovery must do and nothing more. It lists the
// installed-programs key of HKEY_LOCAL_MACHINE in the 32-bit view, then in the 64-bit one,
// reads each entry's DisplayName, and the UninstallString of each entry whose name holds
// "KAVRO" and is not "LUMBEKAVRO" as a whole. No log, no window, no check of what it reads.
//   registry: with the registry functions (the key opened once per view, RegEnumKeyExW, each
//             entry opened relative to it with the view's flag, as a child key of another
//             view must be, and RegQueryValueExW);
//   provider: through the management provider, StdRegProv (one connection; per view a
//             context asking for that view, EnumKey, then GetStringValue per value);
//   provider-list: the provider's listings alone.
// Prints the milliseconds the two listings took (not the connection, which costs the same
// whatever the key holds), the milliseconds the readings took, the number of components found
// and the milliseconds the provider's connection took.
//
//   kavro_discovery registry|provider|provider-list
#include <windows.h>
#include <wbemidl.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const wchar_t kKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

bool IsComponent(std::wstring name) {
  for (wchar_t& c : name) c = static_cast<wchar_t>(::towupper(c));
  return name.find(L"KAVRO") != std::wstring::npos && name != L"LUMBEKAVRO";
}

struct Times {
  Clock::duration listing{}, reading{}, connection{};
  int components = 0;
};

// ---- the registry functions ----

std::wstring Read(HKEY key, const std::wstring& sub, const wchar_t* value, REGSAM view) {
  HKEY entry;
  if (::RegOpenKeyExW(key, sub.c_str(), 0, KEY_QUERY_VALUE | view, &entry) != ERROR_SUCCESS) return {};
  wchar_t data[2048] = {};
  DWORD size = sizeof data - sizeof(wchar_t);
  const LSTATUS read =
      ::RegQueryValueExW(entry, value, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
  ::RegCloseKey(entry);
  return read == ERROR_SUCCESS ? data : L"";
}

void ThroughFunctions(REGSAM view, Times& times) {
  const auto start = Clock::now();
  HKEY key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return;
  std::vector<std::wstring> names;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    names.emplace_back(name, length);
  }
  const auto listed = Clock::now();
  for (const std::wstring& sub : names) {
    if (!IsComponent(Read(key, sub, L"DisplayName", view))) continue;
    Read(key, sub, L"UninstallString", view);
    ++times.components;
  }
  ::RegCloseKey(key);
  times.listing += listed - start;
  times.reading += Clock::now() - listed;
}

// ---- the management provider ----

struct Variant {
  VARIANT v;
  Variant() { ::VariantInit(&v); }
  ~Variant() { ::VariantClear(&v); }
};

struct Provider {
  IWbemServices* services = nullptr;
  IWbemClassObject* enumKey = nullptr;   // the methods' in-parameter classes
  IWbemClassObject* getString = nullptr;
  BSTR className = ::SysAllocString(L"StdRegProv");

  // Calls one method with hDefKey = HKEY_LOCAL_MACHINE, the key and (for GetStringValue) the
  // value's name; its out-parameter `result`, empty when it failed.
  void Call(IWbemContext* context, const wchar_t* method, IWbemClassObject* signature,
            const std::wstring& key, const wchar_t* value, const wchar_t* result, Variant& out) {
    IWbemClassObject* in = nullptr;
    signature->SpawnInstance(0, &in);
    Variant hive, path, valueName;
    hive.v.vt = VT_I4;
    hive.v.lVal = static_cast<LONG>(0x80000002u);
    path.v.vt = VT_BSTR;
    path.v.bstrVal = ::SysAllocString(key.c_str());
    in->Put(L"hDefKey", 0, &hive.v, 0);
    in->Put(L"sSubKeyName", 0, &path.v, 0);
    if (value) {
      valueName.v.vt = VT_BSTR;
      valueName.v.bstrVal = ::SysAllocString(value);
      in->Put(L"sValueName", 0, &valueName.v, 0);
    }
    BSTR name = ::SysAllocString(method);
    IWbemClassObject* outParameters = nullptr;
    if (SUCCEEDED(services->ExecMethod(className, name, 0, context, in, &outParameters, nullptr)) &&
        outParameters) {
      outParameters->Get(result, 0, &out.v, nullptr, nullptr);
      outParameters->Release();
    }
    ::SysFreeString(name);
    in->Release();
  }

  std::wstring Read(IWbemContext* context, const std::wstring& key, const wchar_t* value) {
    Variant out;
    Call(context, L"GetStringValue", getString, key, value, L"sValue", out);
    return out.v.vt == VT_BSTR && out.v.bstrVal ? out.v.bstrVal : L"";
  }
};

void ThroughProvider(Provider& provider, LONG view, bool read, Times& times) {
  const auto start = Clock::now();
  IWbemContext* context = nullptr;
  ::CoCreateInstance(CLSID_WbemContext, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemContext,
                     reinterpret_cast<void**>(&context));
  VARIANT architecture;
  architecture.vt = VT_I4;
  architecture.lVal = view;
  context->SetValue(const_cast<wchar_t*>(L"__ProviderArchitecture"), 0, &architecture);
  Variant out;
  provider.Call(context, L"EnumKey", provider.enumKey, kKey, nullptr, L"sNames", out);
  std::vector<std::wstring> names;
  if (out.v.vt == (VT_ARRAY | VT_BSTR) && out.v.parray) {
    BSTR* data = nullptr;
    ::SafeArrayAccessData(out.v.parray, reinterpret_cast<void**>(&data));
    for (ULONG i = 0; i < out.v.parray->rgsabound[0].cElements; ++i) names.emplace_back(data[i]);
    ::SafeArrayUnaccessData(out.v.parray);
  }
  const auto listed = Clock::now();
  for (const std::wstring& name : names) {
    if (!read) break;
    const std::wstring sub = std::wstring(kKey) + L'\\' + name;
    if (!IsComponent(provider.Read(context, sub, L"DisplayName"))) continue;
    provider.Read(context, sub, L"UninstallString");
    ++times.components;
  }
  context->Release();
  times.listing += listed - start;
  times.reading += Clock::now() - listed;
}

bool Connect(Provider& provider) {
  IWbemLocator* locator = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(&locator))))
    return false;
  BSTR root = ::SysAllocString(L"root\\default");
  const HRESULT connected =
      locator->ConnectServer(root, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &provider.services);
  ::SysFreeString(root);
  locator->Release();
  if (FAILED(connected)) return false;
  ::CoSetProxyBlanket(provider.services, RPC_C_AUTHN_DEFAULT, RPC_C_AUTHZ_NONE, nullptr,
                      RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  IWbemClassObject* stdRegProv = nullptr;
  if (FAILED(provider.services->GetObject(provider.className, 0, nullptr, &stdRegProv, nullptr)))
    return false;
  stdRegProv->GetMethod(L"EnumKey", 0, &provider.enumKey, nullptr);
  stdRegProv->GetMethod(L"GetStringValue", 0, &provider.getString, nullptr);
  stdRegProv->Release();
  return provider.enumKey && provider.getString;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring how = argc > 1 ? argv[1] : L"";
  Times times;
  if (how == L"registry") {
    ThroughFunctions(KEY_WOW64_32KEY, times);
    ThroughFunctions(KEY_WOW64_64KEY, times);
  } else if (how == L"provider" || how == L"provider-list") {
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const auto start = Clock::now();
    Provider provider;
    if (!Connect(provider)) return 2;
    times.connection = Clock::now() - start;
    ThroughProvider(provider, 32, how == L"provider", times);
    ThroughProvider(provider, 64, how == L"provider", times);
  } else {
    return 2;
  }
  std::printf("%.1f %.1f %d %.1f\n", Ms(times.listing), Ms(times.reading), times.components,
              Ms(times.connection));
  return 0;
}
