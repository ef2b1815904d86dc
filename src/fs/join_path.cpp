#include "fs/join_path.h"

std::wstring JoinPath(std::wstring_view base, std::wstring_view name) {
    if (name.empty()) return std::wstring(base);
    if (base.empty()) return std::wstring(name);

    const bool baseEndsWithSeparator = base.back() == L'\\';
    const bool nameStartsWithSeparator = name.front() == L'\\';
    std::wstring joined(base);
    if (baseEndsWithSeparator && nameStartsWithSeparator) {
        joined.append(name.substr(1));
    } else if (baseEndsWithSeparator || nameStartsWithSeparator) {
        joined.append(name);
    } else {
        joined.push_back(L'\\');
        joined.append(name);
    }
    return joined;
}

std::wstring JoinPath(std::wstring_view a, std::wstring_view b, std::wstring_view c) {
    return JoinPath(JoinPath(a, b), c);
}
