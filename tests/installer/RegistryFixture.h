// RegistryFixture.h - registry keys and folders that the installer tests make in
// their private Wine prefix, and remove again.
#pragma once

#include <string>

#include <windows.h>

namespace gwtest {

/// Removes every registry tree the installer tests write: the hosts' keys under
/// both roots, the document class and the product settings.
void ClearHostRegistry();

/// Sets a text value (pName null: the key's default value), creating the key.
void SetRegistryText(HKEY hRoot, const std::string& key, const char* pName,
                     const std::string& value);

/// Writes the product settings with the given installed plug-in file.
void SetProductLocation(const std::string& pathname);

/// A fresh scratch folder (Windows path, no trailing backslash) for one test;
/// RemoveScratchFolder deletes it with everything in it.
std::string MakeScratchFolder(const std::string& name);
void RemoveScratchFolder(const std::string& folder);

/// Creates a folder and its parents; returns the path.
std::string MakeFolder(const std::string& path);
/// Writes a file with the given contents.
void WriteTextFile(const std::string& path, const std::string& contents);
/// The contents of a file, or "<missing>".
std::string ReadTextFile(const std::string& path);
bool FileExists(const std::string& path);

} // namespace gwtest
