#pragma once
// Logging of a failed system call: LogWriteLastError reads the thread's last
// error E first, expands the message, drops its trailing white space and
// appends ".\n" when E is 0, else " (text [0x%08x])\n" with the system's text
// for E (CR and LF turned into blanks; a fixed text for 574; empty when the
// system has none). The composed message is logged as an argument, never as a
// format.

#include <cstdint>

int LogWriteLastError(uint32_t flags, unsigned module, uint32_t code, const wchar_t* format, ...);
