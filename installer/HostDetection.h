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

/// Which build of the plug-in an editor's folder needs. An editor registered in
/// the 64-bit registry view is a 64-bit program, one in the 32-bit view a 32-bit
/// one; the current user's keys are shared by both and folders added by hand say
/// nothing, so those get the product location's plug-in (Unknown).
enum class Bitness : LPARAM
{
    Unknown = 0,
    X64 = 64,
    X86 = 32,
};

struct HostFolder
{
    std::string folder;
    Bitness bitness;
};

/// True on 64-bit Windows, where the registry has a 64-bit and a 32-bit view.
bool HasTwoRegistryViews() noexcept;

/// The plug-in folders registered by the known hosts: HKEY_LOCAL_MACHINE first
/// (on 64-bit Windows its 64-bit view, then its 32-bit view), then
/// HKEY_CURRENT_USER, then the document class; each folder tested to exist.
/// The same folder may appear more than once. Registry values longer than a
/// path buffer (260 bytes) are skipped; nothing here reports a failure.
std::vector<HostFolder> FindHostFolders();
/// The folders of FindHostFolders alone.
std::vector<std::string> FindHostPluginFolders();

/// The installed plug-in file that a folder of the given bitness receives: the
/// Pathname of the product settings in the registry view of that bitness, or
/// productLocation for Unknown. Empty when that view holds no settings.
std::string InstalledPluginFor(Bitness bitness, const std::string& productLocation);

/// The dialog's host detection: fills the target list (control 1000), reads the
/// product settings, shows the product location in label 1003 or reports that
/// the settings could not be read (message box, label, and OK and Add...
/// disabled unless bRemoveMode), and sets the list's horizontal extent.
/// Returns the product location (the installed plug-in file), empty on failure.
std::string DetectPluginFolders(HWND hDlg, bool bRemoveMode);

/// Adds a folder to the target list, remembering its bitness with the entry.
void AddTarget(HWND hList, const std::string& folder, Bitness bitness) noexcept;

/// Lets the list scroll sideways as far as its widest entry needs.
void SetListExtent(HWND hList) noexcept;

/// folder + "\" + name, or an empty string when that would not fit in the
/// system's path limit (MAX_PATH including the terminating zero).
std::string JoinPath(const std::string& folder, const char* pName);

} // namespace plugferry
