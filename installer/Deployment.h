// Deployment.h - the copies of the plug-in put into editors' folders: made and
// recorded, so that the uninstaller takes away exactly those and nothing else.
//
// The record is the key "Installed Copies" below the product settings key, in
// the 64-bit registry view on 64-bit Windows: one REG_SZ value per copy, named
// by the copy's full path, holding the installed plug-in it was copied from.
#pragma once

#include "HostDetection.h"

#include <cstdio>
#include <string>
#include <vector>

namespace plugferry {

/// Notes a copy made (the record's failures are not the copy's: ignored).
void RecordCopy(const std::string& target, const std::string& source) noexcept;
/// Forgets a copy that is gone.
void ForgetCopy(const std::string& target) noexcept;
/// The paths of every recorded copy.
std::vector<std::string> RecordedCopies();

/// Copies into one folder as Gladewick.8bf and records it; false on failure,
/// with the system's error code in *pError.
bool CopyInto(const std::string& folder, const std::string& source, DWORD* pError);
/// Deletes one copy and forgets it; a file already gone counts as removed.
bool RemoveCopy(const std::string& target, DWORD* pError);

/// What the silent setup does in place of the dialog's OK: the plug-in of the
/// right bitness into every folder the dialog would list. Each copy and each
/// failure is reported as a line on report. Returns the number of failures
/// (an unreadable product location counts as one).
int DeployToAllHosts(std::FILE* report);
/// Deletes every recorded copy; returns the number of failures.
int RemoveRecordedCopies(std::FILE* report);

} // namespace plugferry
