// The ".n4a" document type and the "kivclient" URL scheme, written into a
// per-test registry sandbox standing in for HKEY_CURRENT_USER and read back
// value by value.
#include <gtest/gtest.h>

#include <aclapi.h>

#include <string>

#include "integration/file_associations.h"
#include "integration/registry_reading.h"
#include "support/test_support.h"

using registry_reading::CountKeyContents;
using registry_reading::KeyExists;
using registry_reading::ReadValue;
using registry_reading::StringBytes;
using registry_reading::WriteString;
using testing_support::RegistrySandbox;

namespace {

constexpr wchar_t kExePath[] = L"D:\\Users\\A B\\AppData\\Roaming\\QuellmoorClient\\VuClient.exe";
constexpr wchar_t kMimeKey[] =
    L"Software\\Classes\\MIME\\Database\\Content Type\\application/x-n4a";
constexpr wchar_t kContentTypeKey[] = L"Software\\Classes\\MIME\\Database\\Content Type";
constexpr wchar_t kClassKey[] = L"Software\\Classes\\VuClient.Document";
constexpr wchar_t kExtensionKey[] = L"Software\\Classes\\.n4a";
constexpr wchar_t kSchemeKey[] = L"Software\\Classes\\kivclient";

struct Entry {
    std::wstring key;
    const wchar_t* name;
    std::wstring data;
};

std::vector<Entry> ExpectedEntries(const std::wstring& exe) {
    return {
        {kMimeKey, L"Extension", L".n4a"},
        {kClassKey, nullptr, L"VuClient.Document"},
        {std::wstring(kClassKey) + L"\\DefaultIcon", nullptr, exe + L",0"},
        {std::wstring(kClassKey) + L"\\shell\\open\\command", nullptr, exe + L" %1"},
        {kExtensionKey, nullptr, L"VuClient.Document"},
        {kSchemeKey, L"URL Protocol", L""},
        {std::wstring(kSchemeKey) + L"\\DefaultIcon", nullptr, exe + L",0"},
        {std::wstring(kSchemeKey) + L"\\shell", nullptr, L"open"},
        {std::wstring(kSchemeKey) + L"\\shell\\open", nullptr, L""},
        {std::wstring(kSchemeKey) + L"\\shell\\open\\command", nullptr,
         L"\"" + exe + L"\" urlSchema \"%1\""},
    };
}

void ExpectEntries(HKEY root, const std::wstring& exe) {
    for (const Entry& entry : ExpectedEntries(exe)) {
        SCOPED_TRACE(
            testing_support::ToUtf8(entry.key + L" : " + (entry.name ? entry.name : L"(default)")));
        const auto value = ReadValue(root, entry.key, entry.name);
        ASSERT_EQ(value.status, ERROR_SUCCESS);
        EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(value.bytes.size(), (entry.data.size() + 1) * sizeof(wchar_t));
        EXPECT_EQ(value.bytes, StringBytes(entry.data));
    }
}

// Leaves a key of the sandbox readable only (to everyone), so that opening it
// for writing is refused; gives full access back on destruction.
class ReadOnlyKey {
  public:
    ReadOnlyKey(HKEY root, const std::wstring& path) : root_(root), path_(path) {
        EXPECT_TRUE(WriteString(root, path, L"marker", L"kept"));
        EXPECT_TRUE(SetAccess(KEY_READ | WRITE_DAC));
    }
    ~ReadOnlyKey() { SetAccess(KEY_ALL_ACCESS); }
    ReadOnlyKey(const ReadOnlyKey&) = delete;
    ReadOnlyKey& operator=(const ReadOnlyKey&) = delete;

  private:
    bool SetAccess(DWORD access) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(root_, path_.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS) return false;
        BYTE everyone[SECURITY_MAX_SID_SIZE];
        DWORD sidSize = sizeof(everyone);
        BYTE aclBuffer[256];
        auto* acl = reinterpret_cast<ACL*>(aclBuffer);
        const bool set = CreateWellKnownSid(WinWorldSid, nullptr, everyone, &sidSize) &&
                         InitializeAcl(acl, sizeof(aclBuffer), ACL_REVISION) &&
                         AddAccessAllowedAce(acl, ACL_REVISION, access, everyone) &&
                         SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr,
                                         nullptr, acl, nullptr) == ERROR_SUCCESS;
        RegCloseKey(key);
        return set;
    }

    HKEY root_;
    std::wstring path_;
};

}  // namespace

