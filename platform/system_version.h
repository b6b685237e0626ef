// The running system's name for the System Information box, and the
// visual-styles step. Themes and manifests belong to Windows: here the step
// does nothing and themes never count as active, but the manifest text and
// its writer stay portable.
#pragma once

#include <string>

namespace brevin::platform {

// PRETTY_NAME of an os-release text (quotes and backslash escapes undone);
// NAME when PRETTY_NAME is missing; empty when neither is there.
std::string OsPrettyName(const std::string& osReleaseText);

// "Linux 6.1.0-13-amd64": the kernel's name and release.
std::string KernelRelease();

// The system's name and the kernel, e.g. "Debian GNU/Linux 12 (bookworm),
// Linux 6.1.0"; the os-release file is read from the given path, falling back
// to /usr/lib/os-release when it is the default and missing.
std::string SystemVersionName(const std::string& osReleasePath = "/etc/os-release");

// Windows' visual styles: never active on this platform.
bool ThemesActive();
// Nothing to do on this platform: the widget toolkit draws the native style.
void EnsureVisualStyles();

// The 22 lines of the application manifest, each ending in CR LF.
std::string ManifestText();
// Writes folder/exeName.exe.manifest through a temporary file beside it, so
// a failure leaves no partial file. False with a message in error on failure.
bool WriteManifest(const std::string& folder, const std::string& exeName, std::string& error);

}  // namespace brevin::platform
