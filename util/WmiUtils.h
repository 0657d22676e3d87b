#pragma once
// Whether an optional feature of the system is switched on. Windows answers this through
// WMI (Win32_OptionalFeature); Linux has one such feature, network browsing, which is
// available when the desktop's network mounts folder exists.

#include <QString>

namespace WmiUtils {

// True only when the named feature is enabled; false for every other outcome, unknown names
// included. Never raises. The feature name is compared ignoring letter case, as WMI does.
bool IsOptionalFeatureInstalled(const QString& name);

// IsOptionalFeatureInstalled("SMB1Protocol-Client"): whether network shares can be browsed.
bool IsSmb1ClientInstalled();

} // namespace WmiUtils
