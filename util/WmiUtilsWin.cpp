// Optional features of Windows, asked of WMI (Win32_OptionalFeature).
#include "WmiUtils.h"

#include "WinCom.h"

#include <wbemidl.h>

namespace WmiUtils {

using FileUtils::Win::ComPtr;
using FileUtils::Win::ComScope;

namespace {

// Whether WMI reports the feature's install state as 1 (enabled).
bool QueryInstallState(const QString& name)
{
    ComPtr<IWbemLocator> locator;
    if (FAILED(::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                  reinterpret_cast<void**>(&locator.p))))
        return false;
    ComPtr<IWbemServices> services;
    BSTR root = ::SysAllocString(L"ROOT\\CIMV2");
    const HRESULT connected = locator.p->ConnectServer(root, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                                       &services.p);
    ::SysFreeString(root);
    if (FAILED(connected))
        return false;
    ::CoSetProxyBlanket(services.p, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                        RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    const std::wstring query =
        (QStringLiteral("SELECT InstallState FROM Win32_OptionalFeature WHERE Name = '") + name + u'\'')
            .toStdWString();
    BSTR language = ::SysAllocString(L"WQL");
    BSTR text = ::SysAllocString(query.c_str());
    ComPtr<IEnumWbemClassObject> rows;
    const HRESULT ran = services.p->ExecQuery(language, text, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                              nullptr, &rows.p);
    ::SysFreeString(language);
    ::SysFreeString(text);
    if (FAILED(ran))
        return false;
    bool installed = false;
    ComPtr<IWbemClassObject> row;
    ULONG returned = 0;
    if (rows.p->Next(WBEM_INFINITE, 1, &row.p, &returned) == WBEM_S_NO_ERROR && returned == 1) {
        VARIANT state;
        ::VariantInit(&state);
        if (SUCCEEDED(row.p->Get(L"InstallState", 0, &state, nullptr, nullptr))) {
            installed = (state.vt == VT_I4 && state.lVal == 1) || (state.vt == VT_UI4 && state.ulVal == 1);
            ::VariantClear(&state);
        }
    }
    return installed;
}

}  // namespace

bool IsOptionalFeatureInstalled(const QString& name)
{
    // A name that could end the quoted text of the query is no feature's name.
    if (name.isEmpty() || name.contains(u'\'') || name.contains(u'\\'))
        return false;
    const ComScope com(COINIT_MULTITHREADED);
    if (!com.Usable())
        return false;
    return QueryInstallState(name);
}

} // namespace WmiUtils