TEST(FileTypeAndUrlScheme, WritesEveryEntryWithItsTerminatingZero) {
    RegistrySandbox sandbox;
    EXPECT_TRUE(RegisterFileType(kExePath));
    EXPECT_TRUE(RegisterUrlScheme(kExePath));
    ExpectEntries(sandbox.Key(), kExePath);

    // The command lines as the shell will see them: unquoted for documents,
    // quoted for URLs.
    EXPECT_EQ(ReadValue(sandbox.Key(), std::wstring(kClassKey) + L"\\shell\\open\\command", nullptr)
                  .bytes,
              StringBytes(L"D:\\Users\\A B\\AppData\\Roaming\\QuellmoorClient\\VuClient.exe %1"));
    EXPECT_EQ(
        ReadValue(sandbox.Key(), std::wstring(kSchemeKey) + L"\\shell\\open\\command", nullptr)
            .bytes,
        StringBytes(L"\"D:\\Users\\A B\\AppData\\Roaming\\QuellmoorClient\\VuClient.exe\" "
                    L"urlSchema \"%1\""));
    EXPECT_EQ(ReadValue(sandbox.Key(), kSchemeKey, L"URL Protocol").bytes.size(), 2u);

    // Nothing else: the scheme's own description stays unwritten.
    EXPECT_EQ(ReadValue(sandbox.Key(), kSchemeKey, nullptr).status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(CountKeyContents(sandbox.Key(), kMimeKey).values, 1);
    EXPECT_EQ(CountKeyContents(sandbox.Key(), kSchemeKey).values, 1);
    EXPECT_EQ(CountKeyContents(sandbox.Key(), kSchemeKey).subKeys, 2);
    EXPECT_EQ(CountKeyContents(sandbox.Key(), std::wstring(kSchemeKey) + L"\\shell").subKeys, 1);
    EXPECT_EQ(CountKeyContents(sandbox.Key(), kClassKey).values, 1);
    EXPECT_EQ(CountKeyContents(sandbox.Key(), kClassKey).subKeys, 2);
    EXPECT_EQ(CountKeyContents(sandbox.Key(), kExtensionKey).values, 1);
    EXPECT_EQ(CountKeyContents(sandbox.Key(), kExtensionKey).subKeys, 0);
    EXPECT_EQ(CountKeyContents(sandbox.Key(), L"Software\\Classes").subKeys, 4);
}

TEST(FileTypeAndUrlScheme, RegisteringAgainRewritesWhatOthersChanged) {
    RegistrySandbox sandbox;
    // Another program owned ".n4a" before, with a value of its own.
    ASSERT_TRUE(WriteString(sandbox.Key(), kExtensionKey, nullptr, L"OtherApp.Document"));
    ASSERT_TRUE(WriteString(sandbox.Key(), kExtensionKey, L"Content Type", L"text/plain"));
    ASSERT_TRUE(RegisterFileType(L"C:\\Old\\VuClient.exe"));
    ASSERT_TRUE(RegisterUrlScheme(L"C:\\Old\\VuClient.exe"));
    ASSERT_TRUE(
        WriteString(sandbox.Key(), std::wstring(kSchemeKey) + L"\\shell", nullptr, L"edit"));
    ASSERT_TRUE(WriteString(sandbox.Key(), kMimeKey, L"Extension", L".txt"));

    const std::wstring newExe = L"C:\\Users\\me\\AppData\\Roaming\\QuellmoorClient\\VuClient.exe";
    EXPECT_TRUE(RegisterFileType(newExe));
    EXPECT_TRUE(RegisterUrlScheme(newExe));
    ExpectEntries(sandbox.Key(), newExe);
    // A value the system does not write is left alone.
    EXPECT_EQ(ReadValue(sandbox.Key(), kExtensionKey, L"Content Type").bytes,
              StringBytes(L"text/plain"));
}

TEST(FileTypeAndUrlScheme, UnregisteringDeletesWholeTreesAndTellsWhatWasThere) {
    RegistrySandbox sandbox;
    ASSERT_TRUE(RegisterFileType(kExePath));
    ASSERT_TRUE(RegisterUrlScheme(kExePath));
    // Keys that others added below the client's own keys go with them.
    ASSERT_TRUE(WriteString(sandbox.Key(), std::wstring(kClassKey) + L"\\shell\\print\\command",
                            nullptr, L"print %1"));
    ASSERT_TRUE(WriteString(sandbox.Key(),
                            std::wstring(kSchemeKey) + L"\\shell\\open\\ddeexec\\topic", nullptr,
                            L"System"));
    const std::wstring openWith = std::wstring(kExtensionKey) + L"\\OpenWithProgids";
    ASSERT_TRUE(WriteString(sandbox.Key(), openWith, L"VuClient.Document", L""));
    // A neighbour that must stay.
    ASSERT_TRUE(WriteString(sandbox.Key(), std::wstring(kContentTypeKey) + L"\\application/x-other",
                            L"Extension", L".oth"));

    EXPECT_TRUE(UnregisterFileType(kExePath));
    EXPECT_TRUE(UnregisterUrlScheme(kExePath));
    EXPECT_FALSE(KeyExists(sandbox.Key(), kClassKey));
    EXPECT_FALSE(KeyExists(sandbox.Key(), kExtensionKey));
    EXPECT_FALSE(KeyExists(sandbox.Key(), kMimeKey));
    EXPECT_FALSE(KeyExists(sandbox.Key(), kSchemeKey));
    EXPECT_TRUE(KeyExists(sandbox.Key(), std::wstring(kContentTypeKey) + L"\\application/x-other"));

    // Nothing left to remove: both say so.
    EXPECT_FALSE(UnregisterFileType(kExePath));
    EXPECT_FALSE(UnregisterUrlScheme(kExePath));

    // The extension key is shared: another program offering itself for the
    // type keeps its entry, and so the key; only the client's marks go.
    ASSERT_TRUE(RegisterFileType(kExePath));
    ASSERT_TRUE(WriteString(sandbox.Key(), openWith, L"VuClient.Document", L""));
    ASSERT_TRUE(WriteString(sandbox.Key(), openWith, L"OtherApp.Document", L""));
    EXPECT_TRUE(UnregisterFileType(kExePath));
    EXPECT_EQ(ReadValue(sandbox.Key(), kExtensionKey, nullptr).status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ReadValue(sandbox.Key(), openWith, L"VuClient.Document").status,
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ReadValue(sandbox.Key(), openWith, L"OtherApp.Document").status, ERROR_SUCCESS);
    RegDeleteTreeW(sandbox.Key(), kExtensionKey);

    // Another program took ".n4a" over after the install: its key stays.
    ASSERT_TRUE(RegisterFileType(kExePath));
    ASSERT_TRUE(WriteString(sandbox.Key(), kExtensionKey, nullptr, L"OtherApp.Document"));
    EXPECT_TRUE(UnregisterFileType(kExePath));
    EXPECT_FALSE(KeyExists(sandbox.Key(), kClassKey));
    EXPECT_EQ(ReadValue(sandbox.Key(), kExtensionKey, nullptr).bytes,
              StringBytes(L"OtherApp.Document"));

    // And "kivclient": a scheme whose command starts another program stays;
    // the client's own, from whatever folder, goes.
    const std::wstring schemeCommand = std::wstring(kSchemeKey) + L"\\shell\\open\\command";
    ASSERT_TRUE(RegisterUrlScheme(L"C:\\Former\\VUCLIENT.EXE"));
    EXPECT_FALSE(UrlSchemeBelongsToAnotherProgram());
    ASSERT_TRUE(
        WriteString(sandbox.Key(), schemeCommand, nullptr, L"\"C:\\Other\\other.exe\" \"%1\""));
    EXPECT_TRUE(UrlSchemeBelongsToAnotherProgram());
    EXPECT_FALSE(UnregisterUrlScheme(kExePath));
    EXPECT_TRUE(KeyExists(sandbox.Key(), schemeCommand));
    ASSERT_TRUE(RegisterUrlScheme(kExePath));
    EXPECT_TRUE(UnregisterUrlScheme(kExePath));
    EXPECT_FALSE(KeyExists(sandbox.Key(), kSchemeKey));
}

TEST(FileTypeAndUrlScheme, UnregisteringWithoutAnyClassesGivesFalse) {
    RegistrySandbox sandbox;
    // Not even "Content Type" exists.
    EXPECT_FALSE(UnregisterFileType(L""));
    EXPECT_FALSE(UnregisterUrlScheme(L""));
    EXPECT_FALSE(KeyExists(sandbox.Key(), kContentTypeKey));
}

TEST(FileTypeAndUrlScheme, StopsAtTheFirstRefusedKey) {
    RegistrySandbox sandbox;
    {
        // The document class icon key may not be written: the class's default
        // is there, its command and the extension never come.
        ReadOnlyKey refused(sandbox.Key(), std::wstring(kClassKey) + L"\\DefaultIcon");
        EXPECT_FALSE(RegisterFileType(kExePath));
        EXPECT_EQ(ReadValue(sandbox.Key(), kMimeKey, L"Extension").bytes, StringBytes(L".n4a"));
        EXPECT_EQ(ReadValue(sandbox.Key(), kClassKey, nullptr).bytes,
                  StringBytes(L"VuClient.Document"));
        EXPECT_EQ(
            ReadValue(sandbox.Key(), std::wstring(kClassKey) + L"\\DefaultIcon", nullptr).status,
            ERROR_FILE_NOT_FOUND);
        EXPECT_FALSE(KeyExists(sandbox.Key(), std::wstring(kClassKey) + L"\\shell"));
        EXPECT_FALSE(KeyExists(sandbox.Key(), kExtensionKey));

        // A refused key deep in the class tree fails its deletion, but the
        // extension and the MIME type still go, and the MIME type decides.
        EXPECT_TRUE(UnregisterFileType(kExePath));
        EXPECT_TRUE(KeyExists(sandbox.Key(), kClassKey));
        EXPECT_FALSE(KeyExists(sandbox.Key(), kMimeKey));
    }
    {
        ReadOnlyKey refused(sandbox.Key(), std::wstring(kSchemeKey) + L"\\shell");
        EXPECT_FALSE(RegisterUrlScheme(kExePath));
        EXPECT_EQ(ReadValue(sandbox.Key(), kSchemeKey, L"URL Protocol").bytes.size(), 2u);
        EXPECT_EQ(
            ReadValue(sandbox.Key(), std::wstring(kSchemeKey) + L"\\DefaultIcon", nullptr).bytes,
            StringBytes(std::wstring(kExePath) + L",0"));
        EXPECT_FALSE(KeyExists(sandbox.Key(), std::wstring(kSchemeKey) + L"\\shell\\open"));
        // The refused key cannot be deleted, so neither can the scheme.
        EXPECT_FALSE(UnregisterUrlScheme(kExePath));
        EXPECT_TRUE(KeyExists(sandbox.Key(), kSchemeKey));
    }
    EXPECT_TRUE(UnregisterUrlScheme(kExePath));
    EXPECT_FALSE(KeyExists(sandbox.Key(), kSchemeKey));
}

TEST(FileTypeAndUrlScheme, ClassDefaultsNeedANameAndData) {
    RegistrySandbox sandbox;
    EXPECT_FALSE(SetClassesKeyDefault(nullptr, L"x"));
    EXPECT_FALSE(SetClassesKeyDefault(L"Some.Class", nullptr));
    EXPECT_EQ(ReadValue(sandbox.Key(), L"Software\\Classes\\Some.Class", nullptr).status,
              ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(SetClassesKeyDefault(L"Some.Class\\Deeper", L"value"));
    EXPECT_EQ(ReadValue(sandbox.Key(), L"Software\\Classes\\Some.Class\\Deeper", nullptr).bytes,
              StringBytes(L"value"));
}
