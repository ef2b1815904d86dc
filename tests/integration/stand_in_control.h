#pragma once
// Test-side control of the stand-in client (tests/fixtures/stand_in_client.cpp):
// put a copy of it into a folder under the client's name, give it settings,
// start it and read what it recorded.

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace stand_in {

// Copies the built stand-in (VuClient.exe from the test's bin folder) into
// folder under the file name asName; returns the copy's path.
std::wstring PlaceClient(const std::wstring& folder, const std::wstring& asName);

// Writes stand_in_client.ini into folder (plain text, e.g. "[client]\r\nOnClose=ignore\r\n").
void WriteClientSettings(const std::wstring& folder, const std::string& iniText);

// One line of the stand-in's record file.
struct ClientRecord {
    std::wstring event;  // start, window, close, exit
    std::wstring exe;
    DWORD pid = 0;
    std::wstring time;
    std::vector<std::wstring> fields;  // the event's own fields
};

// Every record of the stand-ins in folder, oldest first.
std::vector<ClientRecord> ReadClientRecords(const std::wstring& folder);

// The records of one process and one event.
std::vector<ClientRecord> RecordsOf(const std::wstring& folder, DWORD pid, const wchar_t* event);

// Starts exePath (no arguments) and waits until its window is created and marked.
testing::AssertionResult StartClientWindow(testing_support::ChildProcess& child,
                                           const std::wstring& exePath, DWORD timeoutMs = 15000);

}  // namespace stand_in
