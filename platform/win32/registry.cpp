#include "platform/win32/registry.h"

#include <wbemidl.h>

#include "platform/win32/bounded.h"
#include "platform/win32/unique.h"
#include "platform/win32/wide.h"

namespace win32 {
namespace {

HKEY ToHkey(platform::HiveHandle hive) {
  // The predefined roots are sign-extended 32-bit values, on 32- and 64-bit Windows alike.
  return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(hive));
}

REGSAM ViewFlag(platform::RegistryView view) {
  return view == platform::RegistryView::SixtyFourBit ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

// A WMI context asking for the provider of the view, so the listing sees the same view as
// RegOpenKeyExW with the view's KEY_WOW64_* flag. Null when the platform has no context
// object; without one the provider sees this 32-bit program's own view.
ComPtr<IWbemContext> ViewContext(platform::RegistryView view) {
  ComPtr<IWbemContext> context;
  if (FAILED(::CoCreateInstance(CLSID_WbemContext, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemContext,
                                reinterpret_cast<void**>(context.put())))) {
    return {};
  }
  VARIANT value;
  value.vt = VT_I4;
  value.lVal = view == platform::RegistryView::SixtyFourBit ? 64 : 32;
  context->SetValue(const_cast<wchar_t*>(L"__ProviderArchitecture"), 0, &value);
  value.vt = VT_BOOL;
  value.boolVal = VARIANT_TRUE;
  context->SetValue(const_cast<wchar_t*>(L"__RequiredArchitecture"), 0, &value);
  return context;
}

std::vector<Text> NamesOf(const VARIANT& names) {
  std::vector<Text> result;
  if (!(names.vt & VT_ARRAY) || names.parray == nullptr) return result;
  SAFEARRAY* array = names.parray;
  LONG lower = 0, upper = -1;
  if (::SafeArrayGetDim(array) != 1 || FAILED(::SafeArrayGetLBound(array, 1, &lower)) ||
      FAILED(::SafeArrayGetUBound(array, 1, &upper))) {
    return result;
  }
  const VARTYPE type = names.vt & VT_TYPEMASK;
  for (LONG i = lower; i <= upper; ++i) {
    if (type == VT_BSTR) {
      UniqueBstr name;
      if (FAILED(::SafeArrayGetElement(array, &i, name.put()))) break;
      result.push_back(ToText(name.get(), name ? ::SysStringLen(name.get()) : 0));
    } else if (type == VT_VARIANT) {
      UniqueVariant element;
      if (FAILED(::SafeArrayGetElement(array, &i, element.get()))) break;
      const VARIANT* v = element.get();
      result.push_back(v->vt == VT_BSTR && v->bstrVal
                           ? ToText(v->bstrVal, ::SysStringLen(v->bstrVal))
                           : Text());  // an element that holds no text
    } else {
      break;
    }
  }
  return result;
}

// The listing through the provider, on the calling thread (a worker of its own).
std::optional<std::vector<Text>> ListThroughProvider(platform::HiveHandle hive, const Text& keyPath,
                                                     platform::RegistryView view) {
  // Every failure on the way (no COM, no service, no class, no key) means "no listing".
  ComApartment com(COINIT_MULTITHREADED);
  if (!com.usable()) return {};

  ComPtr<IWbemLocator> locator;
  if (FAILED(::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(locator.put())))) {
    return {};
  }
  const ComPtr<IWbemContext> context = ViewContext(view);
  if (!context && view == platform::RegistryView::SixtyFourBit) return {};
  UniqueBstr rootDefault(::SysAllocString(L"root\\default"));
  ComPtr<IWbemServices> services;
  // Without WBEM_FLAG_CONNECT_USE_MAX_WAIT the connection may wait for ever on a broken service.
  if (FAILED(locator->ConnectServer(rootDefault.get(), nullptr, nullptr, nullptr,
                                    WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr, context.get(),
                                    services.put()))) {
    return {};
  }
  const HRESULT blanket = ::CoSetProxyBlanket(
      services.get(), RPC_C_AUTHN_DEFAULT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  // An in-process provider has no proxy to set a blanket on; that is not a failure.
  if (FAILED(blanket) && blanket != E_NOINTERFACE) return {};

  UniqueBstr className(::SysAllocString(L"StdRegProv"));
  ComPtr<IWbemClassObject> provider;
  if (FAILED(services->GetObject(className.get(), 0, context.get(), provider.put(), nullptr))) {
    return {};
  }
  ComPtr<IWbemClassObject> signature;
  if (FAILED(provider->GetMethod(L"EnumKey", 0, signature.put(), nullptr)) || !signature) return {};
  ComPtr<IWbemClassObject> in;
  if (FAILED(signature->SpawnInstance(0, in.put()))) return {};

  UniqueVariant hiveValue;
  hiveValue.get()->vt = VT_I4;
  hiveValue.get()->lVal = hive;
  UniqueVariant pathValue;
  pathValue.get()->vt = VT_BSTR;
  pathValue.get()->bstrVal = ::SysAllocStringLen(Wide(keyPath), static_cast<UINT>(keyPath.size()));
  if (FAILED(in->Put(L"hDefKey", 0, hiveValue.get(), 0)) ||
      FAILED(in->Put(L"sSubKeyName", 0, pathValue.get(), 0))) {
    return {};
  }

  UniqueBstr methodName(::SysAllocString(L"EnumKey"));
  ComPtr<IWbemClassObject> out;
  if (FAILED(services->ExecMethod(className.get(), methodName.get(), 0, context.get(), in.get(),
                                  out.put(), nullptr)) ||
      !out) {
    return {};
  }
  UniqueVariant returned;
  if (FAILED(out->Get(L"ReturnValue", 0, returned.get(), nullptr, nullptr)) ||
      FAILED(::VariantChangeType(returned.get(), returned.get(), 0, VT_I4)) || returned.get()->lVal != 0) {
    return {};
  }
  UniqueVariant names;
  if (FAILED(out->Get(L"sNames", 0, names.get(), nullptr, nullptr))) return {};
  return NamesOf(*names.get());
}

}  // namespace

bool Registry::HasSixtyFourBitView() {
#ifdef _WIN64
  // A 64-bit program runs on 64-bit Windows only; IsWow64Process answers FALSE for it, and
  // older Windows have no IsWow64Process2.
  return true;
#else
  // IsWow64Process2 (Windows 10 1709 and later) tells the machine itself, also for this x86
  // program on ARM64 Windows; looked up, not imported, so that older Windows still start it.
  using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
  const auto isWow64Process2 = reinterpret_cast<IsWow64Process2Fn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "IsWow64Process2")));
  USHORT process = 0, native = 0;
  if (isWow64Process2 && isWow64Process2(::GetCurrentProcess(), &process, &native)) {
    constexpr USHORT kArm64 = 0xAA64;  // IMAGE_FILE_MACHINE_ARM64
    return native == IMAGE_FILE_MACHINE_AMD64 || native == kArm64 ||
           native == IMAGE_FILE_MACHINE_IA64;
  }
  BOOL wow64 = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
