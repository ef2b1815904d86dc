// The registered document and URL commands carried out as the shell does it:
// "%1" replaced by the document path or the URL, the command line started, and
// the stand-in client must understand it. (Wine 8's shell reads no per-user
// classes, so the expansion is done here; the registry text comes from the
// real registration, in a sandbox.)
#include <gtest/gtest.h>

#include <string>

#include "integration/client_contract.h"
#include "integration/file_associations.h"
#include "integration/registry_reading.h"
#include "integration/stand_in_control.h"
#include "support/test_support.h"

using testing_support::RegistrySandbox;
using testing_support::TempFolder;

namespace {

std::wstring RegisteredCommand(HKEY root, const std::wstring& key) {
    const auto value = registry_reading::ReadValue(root, key, nullptr);
    if (value.status != ERROR_SUCCESS || value.bytes.size() < sizeof(wchar_t)) return {};
    return std::wstring(reinterpret_cast<const wchar_t*>(value.bytes.data()),
                        value.bytes.size() / sizeof(wchar_t) - 1);
}

// The shell's expansion: every "%1" becomes the item.
std::wstring Expand(std::wstring command, const std::wstring& item) {
    for (size_t at = command.find(L"%1"); at != std::wstring::npos;
         at = command.find(L"%1", at + item.size())) {
        command.replace(at, 2, item);
    }
    return command;
}

}  // namespace

TEST(RegisteredCommandLines, StartTheClientWithTheDocumentOrTheUrl) {
    RegistrySandbox sandbox;
    TempFolder root;
    // An install folder with blanks in it, as user profiles often have.
    const std::wstring installFolder = root / L"Quellmoor Client";
    CreateDirectoryW(installFolder.c_str(), nullptr);
    const std::wstring exe = stand_in::PlaceClient(installFolder, kVuClientExe);
    stand_in::WriteClientSettings(installFolder, "[client]\r\nRunMs=50\r\nExitCode=3\r\n");
    ASSERT_TRUE(RegisterFileType(exe));
    ASSERT_TRUE(RegisterUrlScheme(exe));

    const std::wstring document = root / L"My Session.n4a";
    const std::wstring documentCommand = RegisteredCommand(
        sandbox.Key(), L"Software\\Classes\\VuClient.Document\\shell\\open\\command");
    ASSERT_FALSE(documentCommand.empty());
    EXPECT_EQ(testing_support::RunProgram(Expand(documentCommand, document)), 3u)
        << testing_support::ToUtf8(Expand(documentCommand, document));

    const std::wstring url = L"kivclient://connect/desk 7?user=a&b=c";
    const std::wstring urlCommand =
        RegisteredCommand(sandbox.Key(), L"Software\\Classes\\kivclient\\shell\\open\\command");
    ASSERT_FALSE(urlCommand.empty());
    EXPECT_EQ(testing_support::RunProgram(Expand(urlCommand, url)), 3u)
        << testing_support::ToUtf8(Expand(urlCommand, url));

    std::vector<stand_in::ClientRecord> starts;
    for (const auto& record : stand_in::ReadClientRecords(installFolder)) {
        if (record.event == L"start") starts.push_back(record);
    }
    ASSERT_EQ(starts.size(), 2u);
    // start fields: mode, detail, show, arguments, command line
    EXPECT_EQ(starts[0].fields.at(0), L"document");
    EXPECT_EQ(starts[0].fields.at(1), document) << testing_support::ToUtf8(starts[0].fields.at(4));
    EXPECT_EQ(starts[1].fields.at(0), L"url");
    EXPECT_EQ(starts[1].fields.at(1), url) << testing_support::ToUtf8(starts[1].fields.at(4));
    EXPECT_EQ(starts[1].fields.at(3), L"urlSchema \"" + url + L"\"");
}
