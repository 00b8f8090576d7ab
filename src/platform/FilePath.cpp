#include "platform/FilePath.h"

namespace halvern {

std::filesystem::path Utf8Path(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Text(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string NativePath(const std::string& path) {
    return Utf8Text(Utf8Path(path).make_preferred());
}

}  // namespace halvern
