// HostDetection.h - finds the plug-in folders of the image editors installed on
// this machine, and the product's own installed plug-in file.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

namespace plugferry {

/// The product whose settings name the installed plug-in file.
inline constexpr const char* kVendorName = "Corvane Technologies";
inline constexpr const char* kProductName = "Gladewick Pro";
/// The name every copy gets in a host's plug-in folder.
inline constexpr const char* kPluginFileName = "Gladewick.8bf";

/// The plug-in folders registered by the known hosts, HKEY_LOCAL_MACHINE first,
/// then HKEY_CURRENT_USER, then the document class; each folder tested to exist.
/// The same folder may appear more than once. Registry values longer than a
/// path buffer (260 bytes) are skipped; nothing here reports a failure.
std::vector<std::string> FindHostPluginFolders();

/// The dialog's host detection: fills the target list (control 1000), reads the
/// product settings, shows the product location in label 1003 or reports that
/// the settings could not be read (message box, label, and OK and Add...
/// disabled unless bRemoveMode), and sets the list's horizontal extent.
/// Returns the product location (the installed plug-in file), empty on failure.
std::string DetectPluginFolders(HWND hDlg, bool bRemoveMode);

/// Lets the list scroll sideways as far as its widest entry needs.
void SetListExtent(HWND hList) noexcept;

/// folder + "\" + name, or an empty string when that would not fit in the
/// system's path limit (MAX_PATH including the terminating zero).
std::string JoinPath(const std::string& folder, const char* pName);

} // namespace plugferry