#endif
}

std::optional<std::vector<Text>> Registry::EnumKey(platform::HiveHandle hive, const Text& keyPath,
                                                   platform::RegistryView view) {
  // A broken management service can leave a call waiting for good; the registry functions
  // then list instead, and a provider that did not answer once is not asked again.
  if (providerTimedOut_) return {};
  auto answer = WithinBound<std::optional<std::vector<Text>>>(
      [=] { return ListThroughProvider(hive, keyPath, view); }, providerBound_);
  if (!answer) providerTimedOut_ = true;
  return answer ? *answer : std::nullopt;
}

std::vector<Text> Registry::EnumKeyDirect(platform::HiveHandle hive, const Text& keyPath,
                                          platform::RegistryView view) {
  UniqueKey key;
  if (::RegOpenKeyExW(ToHkey(hive), Wide(keyPath), 0, KEY_ENUMERATE_SUB_KEYS | ViewFlag(view),
                      key.put()) != ERROR_SUCCESS) {
    return {};
  }
  std::vector<Text> names;
  wchar_t name[256];  // a key name has 255 characters at most
  for (DWORD index = 0;; ++index) {
    DWORD length = 256;
    if (::RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    names.push_back(ToText(name, length));
  }
  return names;
}

UniqueKey Registry::Open(platform::HiveHandle hive, const Text& keyPath,
                         platform::RegistryView view) {
  const std::size_t slash = keyPath.rfind(u'\\');
  HKEY base = ToHkey(hive);
  Text leaf = keyPath;
  if (slash != Text::npos && hive == platform::kHkeyLocalMachine) {
    const Text parentPath = keyPath.substr(0, slash);
    if (!parent_.key || parent_.view != view || parent_.path != parentPath) {
      parent_ = {parentPath, view, UniqueKey()};
      ::RegOpenKeyExW(base, Wide(parentPath), 0, KEY_READ | ViewFlag(view), parent_.key.put());
    }
    if (parent_.key) {
      base = parent_.key.get();
      leaf = keyPath.substr(slash + 1);
    }
  }
  UniqueKey key;
  const LSTATUS opened = ::RegOpenKeyExW(base, Wide(leaf), 0, KEY_READ | ViewFlag(view), key.put());
  if (opened == ERROR_SUCCESS) return key;
  // The parent kept open was deleted meanwhile (ERROR_KEY_DELETED), or is otherwise no use:
  // the whole path, from the root.
  if (opened != ERROR_FILE_NOT_FOUND && base != ToHkey(hive)) {
    parent_.key.reset();
    ::RegOpenKeyExW(ToHkey(hive), Wide(keyPath), 0, KEY_READ | ViewFlag(view), key.put());
  }
  return key;
}

std::optional<platform::Value> Registry::QueryValue(platform::HiveHandle hive,
                                                   const Text& keyPath, const Text& valueName,
                                                   platform::RegistryView view) {
  const UniqueKey key = Open(hive, keyPath, view);
  if (!key) return std::nullopt;
  // One read into a buffer that holds most values; a larger value is read again at its
  // real size (and again if it grew in between), so no value is ever cut short.
  platform::Value value;
  value.data.resize(512);
  for (;;) {
    DWORD size = static_cast<DWORD>(value.data.size());
    DWORD type = 0;
    const LSTATUS status =
        ::RegQueryValueExW(key.get(), Wide(valueName), nullptr, &type, value.data.data(), &size);
    if (status == ERROR_MORE_DATA) {
      value.data.resize(size);
      continue;
    }
    if (status != ERROR_SUCCESS) return std::nullopt;
    value.data.resize(size);
    value.type = type;
    return value;
  }
}

bool Registry::KeyExists(platform::HiveHandle hive, const Text& keyPath,
                         platform::RegistryView view) {
  return static_cast<bool>(Open(hive, keyPath, view));
}

}  // namespace win32
