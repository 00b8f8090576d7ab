#pragma once
// File and folder names are UTF-8 text throughout the program. These turn such a name into the
// system's own path type and back, so that a folder under a user name with a letter such as
// "ö" works everywhere: Windows would otherwise read a narrow name in its ANSI code page.
// Every file the program opens with the standard library goes through Utf8Path.

#include <filesystem>
#include <string>
#include <string_view>

namespace halvern {

std::filesystem::path Utf8Path(std::string_view utf8);
std::string Utf8Text(const std::filesystem::path& path);

// The path as the system writes it, for messages: backslashes on Windows.
std::string NativePath(const std::string& path);

}  // namespace halvern
