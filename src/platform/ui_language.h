#pragma once
// The user-interface language of the calling thread, limited to the languages
// the client ships. Systems from major version 6 on set the thread UI language
// (functions looked up at run time in kernel32.dll); older ones, and a system
// whose version cannot be read, set the thread locale instead.

#include <windows.h>

// The LANGID that a thread of the given LANGID runs with, chosen by its primary
// language: Chinese 0x0004, German 0x0407, Spanish 0x0C0A, French 0x040C,
// Italian 0x0410, Japanese 0x0411, Korean 0x0412, Portuguese 0x0416, Russian
// 0x0419, any other 0x0409.
LANGID MapToSupportedUiLanguage(LANGID language);

// Reads the thread's UI language (0x0409 when GetThreadUILanguage is missing;
// before major version 6 the thread locale with its sort ID), maps it with
// MapToSupportedUiLanguage and sets the result through SetThreadLanguage, whose
// result it returns.
DWORD ApplyThreadUiLanguage();

// From major version 6 on: SetThreadUILanguage(language) and its result (the
// LANGID set), or 0 with nothing changed when the system lacks the function;
// sortId is not used. Before: SetThreadLocale(MAKELCID(language, sortId)) and
// its result.
DWORD SetThreadLanguage(LANGID language, WORD sortId);
