#include "platform/ui_language.h"

#include "platform/os_version.h"

namespace {

constexpr wchar_t kKernelLibrary[] = L"kernel32.dll";
constexpr char kGetThreadUiLanguageName[] = "GetThreadUILanguage";
constexpr char kSetThreadUiLanguageName[] = "SetThreadUILanguage";

constexpr DWORD kFirstUiLanguageMajorVersion = 6;
constexpr LANGID kFallbackLanguage = 0x0409;  // English (United States)

using GetThreadUiLanguageFunction = LANGID(WINAPI*)();
using SetThreadUiLanguageFunction = LANGID(WINAPI*)(LANGID);

// A kernel32 export that older systems lack; null when it is missing.
template <typename Function>
Function FindKernelFunction(const char* name) {
    const HMODULE kernel = GetModuleHandleW(kKernelLibrary);
    if (kernel == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name)));
}

struct LanguageRule {
    WORD primaryLanguage;
    LANGID language;
};

constexpr LanguageRule kLanguageRules[] = {
    {LANG_CHINESE, 0x0004}, {LANG_GERMAN, 0x0407},     {LANG_SPANISH, 0x0C0A},
    {LANG_FRENCH, 0x040C},  {LANG_ITALIAN, 0x0410},    {LANG_JAPANESE, 0x0411},
    {LANG_KOREAN, 0x0412},  {LANG_PORTUGUESE, 0x0416}, {LANG_RUSSIAN, 0x0419},
};

}  // namespace

LANGID MapToSupportedUiLanguage(LANGID language) {
    const WORD primary = PRIMARYLANGID(language);
    for (const LanguageRule& rule : kLanguageRules) {
        if (rule.primaryLanguage == primary) return rule.language;
    }
    return kFallbackLanguage;
}

DWORD ApplyThreadUiLanguage() {
    LANGID language = kFallbackLanguage;
    WORD sortId = 0;
    if (GetOsMajorVersion() >= kFirstUiLanguageMajorVersion) {
        const auto getLanguage =
            FindKernelFunction<GetThreadUiLanguageFunction>(kGetThreadUiLanguageName);
        if (getLanguage != nullptr) language = getLanguage();
    } else {
        const LCID locale = GetThreadLocale();
        language = LANGIDFROMLCID(locale);
        sortId = SORTIDFROMLCID(locale);
    }
    return SetThreadLanguage(MapToSupportedUiLanguage(language), sortId);
}

DWORD SetThreadLanguage(LANGID language, WORD sortId) {
    if (GetOsMajorVersion() < kFirstUiLanguageMajorVersion) {
        return SetThreadLocale(MAKELCID(language, sortId));
    }
    const auto setLanguage =
        FindKernelFunction<SetThreadUiLanguageFunction>(kSetThreadUiLanguageName);
    if (setLanguage == nullptr) return 0;
    return setLanguage(language);
}
